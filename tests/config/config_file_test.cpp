// kppConfigFile: opening the configuration file, reading it whole, and keeping read errors.
#include "config/config_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <iterator>
#include <string>

#include "config_test_support.h"

namespace {

// Everything the buffer yields until its end.
std::string ReadAll(kppConfigFile& file) {
  return std::string(std::istreambuf_iterator<char>(&file), std::istreambuf_iterator<char>());
}

TEST(ConfigFile, ReadsTheWholeFileByteForByte) {
  korvel_test::ScratchDir dir;
  // Longer than one read, with every byte value in it.
  std::string content;
  for (int i = 0; i < 40000; ++i) content += static_cast<char>(i * 7 % 256);
  kppConfigFile file;
  ASSERT_TRUE(file.Open(dir.Write("config.json", content)));
  EXPECT_EQ(ReadAll(file), content);
  EXPECT_EQ(file.ReadError(), 0);
}

TEST(ConfigFile, EmptyFileOpensAndEndsAtOnce) {
  korvel_test::ScratchDir dir;
  kppConfigFile file;
  ASSERT_TRUE(file.Open(dir.Write("config.json", "")));
  EXPECT_EQ(ReadAll(file), "");
  EXPECT_EQ(file.ReadError(), 0);
}

TEST(ConfigFile, MissingFileDoesNotOpen) {
  korvel_test::ScratchDir dir;
  kppConfigFile file;
  EXPECT_FALSE(file.Open(dir.Path("missing.json")));
  EXPECT_FALSE(file.Open(""));
}

TEST(ConfigFile, DirectoryDoesNotOpen) {
  korvel_test::ScratchDir dir;
  kppConfigFile file;
  EXPECT_FALSE(file.Open(dir.Path("")));
  EXPECT_FALSE(file.Open("/"));
}

// Reading this process's memory from address 0 fails with EIO: a read error on demand.
TEST(ConfigFile, FailedReadEndsTheStreamAndIsKept) {
  int probe = ::open("/proc/self/mem", O_RDONLY);
  if (probe < 0) GTEST_SKIP() << "/proc/self/mem cannot be opened here";
  ::close(probe);
  kppConfigFile file;
  ASSERT_TRUE(file.Open("/proc/self/mem"));
  EXPECT_EQ(ReadAll(file), "");
  EXPECT_EQ(file.ReadError(), EIO);
  // A failed file stays at its end.
  EXPECT_EQ(ReadAll(file), "");
  EXPECT_EQ(file.ReadError(), EIO);
}

}  // namespace

// Tests of kvAddr::GetString: the text cache, rebuilding on a change of flags, and shared use.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "kv/addr.h"

namespace {

const kvFlags<kvAddr::MakeFlags> kPlain = kvAddr::MAKE_DEFAULT;
const kvFlags<kvAddr::MakeFlags> kWithPort = kvAddr::MAKE_WITH_PORT;

kvAddr Parse(const std::string& text) {
  kvAddr addr;
  EXPECT_TRUE(kvAddr::FromString(text, addr)) << text;
  return addr;
}

TEST(AddrGetString, FirstCallFillsTheCache) {
  const kvAddr addr = Parse("192.0.2.1:3478");
  EXPECT_EQ(addr.GetString(kWithPort), "192.0.2.1:3478");
  EXPECT_EQ(addr.cache_flags, 2);
  EXPECT_EQ(addr.cache_text, "192.0.2.1:3478");
}

TEST(AddrGetString, SameFlagsServeTheCachedText) {
  const kvAddr addr = Parse("192.0.2.1:3478");
  EXPECT_EQ(addr.GetString(kPlain), "192.0.2.1");
  // A text that MakeString would never make shows the second call did not rebuild.
  addr.cache_text = "cached";
  EXPECT_EQ(addr.GetString(kPlain), "cached");
  EXPECT_EQ(addr.cache_flags, 0);
}

TEST(AddrGetString, OtherFlagsRebuildAndOnlyTheLastFlagsAreCached) {
  const kvAddr addr = Parse("[2001:db8::1]:3478");
  EXPECT_EQ(addr.GetString(kPlain), "2001:db8::1");
  EXPECT_EQ(addr.GetString(kWithPort), "[2001:db8::1]:3478");
  EXPECT_EQ(addr.cache_flags, 2);
  EXPECT_EQ(addr.cache_text, "[2001:db8::1]:3478");
  EXPECT_EQ(addr.GetString(kPlain), "2001:db8::1");
  EXPECT_EQ(addr.cache_flags, 0);
  EXPECT_EQ(addr.cache_text, "2001:db8::1");
}

TEST(AddrGetString, EmptyCachedTextIsRebuilt) {
  const kvAddr addr = Parse("192.0.2.1");
  addr.cache_flags = 0;
  addr.cache_text.clear();
  EXPECT_EQ(addr.GetString(kPlain), "192.0.2.1");
}

TEST(AddrGetString, AddressWithoutFamilyHasEmptyText) {
  const kvAddr addr;
  EXPECT_EQ(addr.GetString(kPlain), "");
  EXPECT_EQ(addr.GetString(kWithPort), "");
  EXPECT_EQ(addr.cache_flags, 2);
}

TEST(AddrGetString, ReturnedCopyOutlivesARebuild) {
  const kvAddr addr = Parse("192.0.2.1:53");
  const std::string plain = addr.GetString(kPlain);
  const std::string with_port = addr.GetString(kWithPort);
  EXPECT_EQ(plain, "192.0.2.1");
  EXPECT_EQ(with_port, "192.0.2.1:53");
}

TEST(AddrGetString, TwoThreadsAlternatingFlagsEachGetTheirText) {
  const kvAddr addr = Parse("[2001:db8::1]:3478");
  constexpr int kRounds = 20000;
  std::atomic<int> wrong{0};
  auto ask = [&addr, &wrong](kvFlags<kvAddr::MakeFlags> flags, const std::string& expected) {
    for (int i = 0; i < kRounds; i++) {
      if (addr.GetString(flags) != expected) wrong++;
    }
  };
  std::thread plain(ask, kPlain, std::string("2001:db8::1"));
  std::thread with_port(ask, kWithPort, std::string("[2001:db8::1]:3478"));
  plain.join();
  with_port.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace

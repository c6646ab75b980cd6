// Helpers of the configuration tests: a scratch directory for configuration files, deeply nested
// JSON texts, and readable printing of channel settings.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "config/channel_config.h"

// Prints a channel's settings in failure messages.
inline void PrintTo(const kppChannelConfig& config, std::ostream* out) {
  *out << "{types " << static_cast<int>(config.types) << ", format "
       << static_cast<int>(config.format) << ", compress " << (config.compress ? "on" : "off")
       << "}";
}

namespace korvel_test {

// A directory of its own under the test temporary directory, removed with everything in it.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = ::testing::TempDir() + "korvel-config-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp " << pattern;
    path = pattern;
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  // The path of `name` inside the directory.
  std::string Path(const std::string& name) const { return path + "/" + name; }

  // Writes `content` byte for byte to `name`, replacing it; returns its path.
  std::string Write(const std::string& name, const std::string& content) const {
    std::string file = Path(name);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) ADD_FAILURE() << "cannot write " << file;
    return file;
  }

 private:
  std::string path;
};

// How deep the hostile documents nest: far beyond what recursion over the levels survives.
constexpr size_t kHostileDepth = 100000;

// `depth` arrays nested in each other: [[[...]]].
inline std::string NestedArrays(size_t depth) {
  return std::string(depth, '[') + std::string(depth, ']');
}

// `depth` objects nested in each other through the member "a": {"a":{"a":...{}}}.
inline std::string NestedObjects(size_t depth) {
  std::string text;
  text.reserve(depth * 6 + 2);
  for (size_t i = 0; i < depth; ++i) text += "{\"a\":";
  text += "{}";
  text.append(depth, '}');
  return text;
}

}  // namespace korvel_test

// Helpers of the configuration tests: channel records, a scratch directory and nested JSON texts.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "config/channel_config.h"
#include "reliability/scale.h"

inline void PrintTo(const kppChannelConfig& config, std::ostream* out) {
  *out << "{types " << int(config.types) << ", format " << int(config.format) << ", compress "
       << config.compress << "}";
}

namespace korvel_test {

inline kppChannelConfig Record(uint8_t types, uint8_t format = 1, bool compress = false) {
  kppChannelConfig config;
  config.types = types;
  config.format = format;
  config.compress = compress;
  return config;
}

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

  std::string Path(const std::string& name) const { return path + "/" + name; }
  // Writes `content` byte for byte to `name`, replacing it; returns its path.
  std::string Write(const std::string& name, const std::string& content) const {
    std::ofstream out(Path(name), std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) ADD_FAILURE() << "cannot write " << Path(name);
    return Path(name);
  }

 private:
  std::string path;
};

// How deep hostile documents nest: a million levels, far beyond what recursion over the levels
// survives; a hundredth of it under valgrind, which runs every step many times slower.
inline size_t HostileDepth() {
  return RunsNatively() ? 1000000 : 10000;
}

// `depth` arrays nested in each other: [[[...]]].
inline std::string NestedArrays(size_t depth = HostileDepth()) {
  return std::string(depth, '[') + std::string(depth, ']');
}

// `depth` objects nested in each other through the member "a": {"a":{"a":...{}}}.
inline std::string NestedObjects(size_t depth = HostileDepth()) {
  std::string text;
  for (size_t i = 0; i < depth; ++i) text += "{\"a\":";
  return text + "{}" + std::string(depth, '}');
}

}  // namespace korvel_test

// Tests of the digest texts: 64-bit flow digests and SHA-1 byte lists.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "kv/digest.h"

namespace {

TEST(DigestTextTest, Xxh64AndSha1Texts) {
  const std::pair<uint64_t, const char*> digests[] = {{0, "0000000000000000"},
                                                      {0xab, "00000000000000ab"},
                                                      {0x0123456789abcdefull, "0123456789abcdef"},
                                                      {0xfedcba9876543210ull, "fedcba9876543210"},
                                                      {UINT64_MAX, "ffffffffffffffff"},
                                                      {0x8000000000000000ull, "8000000000000000"}};
  for (const auto& [digest, text] : digests) {
    std::string out = "previous content";
    kv_xxh64_to_string(digest, out);
    EXPECT_EQ(out, text);
  }
  const std::pair<std::vector<uint8_t>, const char*> sha1s[] = {
      {{}, ""},
      {{0x00, 0x0f, 0xf0, 0xff, 0xa5}, "000ff0ffa5"},
      {{0xda, 0x39, 0xa3, 0xee, 0x5e, 0x6b, 0x4b, 0x0d, 0x32, 0x55,
        0xbf, 0xef, 0x95, 0x60, 0x18, 0x90, 0xaf, 0xd8, 0x07, 0x09},
       "da39a3ee5e6b4b0d3255bfef95601890afd80709"}};
  for (const auto& [bytes, text] : sha1s) {
    std::string out = "previous content";
    kv_sha1_to_string(bytes, out);
    EXPECT_EQ(out, text);
  }
}

}  // namespace

// Tests of the digest texts: 64-bit flow digests and SHA-1 byte lists.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "kv/digest.h"

namespace {

std::string Xxh64Text(uint64_t digest) {
  std::string out = "previous content";
  kv_xxh64_to_string(digest, out);
  return out;
}

std::string Sha1Text(const std::vector<uint8_t>& digest) {
  std::string out = "previous content";
  kv_sha1_to_string(digest, out);
  return out;
}

TEST(DigestTextTest, Xxh64IsSixteenZeroPaddedLowerCaseDigits) {
  EXPECT_EQ(Xxh64Text(0), "0000000000000000");
  EXPECT_EQ(Xxh64Text(0xab), "00000000000000ab");
  EXPECT_EQ(Xxh64Text(0x0123456789abcdefull), "0123456789abcdef");
  EXPECT_EQ(Xxh64Text(0xfedcba9876543210ull), "fedcba9876543210");
  EXPECT_EQ(Xxh64Text(UINT64_MAX), "ffffffffffffffff");
  EXPECT_EQ(Xxh64Text(0x8000000000000000ull), "8000000000000000");
}

TEST(DigestTextTest, Sha1IsTwoLowerCaseDigitsPerByte) {
  EXPECT_EQ(Sha1Text({0x00, 0x0f, 0xf0, 0xff, 0xa5}), "000ff0ffa5");
  const std::vector<uint8_t> twenty = {0xda, 0x39, 0xa3, 0xee, 0x5e, 0x6b, 0x4b, 0x0d, 0x32, 0x55,
                                       0xbf, 0xef, 0x95, 0x60, 0x18, 0x90, 0xaf, 0xd8, 0x07, 0x09};
  EXPECT_EQ(Sha1Text(twenty), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

TEST(DigestTextTest, EmptySha1IsEmptyText) {
  EXPECT_EQ(Sha1Text({}), "");
}

}  // namespace

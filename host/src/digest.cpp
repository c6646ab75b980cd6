// Text forms of the daemon's 64-bit flow digests and SHA-1 byte lists.
#include "kv/digest.h"

#include <cinttypes>
#include <cstdio>

namespace {
constexpr char kHexDigits[] = "0123456789abcdef";
}

void kv_xxh64_to_string(const uint64_t& digest, std::string& out) {
  char text[17];
  std::snprintf(text, sizeof(text), "%016" PRIx64, digest);
  out.assign(text, 16);
}

void kv_sha1_to_string(const std::vector<uint8_t>& digest, std::string& out) {
  out.clear();
  out.reserve(digest.size() * 2);
  for (uint8_t byte : digest) {
    out.push_back(kHexDigits[byte >> 4]);
    out.push_back(kHexDigits[byte & 0x0f]);
  }
}

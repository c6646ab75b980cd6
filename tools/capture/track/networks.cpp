// Networks: parsing network texts and looking addresses up in them.
#include "tools/capture/track/networks.h"

#include <arpa/inet.h>

#include <cstring>

namespace capture {

namespace {

bool MatchBits(const uint8_t* a, const uint8_t* b, unsigned bits) {
  const unsigned whole = bits / 8;
  if (std::memcmp(a, b, whole) != 0) return false;
  const unsigned rest = bits % 8;
  if (rest == 0) return true;
  const uint8_t mask = static_cast<uint8_t>(0xff << (8 - rest));
  return (a[whole] & mask) == (b[whole] & mask);
}

}  // namespace

bool Networks::Add(const std::string& text) {
  const size_t slash = text.find('/');
  const std::string host = text.substr(0, slash);
  Net net{};
  if (inet_pton(AF_INET, host.c_str(), net.addr) == 1) {
    net.version = 4;
  } else if (inet_pton(AF_INET6, host.c_str(), net.addr) == 1) {
    net.version = 6;
  } else {
    return false;
  }
  const unsigned max_bits = net.version == 4 ? 32 : 128;
  unsigned bits = max_bits;
  if (slash != std::string::npos) {
    const std::string digits = text.substr(slash + 1);
    if (digits.empty() || digits.size() > 3) return false;
    bits = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return false;
      bits = bits * 10 + static_cast<unsigned>(c - '0');
    }
    if (bits > max_bits) return false;
  }
  net.bits = static_cast<uint8_t>(bits);
  nets.push_back(net);
  return true;
}

void Networks::AddAddress(uint8_t version, const uint8_t* addr) {
  Net net{};
  net.version = version;
  net.bits = version == 4 ? 32 : 128;
  std::memcpy(net.addr, addr, version == 4 ? 4 : 16);
  nets.push_back(net);
}

bool Networks::Contains(uint8_t version, const uint8_t* addr) const {
  for (const Net& net : nets) {
    if (net.version == version && MatchBits(net.addr, addr, net.bits)) return true;
  }
  return false;
}

bool IsMulticast(uint8_t version, const uint8_t* addr) {
  return version == 4 ? (addr[0] & 0xf0) == 0xe0 : addr[0] == 0xff;
}

bool IsBroadcast(uint8_t version, const uint8_t* addr) {
  static const uint8_t kAllOnes[4] = {0xff, 0xff, 0xff, 0xff};
  return version == 4 && std::memcmp(addr, kAllOnes, 4) == 0;
}

}  // namespace capture

// ParseAddress, ParseHexBytes, their inverses and SetPort: scenario texts and daemon fields.
#include "tools/scenario/address_text.h"

#include <arpa/inet.h>

#include "tools/scenario/scenario_error.h"

namespace replay {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

const char* KindText(AddressKind kind) {
  switch (kind) {
    case AddressKind::kMac:
      return "a MAC address";
    case AddressKind::kIp:
      return "an IP address";
    case AddressKind::kAny:
      break;
  }
  return "a MAC or IP address";
}

bool KindMatches(sa_family_t family, AddressKind kind) {
  const bool ip = family == AF_INET || family == AF_INET6;
  switch (kind) {
    case AddressKind::kMac:
      return family == AF_LINK;
    case AddressKind::kIp:
      return ip;
    case AddressKind::kAny:
      break;
  }
  return ip || family == AF_LINK;
}

}  // namespace

void ParseAddress(const std::string& text, AddressKind kind, const std::string& name, kvAddr& out) {
  kvAddr parsed;
  if (!text.empty() && (!kvAddr::FromString(text, parsed) || !KindMatches(parsed.Family(), kind))) {
    throw ScenarioError("member " + Quote(name) + " must be " + KindText(kind) + ", got " +
                        Quote(text));
  }
  out = parsed;
}

std::vector<uint8_t> ParseHexBytes(const std::string& text, const std::string& name) {
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() / 2);
  for (size_t i = 0; i < text.size(); i += 2) {
    const int high = HexDigit(text[i]);
    const int low = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
    if (high < 0 || low < 0) {
      throw ScenarioError("member " + Quote(name) + " must be hex text, two digits per byte, got " +
                          Quote(text));
    }
    bytes.push_back(static_cast<uint8_t>(high << 4 | low));
  }
  return bytes;
}

std::string AddressText(const kvAddr& addr, bool with_port) {
  std::string text;
  if (addr.HasAddress()) {
    kvAddr::MakeString(addr, text, with_port ? kvAddr::MAKE_WITH_PORT : kvAddr::MAKE_DEFAULT);
  }
  return text;
}

std::string HexText(const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (uint8_t byte : bytes) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 0x0f]);
  }
  return text;
}

bool SetPort(kvAddr& addr, uint16_t port) {
  kvAddr changed(addr);
  switch (changed.Family()) {
    case AF_INET:
      changed.storage.in.sin_port = htons(port);
      break;
    case AF_INET6:
      changed.storage.in6.sin6_port = htons(port);
      break;
    default:
      return false;
  }
  addr = changed;  // the assignment also drops the old text cache
  return true;
}

}  // namespace replay

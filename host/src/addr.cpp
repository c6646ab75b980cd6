// kvAddr: parsing, text forms, ports, equality and hashing of socket addresses.
#include "kv/addr.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kMacLength = 6;

bool ParsePort(const std::string& text, uint16_t& port) {
  if (text.empty() || text.size() > 5) return false;
  unsigned long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned long>(c - '0');
  }
  if (value > 65535) return false;
  port = static_cast<uint16_t>(value);
  return true;
}

bool ParseMac(const std::string& text, uint8_t (&mac)[kMacLength]) {
  if (text.size() != 17) return false;
  for (size_t i = 0; i < kMacLength; i++) {
    if (i > 0 && text[i * 3 - 1] != ':') return false;
    unsigned value = 0;
    for (size_t k = 0; k < 2; k++) {
      const char c = text[i * 3 + k];
      value <<= 4;
      if (c >= '0' && c <= '9') {
        value |= static_cast<unsigned>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        value |= static_cast<unsigned>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        value |= static_cast<unsigned>(c - 'A' + 10);
      } else {
        return false;
      }
    }
    mac[i] = static_cast<uint8_t>(value);
  }
  return true;
}

}  // namespace

kvAddr::kvAddr() { Clear(); }

kvAddr::kvAddr(const kvAddr& other) : storage(other.storage) {}

kvAddr& kvAddr::operator=(const kvAddr& other) {
  if (this != &other) {
    storage = other.storage;
    cache_flags = 0;
    cache_text.clear();
  }
  return *this;
}

void kvAddr::Clear() {
  std::memset(&storage, 0, sizeof(storage));
  cache_flags = 0;
  cache_text.clear();
}

bool kvAddr::FromString(const std::string& text, kvAddr& out) {
  out.Clear();
  uint8_t mac[kMacLength];
  if (ParseMac(text, mac)) {
    out = FromLink(mac);
    return true;
  }

  std::string host = text;
  uint16_t port = 0;
  if (!text.empty() && text[0] == '[') {
    const size_t close = text.find(']');
    if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') {
      return false;
    }
    if (!ParsePort(text.substr(close + 2), port)) return false;
    host = text.substr(1, close - 1);
    in6_addr address6;
    if (inet_pton(AF_INET6, host.c_str(), &address6) != 1) return false;
    out.storage.in6.sin6_family = AF_INET6;
    out.storage.in6.sin6_addr = address6;
    out.storage.in6.sin6_port = htons(port);
    return true;
  }

  in6_addr address6;
  if (inet_pton(AF_INET6, host.c_str(), &address6) == 1) {
    out.storage.in6.sin6_family = AF_INET6;
    out.storage.in6.sin6_addr = address6;
    return true;
  }
  const size_t colon = text.rfind(':');
  if (colon != std::string::npos) {
    if (!ParsePort(text.substr(colon + 1), port)) return false;
    host = text.substr(0, colon);
  }
  in_addr address4;
  if (inet_pton(AF_INET, host.c_str(), &address4) != 1) return false;
  out.storage.in.sin_family = AF_INET;
  out.storage.in.sin_addr = address4;
  out.storage.in.sin_port = htons(port);
  return true;
}

kvAddr kvAddr::FromIPv4(uint32_t host_order_address, uint16_t port) {
  kvAddr addr;
  addr.storage.in.sin_family = AF_INET;
  addr.storage.in.sin_addr.s_addr = htonl(host_order_address);
  addr.storage.in.sin_port = htons(port);
  return addr;
}

kvAddr kvAddr::FromLink(const uint8_t (&mac)[6]) {
  kvAddr addr;
  addr.storage.link.family = AF_LINK;
  addr.storage.link.length = kMacLength;
  std::memcpy(addr.storage.link.address, mac, kMacLength);
  return addr;
}

void kvAddr::MakeString(const kvAddr& addr, std::string& out, kvFlags<MakeFlags> flags) {
  const bool with_port = flags.Test(MAKE_WITH_PORT);
  char text[INET6_ADDRSTRLEN + 16];
  switch (addr.Family()) {
    case AF_INET: {
      inet_ntop(AF_INET, &addr.storage.in.sin_addr, text, sizeof(text));
      out = text;
      if (with_port) out += ":" + std::to_string(addr.GetPort(true));
      break;
    }
    case AF_INET6: {
      inet_ntop(AF_INET6, &addr.storage.in6.sin6_addr, text, sizeof(text));
      if (with_port) {
        out = "[";
        out += text;
        out += "]:" + std::to_string(addr.GetPort(true));
      } else {
        out = text;
      }
      break;
    }
    case AF_LINK: {
      const uint8_t* mac = addr.storage.link.address;
      std::snprintf(text, sizeof(text), "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2],
                    mac[3], mac[4], mac[5]);
      out = text;
      break;
    }
    default:
      out.clear();
      break;
  }
}

uint16_t kvAddr::GetPort(bool host_order) const {
  uint16_t port = 0;
  switch (Family()) {
    case AF_INET:
      port = storage.in.sin_port;
      break;
    case AF_INET6:
      port = storage.in6.sin6_port;
      break;
    default:
      return 0;
  }
  return host_order ? ntohs(port) : port;
}

bool kvAddr::operator==(const kvAddr& other) const {
  if (Family() != other.Family()) return false;
  switch (Family()) {
    case AF_INET:
      return storage.in.sin_addr.s_addr == other.storage.in.sin_addr.s_addr &&
             storage.in.sin_port == other.storage.in.sin_port;
    case AF_INET6:
      return std::memcmp(&storage.in6.sin6_addr, &other.storage.in6.sin6_addr,
                         sizeof(in6_addr)) == 0 &&
             storage.in6.sin6_port == other.storage.in6.sin6_port;
    case AF_LINK:
      return std::memcmp(storage.link.address, other.storage.link.address, kMacLength) == 0;
    default:
      return true;
  }
}

size_t kvAddr::Hash() const {
  // FNV-1a over the family and the address bytes that equality compares.
  uint64_t hash = 1469598103934665603ull;
  auto mix = [&hash](const void* data, size_t length) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < length; i++) {
      hash ^= bytes[i];
      hash *= 1099511628211ull;
    }
  };
  const sa_family_t family = Family();
  mix(&family, sizeof(family));
  switch (family) {
    case AF_INET:
      mix(&storage.in.sin_addr, sizeof(in_addr));
      mix(&storage.in.sin_port, sizeof(in_port_t));
      break;
    case AF_INET6:
      mix(&storage.in6.sin6_addr, sizeof(in6_addr));
      mix(&storage.in6.sin6_port, sizeof(in_port_t));
      break;
    case AF_LINK:
      mix(storage.link.address, kMacLength);
      break;
    default:
      break;
  }
  return static_cast<size_t>(hash);
}

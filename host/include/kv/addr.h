// kvAddr: one socket address (IPv4, IPv6 or link-layer) with its cached text form.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "kv/api.h"
#include "kv/flags.h"

#ifndef AF_LINK
// The link-layer family of the BSD socket-address layout; Linux has no such family.
#define AF_LINK 18
#endif

// A hardware (link-layer) address in the socket-address layout.
struct kvSockaddrLink {
  sa_family_t family;  // AF_LINK
  uint8_t length;      // bytes of the address, 6 for Ethernet
  uint8_t address[6];
};

class KV_API kvAddr {
 public:
  enum MakeFlags : uint8_t {
    MAKE_DEFAULT = 0x00,
    MAKE_WITH_PORT = 0x02,  // "192.0.2.1:3478", "[2001:db8::1]:3478"
  };

  kvAddr();
  // A copy takes the address only; its text cache starts empty, so copying never reads a cache
  // that another thread may be rebuilding.
  kvAddr(const kvAddr& other);
  kvAddr& operator=(const kvAddr& other);

  // Parses "192.0.2.1", "2001:db8::1", "00:11:22:aa:bb:cc", optionally with a port
  // ("192.0.2.1:53", "[2001:db8::1]:53"). Returns false, leaving the record empty, on bad text.
  static bool FromString(const std::string& text, kvAddr& out);
  static kvAddr FromIPv4(uint32_t host_order_address, uint16_t port = 0);
  static kvAddr FromLink(const uint8_t (&mac)[6]);

  // Fills `out` with the address text: flags 0 gives the plain address ("" without an address);
  // MAKE_WITH_PORT appends the port of an IP address.
  static void MakeString(const kvAddr& addr, std::string& out, kvFlags<MakeFlags> flags);

  // The text form made with `flags`, served from the cache while the flags stay the same.
  // Returns a copy taken under the process-wide lock, so the text never changes under the caller.
  // Defined by the processor plugin. Any thread.
  std::string GetString(kvFlags<MakeFlags> flags) const;

  // The port in host order when `host_order`, else as stored; 0 for a record without a port.
  uint16_t GetPort(bool host_order) const;

  bool HasAddress() const { return Family() != 0; }
  // Every member of the storage starts with its family (a common initial sequence).
  sa_family_t Family() const { return storage.in.sin_family; }
  void Clear();

  bool operator==(const kvAddr& other) const;
  bool operator!=(const kvAddr& other) const { return !(*this == other); }
  size_t Hash() const;

  // The families a record holds, and no more room than the largest of them: every flow record
  // holds eleven addresses.
  union Storage {
    sockaddr_in in;
    sockaddr_in6 in6;
    kvSockaddrLink link;
  } storage;

  // Text cache of GetString, guarded by GetString's process-wide lock.
  mutable uint8_t cache_flags = 0;
  mutable std::string cache_text;
};

namespace std {
template <>
struct hash<kvAddr> {
  size_t operator()(const kvAddr& addr) const { return addr.Hash(); }
};
}  // namespace std

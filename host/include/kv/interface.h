// kvInterface and kvInterfaceAddr: a capture interface, its own addresses and its endpoint tables.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "kv/addr.h"
#include "kv/api.h"
#include "kv/json.h"
#include "kv/serializer.h"

// A set of addresses. Daemon threads change it while the plugin encodes it; every access to
// `addrs` holds `lock`.
class KV_API kvInterfaceAddr : public kvSerializer {
 public:
  kvInterfaceAddr() = default;
  kvInterfaceAddr(const kvInterfaceAddr& other);             // copies under other.lock
  kvInterfaceAddr& operator=(const kvInterfaceAddr& other);  // copies under both locks

  // Adds an address under the lock. Host side.
  void Insert(const kvAddr& addr);

  // Appends the flags-0 text of every member whose family is in `families`; true when it appended
  // at least one. Defined by the processor plugin.
  bool FindAllOf(const std::vector<uint8_t>& families, std::vector<std::string>& out) const;

  // Writes the texts of all members as one array under `key`; nothing for an empty set. Defined by
  // the processor plugin.
  template <typename J>
  void Encode(J& j, const std::string& key) const;

  mutable std::mutex lock;
  std::unordered_set<kvAddr> addrs;  // guarded by lock
};

class KV_API kvInterface : public kvSerializer {
 public:
  enum Role : uint8_t { ROLE_NONE = 0, ROLE_LAN = 1, ROLE_WAN = 2 };
  enum CaptureType : uint32_t {
    CAPTURE_NONE = 0,
    CAPTURE_PCAP = 2,
    CAPTURE_PCAP_OFFLINE = 4,
    CAPTURE_TPV3 = 8,
    CAPTURE_NFQ = 16,
  };
  using EndpointTable = std::unordered_map<kvAddr, kvInterfaceAddr>;

  kvInterface() = default;
  explicit kvInterface(const std::string& name_, uint8_t role_ = ROLE_LAN);

  // Writes "role", "capture_type", "capture_file" and "mac". Defined by the processor plugin.
  template <typename J>
  void Encode(J& j) const;

  // Writes the IPv4 and IPv6 address texts as one array at `keys`. Defined by the plugin.
  template <typename J>
  void EncodeAddrs(J& j, const std::vector<std::string>& keys, const std::string& separator) const;

  std::string name;
  uint8_t role = ROLE_NONE;
  uint32_t capture_type = CAPTURE_NONE;
  std::string capture_file;
  kvInterfaceAddr addrs;  // the interface's own addresses

  // Bit 0 of the selector picks the current endpoint table: 1 the first, 0 the second. The tables
  // and the selector are guarded by endpoint_lock.
  mutable std::mutex endpoint_lock;
  uint8_t endpoint_selector = 1;
  EndpointTable endpoints[2];
};

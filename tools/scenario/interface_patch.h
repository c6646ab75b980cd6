// InterfacePatch: what one "interface" op sets on an interface of the daemon's interface table.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "kv/addr.h"
#include "kv/interface.h"
#include "kv/json.h"

namespace replay {

// Read and checked in full before any interface is touched. Main thread.
class InterfacePatch {
 public:
  // Reads every member of an "interface" op object but "op". Throws ScenarioError.
  static InterfacePatch Read(const json& object);

  // The key in the interface table: "key", else "name".
  const std::string& Key() const { return key; }

  // True when the op changes the name, role, capture type or capture file of `current`: fields
  // that other threads read without a lock, so they are never changed on an interface in use.
  bool ChangesIdentity(const kvInterface& current) const;
  // Sets those fields; on a new interface the name defaults to the key. Only on an interface no
  // other thread can see yet.
  void ApplyIdentity(kvInterface& iface, bool created) const;
  // Replaces the address set (under its lock) and the endpoint tables and selector (under the
  // endpoint lock, then each address set's lock). Safe on an interface in use.
  void ApplyTables(kvInterface& iface) const;

 private:
  using Endpoints = std::vector<std::pair<kvAddr, std::vector<kvAddr>>>;

  std::string key;
  bool has_name = false;
  std::string name;
  bool has_role = false;
  uint8_t role = 0;
  bool has_capture_type = false;
  uint32_t capture_type = 0;
  bool has_capture_file = false;
  std::string capture_file;
  bool has_addrs = false;
  std::vector<kvAddr> addrs;
  bool has_endpoints = false;
  Endpoints endpoints[2];
  bool has_selector = false;
  uint8_t selector = 0;
};

}  // namespace replay

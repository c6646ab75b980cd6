// InterfacePatch: what one "interface" op sets on an interface of the daemon's interface table.
#pragma once

#include <string>

#include "kv/interface.h"
#include "kv/json.h"
#include "tools/scenario/record_patch.h"

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
  std::string key;
  RecordPatch<kvInterface> members;
};

}  // namespace replay

// InterfaceMembers: the members of an "interface" op, one table of kvInterface fields.
#pragma once

#include "kv/interface.h"
#include "kv/json.h"
#include "tools/scenario/member_table.h"

namespace replay {

// The parts of an interface, each guarded its own way.
enum InterfacePart : int {
  // Name, role and capture fields: read without a lock, so never changed on an interface in use.
  kInterfaceIdentity,
  // The interface's own addresses, under the address set's lock.
  kInterfaceAddresses,
  // The endpoint tables and selector, under the endpoint lock.
  kInterfaceEndpoints,
};

// The members of an "interface" op that are the interface's fields ("op" and "key" aside).
extern const MemberTable<kvInterface> kInterfaceMembers;

// The identity and own addresses of an "interface" op ("name", "role", "capture_type",
// "capture_file", "addrs"); the address list is sorted, so equal sets give equal members.
json InterfaceIdentityMembers(const kvInterface& iface);
// The endpoint tables and selector ("endpoints", "endpoint_selector"), taken under the endpoint
// lock; lists sorted as above.
json InterfaceTableMembers(const kvInterface& iface);

// Copies every field of `from`, each part under its lock, into `to`, which no other thread sees.
void CopyInterface(const kvInterface& from, kvInterface& to);

}  // namespace replay

// FlowMembers and InterfaceMembers: a flow or interface record as the members of its scenario op.
#pragma once

#include <string>

#include "kv/flow.h"
#include "kv/interface.h"
#include "kv/json.h"

namespace replay {

// Every member of a "flow" op that the record holds, so that a "flow" op with these members makes
// a new flow equal to `flow` in every field the documents show ("has" overrides and the flow's
// interface pointer aside; "interface" names it by `interface_key`). The caller holds the flow's
// lock.
json FlowMembers(const kvFlow& flow, const std::string& interface_key);

// The identity and own addresses of an "interface" op ("name", "role", "capture_type",
// "capture_file", "addrs"); the address list is sorted, so equal sets give equal members.
json InterfaceIdentityMembers(const kvInterface& iface);
// The endpoint tables and selector ("endpoints", "endpoint_selector"), taken under the endpoint
// lock; lists sorted as above.
json InterfaceTableMembers(const kvInterface& iface);

}  // namespace replay

// Readers of the packet-counter and status records of "interface_stats", "global_stats" and
// "status" ops, keyed by the members of their encoded documents.
#pragma once

#include "kv/instance_status.h"
#include "kv/json.h"
#include "kv/packet_stats.h"

namespace replay {

// A record with every counter 0 but those `object` names ("raw", "ethernet", ... "flow_evicted").
// Throws ScenarioError for an unknown key, a wrong type or a value out of range.
kvPacketStats ReadPacketStats(const json& object);

// A record with every field 0 or false but those `object` names ("cpu_cores", "uptime", ...
// "fhc_status"). Throws ScenarioError as above.
kvInstanceStatus ReadInstanceStatus(const json& object);

}  // namespace replay

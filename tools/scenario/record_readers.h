// Readers (and writers) of the packet-counter and status records that counter and status ops
// hand over.
// They are keyed by the members of the records' encoded documents.
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

// The inverses: every member the readers know, so that reading the object back gives the record
// (fields the documents do not show, such as the status's epoch and current time, are left out).
json PacketStatsMembers(const kvPacketStats& stats);
json InstanceStatusMembers(const kvInstanceStatus& status);

}  // namespace replay

// The packet-counter and status records of counter and status ops: their tables, readers, writers.
#pragma once

#include "kv/instance_status.h"
#include "kv/json.h"
#include "kv/packet_stats.h"
#include "tools/scenario/member_table.h"

namespace replay {

// The records' members, keyed by the members of their encoded documents (fields the documents do
// not show, such as the counters by IP version and the status's epoch and current time, have none).
extern const MemberTable<kvPacketStats> kPacketStatsMembers;
extern const MemberTable<kvInstanceStatus> kInstanceStatusMembers;

// A record with every counter 0 but those `object` names ("raw", "ethernet", ... "flow_evicted").
// Throws ScenarioError for an unknown key, a wrong type or a value out of range.
kvPacketStats ReadPacketStats(const json& object);

// A record with every field 0 or false but those `object` names ("cpu_cores", "uptime", ...
// "fhc_status"). Throws ScenarioError as above.
kvInstanceStatus ReadInstanceStatus(const json& object);

// The inverses: every member the readers know, so that reading the object back gives the record.
json PacketStatsMembers(const kvPacketStats& stats);
json InstanceStatusMembers(const kvInstanceStatus& status);

}  // namespace replay

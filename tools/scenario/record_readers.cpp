// The counter and status records' member tables: each document key and the field it stands for.
#include "tools/scenario/record_readers.h"

#include <string>

#include "tools/scenario/member_kinds.h"

namespace replay {

namespace {

using Stats = kvPacketStats;
using Status = kvInstanceStatus;

}  // namespace

constexpr Member<Stats> kPacketStats[] = {
    Value<&Stats::pkt_raw>("raw"),
    Value<&Stats::pkt_eth>("ethernet"),
    Value<&Stats::pkt_mpls>("mpls"),
    Value<&Stats::pkt_pppoe>("pppoe"),
    Value<&Stats::pkt_vlan>("vlan"),
    Value<&Stats::pkt_frags>("fragmented"),
    Value<&Stats::pkt_discard>("discarded"),
    Value<&Stats::pkt_ip>("ip"),
    Value<&Stats::pkt_icmp>("icmp"),
    Value<&Stats::pkt_igmp>("igmp"),
    Value<&Stats::pkt_tcp>("tcp"),
    Value<&Stats::pkt_tcp_seq_error>("tcp_seq_errors"),
    Value<&Stats::pkt_tcp_resets>("tcp_resets"),
    Value<&Stats::pkt_udp>("udp"),
    Value<&Stats::pkt_ip_bytes>("ip_bytes"),
    Value<&Stats::pkt_wire_bytes>("wire_bytes"),
    Value<&Stats::pkt_discard_bytes>("discarded_bytes"),
    Value<&Stats::pkt_queue_dropped>("queue_dropped"),
    Value<&Stats::pkt_capture_dropped>("capture_dropped"),
    Value<&Stats::pkt_capture_filtered>("capture_filtered"),
    Value<&Stats::flow_dropped>("flow_dropped"),
    Value<&Stats::flow_evicted>("flow_evicted"),
    Value<&Stats::pkt_maxlen>("largest_bytes"),
};
const MemberTable<Stats> kPacketStatsMembers = kPacketStats;

constexpr Member<Status> kInstanceStatus[] = {
    Value<&Status::cpu_cores>("cpu_cores"),
    Value<&Status::uptime>("uptime"),
    Value<&Status::flow_count>("flow_count"),
    Value<&Status::flow_count_prev>("flow_count_prev"),
    Value<&Status::flows_purged>("flows_purged"),
    Value<&Status::flows_expiring>("flows_expiring"),
    Value<&Status::flows_expired>("flows_expired"),
    Value<&Status::flows_active>("flows_active"),
    Value<&Status::flows_in_use>("flows_in_use"),
    Value<&Status::flows_probation_expired>("flows_probation_expired"),
    Value<&Status::flows_evicted>("flows_evicted"),
    Value<&Status::maxrss_kb>("maxrss_kb"),
    Value<&Status::maxrss_kb_prev>("maxrss_kb_prev"),
    Value<&Status::memrss_kb>("memrss_kb"),
    Value<&Status::memrss_kb_prev>("memrss_kb_prev"),
    Value<&Status::cpu_user>("cpu_user"),
    Value<&Status::cpu_user_prev>("cpu_user_prev"),
    Value<&Status::cpu_system>("cpu_system"),
    Value<&Status::cpu_system_prev>("cpu_system_prev"),
    Value<&Status::dhc_status>("dhc_status"),
    Value<&Status::fhc_status>("fhc_status"),
};
const MemberTable<Status> kInstanceStatusMembers = kInstanceStatus;

namespace {

// A record made whole from `object` (member names in messages carry `prefix`): every field the
// object does not name keeps its initial value.
template <typename Record>
Record ReadRecord(const MemberTable<Record>& table, const json& object, const std::string& prefix) {
  MemberReader reader(object, prefix);
  RequireKnown(reader, table);
  RecordPatch<Record> patch;
  ReadMembers(table, reader, patch);
  Record record;
  patch.Apply(record);
  return record;
}

}  // namespace

kvPacketStats ReadPacketStats(const json& object) {
  return ReadRecord(kPacketStatsMembers, object, "stats.");
}

kvInstanceStatus ReadInstanceStatus(const json& object) {
  return ReadRecord(kInstanceStatusMembers, object, "status.");
}

json PacketStatsMembers(const kvPacketStats& stats) {
  return WriteRecord(kPacketStatsMembers, stats);
}

json InstanceStatusMembers(const kvInstanceStatus& status) {
  return WriteRecord(kInstanceStatusMembers, status);
}

}  // namespace replay

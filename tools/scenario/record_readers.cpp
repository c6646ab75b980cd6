// ReadPacketStats, ReadInstanceStatus and their inverses: document keys and record fields.
#include "tools/scenario/record_readers.h"

#include <cstdint>
#include <string>
#include <vector>

#include "tools/scenario/member_reader.h"

namespace replay {

namespace {

struct Counter64 {
  const char* key;
  uint64_t kvPacketStats::*field;
};

constexpr Counter64 kPacketCounters[] = {
    {"raw", &kvPacketStats::pkt_raw},
    {"ethernet", &kvPacketStats::pkt_eth},
    {"mpls", &kvPacketStats::pkt_mpls},
    {"pppoe", &kvPacketStats::pkt_pppoe},
    {"vlan", &kvPacketStats::pkt_vlan},
    {"fragmented", &kvPacketStats::pkt_frags},
    {"discarded", &kvPacketStats::pkt_discard},
    {"ip", &kvPacketStats::pkt_ip},
    {"icmp", &kvPacketStats::pkt_icmp},
    {"igmp", &kvPacketStats::pkt_igmp},
    {"tcp", &kvPacketStats::pkt_tcp},
    {"tcp_seq_errors", &kvPacketStats::pkt_tcp_seq_error},
    {"tcp_resets", &kvPacketStats::pkt_tcp_resets},
    {"udp", &kvPacketStats::pkt_udp},
    {"ip_bytes", &kvPacketStats::pkt_ip_bytes},
    {"wire_bytes", &kvPacketStats::pkt_wire_bytes},
    {"discarded_bytes", &kvPacketStats::pkt_discard_bytes},
    {"queue_dropped", &kvPacketStats::pkt_queue_dropped},
    {"capture_dropped", &kvPacketStats::pkt_capture_dropped},
    {"capture_filtered", &kvPacketStats::pkt_capture_filtered},
    {"flow_dropped", &kvPacketStats::flow_dropped},
    {"flow_evicted", &kvPacketStats::flow_evicted},
};
constexpr const char* kLargestBytes = "largest_bytes";

struct StatusField32 {
  const char* key;
  uint32_t kvInstanceStatus::*field;
};
struct StatusField64 {
  const char* key;
  uint64_t kvInstanceStatus::*field;
};
struct StatusTime {
  const char* key;
  double kvInstanceStatus::*field;
};
struct StatusFlag {
  const char* key;
  bool kvInstanceStatus::*field;
};

constexpr StatusField32 kStatus32[] = {
    {"cpu_cores", &kvInstanceStatus::cpu_cores},
    {"uptime", &kvInstanceStatus::uptime},
};
constexpr StatusField64 kStatus64[] = {
    {"flow_count", &kvInstanceStatus::flow_count},
    {"flow_count_prev", &kvInstanceStatus::flow_count_prev},
    {"flows_purged", &kvInstanceStatus::flows_purged},
    {"flows_expiring", &kvInstanceStatus::flows_expiring},
    {"flows_expired", &kvInstanceStatus::flows_expired},
    {"flows_active", &kvInstanceStatus::flows_active},
    {"flows_in_use", &kvInstanceStatus::flows_in_use},
    {"flows_probation_expired", &kvInstanceStatus::flows_probation_expired},
    {"flows_evicted", &kvInstanceStatus::flows_evicted},
    {"maxrss_kb", &kvInstanceStatus::maxrss_kb},
    {"maxrss_kb_prev", &kvInstanceStatus::maxrss_kb_prev},
    {"memrss_kb", &kvInstanceStatus::memrss_kb},
    {"memrss_kb_prev", &kvInstanceStatus::memrss_kb_prev},
};
constexpr StatusTime kStatusTimes[] = {
    {"cpu_user", &kvInstanceStatus::cpu_user},
    {"cpu_user_prev", &kvInstanceStatus::cpu_user_prev},
    {"cpu_system", &kvInstanceStatus::cpu_system},
    {"cpu_system_prev", &kvInstanceStatus::cpu_system_prev},
};
constexpr StatusFlag kStatusFlags[] = {
    {"dhc_status", &kvInstanceStatus::dhc_status},
    {"fhc_status", &kvInstanceStatus::fhc_status},
};

template <typename Table, size_t N>
void AddKeys(const Table (&table)[N], std::vector<std::string>& keys) {
  for (const Table& entry : table) keys.emplace_back(entry.key);
}

}  // namespace

kvPacketStats ReadPacketStats(const json& object) {
  static const std::vector<std::string> known = [] {
    std::vector<std::string> keys{kLargestBytes};
    AddKeys(kPacketCounters, keys);
    return keys;
  }();
  MemberReader reader(object, "stats.");
  reader.RequireKnown(known);
  kvPacketStats stats;
  for (const Counter64& counter : kPacketCounters)
    reader.ReadUnsigned(counter.key, stats.*counter.field);
  reader.ReadUnsigned(kLargestBytes, stats.pkt_maxlen);
  return stats;
}

kvInstanceStatus ReadInstanceStatus(const json& object) {
  static const std::vector<std::string> known = [] {
    std::vector<std::string> keys;
    AddKeys(kStatus32, keys);
    AddKeys(kStatus64, keys);
    AddKeys(kStatusTimes, keys);
    AddKeys(kStatusFlags, keys);
    return keys;
  }();
  MemberReader reader(object, "status.");
  reader.RequireKnown(known);
  kvInstanceStatus status;
  for (const StatusField32& field : kStatus32) reader.ReadUnsigned(field.key, status.*field.field);
  for (const StatusField64& field : kStatus64) reader.ReadUnsigned(field.key, status.*field.field);
  for (const StatusTime& field : kStatusTimes) reader.ReadDouble(field.key, status.*field.field);
  for (const StatusFlag& field : kStatusFlags) reader.ReadBool(field.key, status.*field.field);
  return status;
}

json PacketStatsMembers(const kvPacketStats& stats) {
  json object = json::object();
  for (const Counter64& counter : kPacketCounters) object[counter.key] = stats.*counter.field;
  object[kLargestBytes] = stats.pkt_maxlen;
  return object;
}

json InstanceStatusMembers(const kvInstanceStatus& status) {
  json object = json::object();
  for (const StatusField32& field : kStatus32) object[field.key] = status.*field.field;
  for (const StatusField64& field : kStatus64) object[field.key] = status.*field.field;
  for (const StatusTime& field : kStatusTimes) object[field.key] = status.*field.field;
  for (const StatusFlag& field : kStatusFlags) object[field.key] = status.*field.field;
  return object;
}

}  // namespace replay

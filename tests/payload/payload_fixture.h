// Shared fixture of the payload tests: a plugin driven on the test thread, its sink calls and a
// sample TCP flow in a GTP tunnel with the literal blocks of its encoding.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "kv/global_config.h"
#include "kv/instance_status.h"
#include "kv/interface.h"
#include "kv/packet_stats.h"
#include "plugin/plugin.h"
#include "support/flows.h"
#include "support/sink_recorder.h"
#include "support/temp_file.h"

namespace korvel_test {

// Blocks of the sample flow's encoding: identity (always), metadata (flags 1), tunnel (flags 2)
// and the counters of SampleStats (flags 4).
constexpr const char kIdentity[] = R"({
  "digest": "00000000000000a1", "digest_prev": ["00000000000000a1"],
  "last_seen_at": 1700000005000})";

constexpr const char kMetadata[] = R"({
  "ip_nat": false, "soft_dissector": false, "app_ip_override": false, "app_proto_twins": false,
  "ip_version": 4, "ip_dscp": 0, "ip_protocol": 6, "vlan_id": 0,
  "other_type": "unknown", "local_origin": true,
  "local_mac": "00:11:22:33:44:55", "other_mac": "66:77:88:99:aa:bb",
  "local_ip": "192.0.2.10", "other_ip": "198.51.100.20", "local_port": 50000, "other_port": 443,
  "detected_protocol": 7, "detected_protocol_name": "HTTP",
  "detected_application": 0, "detected_application_name": "Unknown",
  "detection_guessed": false, "detection_updated": false,
  "category": {"application": 0, "protocol": 0, "domain": 0,
               "local_network": 0, "other_network": 0, "overlay": 0},
  "first_seen_at": 1700000000000,
  "risks": {"ndpi_risk_score": 0, "ndpi_risk_score_client": 0, "ndpi_risk_score_server": 0}})";

constexpr const char kTunnel[] = R"({
  "gtp": {"version": 1, "ip_version": 4, "ip_dscp": 0,
          "local_ip": "203.0.113.1", "other_ip": "203.0.113.2",
          "local_port": 2152, "other_port": 2152,
          "local_teid": 258, "other_teid": 259, "other_type": "remote"}})";

constexpr const char kCounters[] = R"({
  "local_bytes": 10, "other_bytes": 20, "total_local_bytes": 100, "total_other_bytes": 200,
  "local_packets": 1, "other_packets": 2, "total_local_packets": 11, "total_other_packets": 12,
  "total_packets": 3, "total_bytes": 30, "detection_packets": 5,
  "local_rate": 0.5, "other_rate": 0.25,
  "tcp": {"seq_errors": 7, "resets": 8, "retrans": 9}})";

// The identity block of a flow whose digest history is empty.
inline json Identity(const std::string& digest) {
  return json::parse(R"({"digest": ")" + digest + R"(", "digest_prev": [")" + digest +
                     R"("], "last_seen_at": 1700000005000})");
}

// One object holding the members of every block.
inline json Blocks(const std::vector<const char*>& blocks) {
  json merged = json::object();
  for (const char* block : blocks) merged.update(json::parse(block));
  return merged;
}

// The full encoding (flags 7) of a sample flow with the given digest text and SampleStats.
inline json FullFlow(const std::string& digest) {
  json full = Blocks({kMetadata, kTunnel, kCounters});
  full.update(Identity(digest));
  return full;
}

// The counters snapshot of a queued event; the flow's own counters differ from it.
inline kvFlowStats SampleStats() {
  kvFlowStats stats;
  stats.lower_bytes = 10;
  stats.upper_bytes = 20;
  stats.total_bytes = 30;
  stats.lower_total_bytes = 100;
  stats.upper_total_bytes = 200;
  stats.lower_packets = 1;
  stats.upper_packets = 2;
  stats.total_packets = 3;
  stats.lower_total_packets = 11;
  stats.upper_total_packets = 12;
  stats.detection_packets = 5;
  stats.lower_rate = 0.5f;
  stats.upper_rate = 0.25f;
  stats.tcp_seq_errors = 7;
  stats.tcp_resets = 8;
  stats.tcp_retrans = 9;
  return stats;
}

// The TCP flow of MakeFlow, carried in a GTP tunnel from 203.0.113.1 to 203.0.113.2.
inline std::shared_ptr<kvFlow> SampleFlow(const std::shared_ptr<kvInterface>& iface,
                                          uint64_t digest = 0xa1) {
  std::shared_ptr<kvFlow> flow = MakeFlow(iface, digest);
  flow->tunnel_type = kvFlow::TUNNEL_GTP;
  flow->gtp.version = 1;
  flow->gtp.ip_version = 4;
  flow->gtp.lower_map = kvFlow::LOWER_MAP_LOCAL;
  flow->gtp.other_type = 5;
  flow->gtp.lower_teid = htonl(258);
  flow->gtp.upper_teid = htonl(259);
  kvAddr::FromString("203.0.113.1:2152", flow->gtp.lower_addr);
  kvAddr::FromString("203.0.113.2:2152", flow->gtp.upper_addr);
  return flow;
}

inline kppChannelConfig Channel(uint8_t types, uint8_t format = kppChannelConfig::FORMAT_JSON,
                                bool compress = false) {
  kppChannelConfig channel;
  channel.types = types;
  channel.format = format;
  channel.compress = compress;
  return channel;
}

// Checks that a status document's "timestamp" lies in [before, after] and removes it.
inline json WithoutTimestamp(json document, long before, long after) {
  EXPECT_TRUE(document.contains("timestamp")) << document;
  if (!document.contains("timestamp")) return document;
  EXPECT_GE(document.at("timestamp").get<long>(), before);
  EXPECT_LE(document.at("timestamp").get<long>(), after);
  document.erase("timestamp");
  return document;
}

// The status members of a record with cpu_cores 2 and flow_count 5, without "timestamp".
constexpr const char kStatusMembers[] = R"({
  "update_interval": 15, "update_imf": 1, "uptime": 0, "cpu_cores": 2,
  "cpu_user": 0.0, "cpu_user_prev": 0.0, "cpu_system": 0.0, "cpu_system_prev": 0.0,
  "flow_count": 5, "flow_count_prev": 0, "flows_purged": 0, "flows_expiring": 0,
  "flows_expired": 0, "flows_active": 0, "flows_in_use": 0, "flows_probation_expired": 0,
  "flows_evicted": 0, "maxrss_kb": 0, "maxrss_kb_prev": 0, "memrss_kb": 0, "memrss_kb_prev": 0,
  "dhc_status": false, "fhc_status": false})";

// The 23 packet counters, all 0 but "raw".
inline json PacketCounters(uint64_t raw) {
  json counters = json::parse(R"({
    "raw": 0, "ethernet": 0, "mpls": 0, "pppoe": 0, "vlan": 0, "fragmented": 0, "discarded": 0,
    "discarded_bytes": 0, "largest_bytes": 0, "ip": 0, "tcp": 0, "tcp_seq_errors": 0,
    "tcp_resets": 0, "udp": 0, "icmp": 0, "igmp": 0, "ip_bytes": 0, "wire_bytes": 0,
    "flow_dropped": 0, "flow_evicted": 0, "queue_dropped": 0, "capture_dropped": 0,
    "capture_filtered": 0})");
  counters["raw"] = raw;
  return counters;
}

inline kvPacketStats PacketStats(uint64_t raw) {
  kvPacketStats stats;
  stats.pkt_raw = raw;
  return stats;
}

inline kvAddr AddrOf(const std::string& text) {
  kvAddr addr;
  EXPECT_TRUE(kvAddr::FromString(text, addr)) << text;
  return addr;
}

// An endpoint and the addresses recorded for it in one of an interface's endpoint tables.
inline void AddEndpoint(kvInterface& iface, int table, const std::string& endpoint,
                        const std::vector<std::string>& addresses) {
  kvInterfaceAddr& recorded = iface.endpoints[table][AddrOf(endpoint)];
  for (const std::string& address : addresses) recorded.Insert(AddrOf(address));
}

// eth0: LAN, captured with PCAP, one IPv4 address and a MAC, and in its current endpoint table
// 192.0.2.50 with one hardware address. Encoded as kEth0 (interface) and kEth0Endpoints.
inline std::shared_ptr<kvInterface> Eth0() {
  auto iface = MakeInterface("eth0", kvInterface::ROLE_LAN);
  iface->capture_type = kvInterface::CAPTURE_PCAP;
  iface->addrs.Insert(AddrOf("192.0.2.1"));
  iface->addrs.Insert(AddrOf("00:11:22:aa:bb:cc"));
  AddEndpoint(*iface, 0, "192.0.2.50", {"00:aa:bb:cc:dd:ee"});
  return iface;
}

constexpr const char kEth0[] = R"({
  "role": "LAN", "capture_type": "PCAP", "mac": "00:11:22:aa:bb:cc", "addr": ["192.0.2.1"]})";
constexpr const char kEth0Endpoints[] = R"({"192.0.2.50": ["00:aa:bb:cc:dd:ee"]})";

constexpr uint8_t kAllChannelTypes =
    kppChannelConfig::TYPE_LEGACY_HTTP | kppChannelConfig::TYPE_LEGACY_SOCKET |
    kppChannelConfig::TYPE_STREAM_FLOWS | kppChannelConfig::TYPE_STREAM_STATS;

class PayloadTest : public ::testing::Test {
 protected:
  // The encoders run as under a configuration with a channel of every type, unless a test loads
  // one of its own.
  PayloadTest() : plugin("proc", {{"conf_filename", config.Path()}}) {
    kvGlobalConfig::Create();
    plugin.channel_types.store(kAllChannelTypes);
  }

  json Encode(uint16_t kind, const std::shared_ptr<kvFlow>& subject,
              const kvFlowStats& stats = SampleStats()) {
    json document;
    plugin.EncodeFlow(kppFlowEvent{subject, kind, stats}, document);
    return document;
  }

  // Status event of the record described by kStatusMembers; returns the time before it.
  long SendStatus() {
    kvInstanceStatus status;
    status.cpu_cores = 2;
    status.flow_count = 5;
    const long before = static_cast<long>(time(nullptr));
    plugin.EncodeAgentStatus(&status);
    return before;
  }

  // One update's document events: eth0, its counters (raw 100), the global counters (raw 200)
  // and the status; returns the time before the status.
  long SendUpdateDocuments() {
    kppPlugin::Interfaces interfaces{{"eth0", Eth0()}};
    plugin.EncodeInterfaces(&interfaces);
    kvPacketStats stats = PacketStats(100);
    plugin.EncodeInterfaceStats("eth0", &stats);
    kvPacketStats global = PacketStats(200);
    plugin.EncodeGlobalPacketStats(&global);
    return SendStatus();
  }

  // "sink/channel flags" of each sink call, in order.
  std::vector<std::string> Routes() const {
    std::vector<std::string> routes;
    for (const SinkCall& call : sink.Calls()) {
      EXPECT_EQ(call.channels.size(), 1u);
      routes.push_back(call.sink + "/" + *call.channels.begin() + " " + std::to_string(call.flags));
    }
    return routes;
  }

  std::vector<json> Payloads() const {
    std::vector<json> payloads;
    for (const SinkCall& call : sink.Calls()) payloads.push_back(call.payload);
    return payloads;
  }

  TempFile config;
  SinkRecorder sink;
  kppPlugin plugin;
  std::shared_ptr<kvInterface> lan = MakeInterface("eth0", kvInterface::ROLE_LAN);
  std::shared_ptr<kvFlow> flow = SampleFlow(lan);
};

// The elements of an array ordered by their "digest" member (flow tables have no fixed order).
inline json ByDigest(json array) {
  std::sort(array.begin(), array.end(),
            [](const json& a, const json& b) { return a.at("digest") < b.at("digest"); });
  return array;
}

// An array of strings in sorted order (address sets have no fixed order).
inline json Sorted(json array) {
  std::sort(array.begin(), array.end());
  return array;
}

}  // namespace korvel_test

// Hostile daemon records: strings that are not text in every string field of a flow and an
// interface, the largest value of every counter, and a daemon without its global configuration.
// The plugin builds every document from them, and the replay tool's sinks can write them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "kv/exception.h"
#include "kv/global_config.h"
#include "kv/instance_status.h"
#include "kv/interface.h"
#include "kv/packet_stats.h"
#include "plugin/plugin.h"
#include "support/flows.h"
#include "support/log_capture.h"
#include "support/sink_recorder.h"
#include "support/temp_file.h"
#include "support/wait.h"
#include "tools/sink_line.h"

namespace {

using korvel_test::LogCapture;
using korvel_test::MakeFlow;
using korvel_test::MakeInterface;
using korvel_test::SinkRecorder;
using korvel_test::TempFile;
using korvel_test::WaitUntil;

// A NUL, a byte that never starts UTF-8, a lone continuation byte, a truncated sequence and an
// encoded surrogate: nothing a JSON text may hold as it is.
const std::string kHostile(
    "a\0b\xff"
    "c\x80"
    "d\xe2\x82"
    "e\xed\xa0\x80",
    13);
// The same text as the replay tool writes it: NUL escaped, each bad byte one U+FFFD.
const std::string kHostileWritten =
    "\"a\\u0000b\xef\xbf\xbd"
    "c\xef\xbf\xbd"
    "d\xef\xbf\xbd"
    "e\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\"";

template <typename T>
constexpr T Max() {
  return std::numeric_limits<T>::max();
}

class HostileRecordsTest : public ::testing::Test {
 protected:
  void SetUp() override { kvGlobalConfig::Create(); }
  void TearDown() override { kvGlobalConfig::Create(); }

  // The document the worker makes for event `kind` of `flow`.
  json Encode(const std::shared_ptr<kvFlow>& flow, uint16_t kind) {
    kppFlowEvent event{flow, kind, flow->stats};
    json document;
    plugin.EncodeFlow(event, document);
    return document;
  }

  TempFile config;
  kppPlugin plugin{"tag", {{"conf_filename", config.Path()}}};
};

// A flow with every string field, every string list and the interface name set to kHostile.
std::shared_ptr<kvFlow> HostileFlow(bool ssdp) {
  auto flow = MakeFlow(MakeInterface(kHostile, kvInterface::ROLE_LAN), 0x1234);
  flow->detected_protocol = ssdp ? kvProto::PROTO_SSDP : kvProto::PROTO_TLS;
  flow->master_protocol = kvProto::PROTO_TLS;
  flow->detected_protocol_name = kHostile;
  flow->detected_application_name = kHostile;
  flow->dns_host_name = kHostile;
  flow->host_server_name = kHostile;
  flow->user_agent = kHostile;
  flow->http_url = kHostile;
  flow->dhcp_fingerprint = kHostile;
  flow->dhcp_class_ident = kHostile;
  flow->ssh_client_agent = kHostile;
  flow->ssh_server_agent = kHostile;
  flow->mdns_answer = kHostile;
  flow->tls.server_cn = kHostile;
  flow->tls.issuer_dn = kHostile;
  flow->tls.subject_dn = kHostile;
  flow->tls.client_ja4 = kHostile;
  flow->tls.alpn = {kHostile, kHostile};
  flow->tls.alpn_server = {kHostile};
  flow->tags = {kHostile, std::string()};
  return flow;
}

// Every place a flow string reaches the document, each holding the bytes unchanged.
TEST_F(HostileRecordsTest, FlowStringsThatAreNotTextAreKeptByteForByte) {
  const json document = Encode(HostileFlow(false), kvPluginProcessor::EVENT_DPI_COMPLETE);
  EXPECT_EQ(document.at("interface"), kHostile);
  const json& flow = document.at("flow");
  const std::vector<std::string> paths = {"/detected_protocol_name",
                                          "/detected_application_name",
                                          "/dns_host_name",
                                          "/host_server_name",
                                          "/http/user_agent",
                                          "/http/url",
                                          "/dhcp/fingerprint",
                                          "/dhcp/class_ident",
                                          "/ssh/client",
                                          "/ssh/server",
                                          "/mdns/answer",
                                          "/ssl/client_sni",
                                          "/ssl/server_cn",
                                          "/ssl/issuer_dn",
                                          "/ssl/subject_dn",
                                          "/ssl/client_ja4",
                                          "/ssl/alpn/0",
                                          "/ssl/alpn/1",
                                          "/ssl/alpn_server/0"};
  for (const std::string& path : paths) {
    EXPECT_EQ(flow.value(json::json_pointer(path), std::string("(absent)")), kHostile) << path;
  }
  EXPECT_EQ(flow.at("tags"), json::array({"", kHostile}));

  // The SSDP user agent takes the HTTP one's place.
  const json ssdp = Encode(HostileFlow(true), kvPluginProcessor::EVENT_DPI_COMPLETE).at("flow");
  EXPECT_EQ(ssdp.value(json::json_pointer("/ssdp/user_agent"), std::string()), kHostile);
  EXPECT_FALSE(ssdp.at("http").contains("user_agent"));
}

TEST_F(HostileRecordsTest, FlowDocumentOfHostileStringsIsWrittenWithReplacement) {
  const json document = Encode(HostileFlow(false), kvPluginProcessor::EVENT_DPI_COMPLETE);
  const std::string line = replay::DumpDocument(document);
  EXPECT_NE(line.find("\"host_server_name\":" + kHostileWritten), std::string::npos) << line;
  EXPECT_NE(line.find("\"interface\":" + kHostileWritten), std::string::npos) << line;
  EXPECT_NE(line.find("\"alpn\":[" + kHostileWritten + "," + kHostileWritten + "]"),
            std::string::npos)
      << line;
  // What was written is JSON text again, with the replacement characters in place.
  const json read_back = json::parse(line);
  EXPECT_EQ(read_back.at("flow").at("dns_host_name"),
            std::string("a\0b\xef\xbf\xbd"
                        "c\xef\xbf\xbd"
                        "d\xef\xbf\xbd"
                        "e\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd",
                        24));
  EXPECT_EQ(replay::FormatSinkLine(kHostile, {kHostile}, replay::DumpDocument(json(kHostile)), 1),
            "{\"sink\":" + kHostileWritten + ",\"channel\":" + kHostileWritten +
                ",\"flags\":1,\"payload\":" + kHostileWritten + "}\n");
}

// The whole road: a flow event with hostile strings through the worker to a sink.
TEST_F(HostileRecordsTest, WorkerDispatchesFlowsOfHostileStrings) {
  config.Write(R"({"sinks": {"s": {"c": {"types": ["stream-flows"]}}}})");
  SinkRecorder sink;
  LogCapture log(false);
  kppPlugin worker("tag", {{"conf_filename", config.Path()}});
  worker.Create();
  ASSERT_TRUE(WaitUntil([&] { return worker.channel_types.load() == 4; }));
  auto flow = HostileFlow(false);
  worker.DispatchProcessorEvent(kvPluginProcessor::EVENT_DPI_COMPLETE, flow);
  ASSERT_TRUE(WaitUntil([&] { return sink.Count() == 1; }));
  worker.Terminate();
  worker.Join();
  EXPECT_EQ(sink.Calls()[0].payload, Encode(flow, kvPluginProcessor::EVENT_DPI_COMPLETE));
  EXPECT_EQ(log.PrintedLines().size(), 1u);  // the banner alone
}

TEST_F(HostileRecordsTest, InterfaceStringsThatAreNotTextAreKeptByteForByte) {
  auto iface = MakeInterface(kHostile, kvInterface::ROLE_LAN);
  iface->capture_type = kvInterface::CAPTURE_PCAP_OFFLINE;
  iface->capture_file = kHostile;
  kppPlugin::Interfaces interfaces{{kHostile, iface}};
  plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_INTERFACES, &interfaces);
  kvPacketStats stats;
  plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_PKT_INTERFACE_STATS, kHostile, &stats);
  const kppUpdateDocuments documents = plugin.TakeUpdateDocuments();
  EXPECT_EQ(documents.interfaces.at(kHostile).at("capture_file"), kHostile);
  EXPECT_TRUE(documents.interface_stats.contains(kHostile));
  EXPECT_NE(replay::DumpDocument(documents.interfaces).find(kHostileWritten), std::string::npos);
}

// --- The largest value of every counter ---

TEST_F(HostileRecordsTest, LargestFlowCountersAreWrittenExactly) {
  auto flow = MakeFlow(MakeInterface("eth0", kvInterface::ROLE_LAN), Max<uint64_t>());
  flow->ts_first_seen = Max<uint64_t>();
  flow->ts_last_seen = Max<uint64_t>();
  flow->ip_dscp = Max<uint8_t>();
  flow->vlan_id = Max<uint16_t>();
  flow->detected_protocol = static_cast<kvProto::Id>(Max<uint32_t>());
  flow->detected_application = Max<uint32_t>();
  flow->category = {Max<uint32_t>(), Max<uint32_t>(), Max<uint32_t>(),
                    Max<uint32_t>(), Max<uint32_t>(), Max<uint32_t>()};
  kvAddr::FromString("192.0.2.10:65535", flow->lower_addr);
  kvAddr::FromString("198.51.100.20:65535", flow->upper_addr);
  flow->tunnel_type = kvFlow::TUNNEL_GTP;
  flow->gtp.version = Max<uint8_t>();
  flow->gtp.ip_version = 4;
  flow->gtp.ip_dscp = Max<uint8_t>();
  flow->gtp.lower_teid = flow->gtp.upper_teid = Max<uint32_t>();
  kvAddr::FromString("203.0.113.1:65535", flow->gtp.lower_addr);
  kvAddr::FromString("203.0.113.2:65535", flow->gtp.upper_addr);
  flow->risk_score = Max<uint16_t>();
  flow->risk_score_client = Max<uint16_t>();
  flow->risk_score_server = Max<uint16_t>();
  kvFlowStats& stats = flow->stats;
  stats.lower_bytes = stats.upper_bytes = stats.total_bytes = Max<uint64_t>();
  stats.lower_total_bytes = stats.upper_total_bytes = Max<uint64_t>();
  stats.lower_packets = stats.upper_packets = stats.total_packets = Max<uint32_t>();
  stats.lower_total_packets = stats.upper_total_packets = Max<uint32_t>();
  stats.detection_packets = Max<uint8_t>();
  stats.lower_rate = stats.upper_rate = Max<float>();
  stats.tcp_seq_errors = stats.tcp_resets = stats.tcp_retrans = Max<uint32_t>();

  const json flow_doc = Encode(flow, kvPluginProcessor::EVENT_DPI_COMPLETE).at("flow");
  const uint64_t u64 = Max<uint64_t>();
  const uint32_t u32 = Max<uint32_t>();
  for (const char* key : {"local_bytes", "other_bytes", "total_bytes", "total_local_bytes",
                          "total_other_bytes", "first_seen_at", "last_seen_at"}) {
    EXPECT_EQ(flow_doc.at(key).get<uint64_t>(), u64) << key;
    EXPECT_TRUE(flow_doc.at(key).is_number_unsigned()) << key;
  }
  for (const char* key : {"local_packets", "other_packets", "total_packets", "total_local_packets",
                          "total_other_packets", "detected_protocol", "detected_application"}) {
    EXPECT_EQ(flow_doc.at(key).get<uint64_t>(), u32) << key;
  }
  EXPECT_EQ(flow_doc.at("tcp"), json({{"resets", u32}, {"retrans", u32}, {"seq_errors", u32}}));
  EXPECT_EQ(flow_doc.at("detection_packets").get<uint64_t>(), 255u);
  EXPECT_EQ(flow_doc.at("ip_dscp").get<uint64_t>(), 255u);
  EXPECT_EQ(flow_doc.at("vlan_id").get<uint64_t>(), 65535u);
  EXPECT_EQ(flow_doc.at("local_rate").get<double>(), static_cast<double>(Max<float>()));
  EXPECT_EQ(flow_doc.at("other_rate").get<double>(), static_cast<double>(Max<float>()));
  EXPECT_EQ(flow_doc.at("category"), json({{"application", u32},
                                           {"domain", u32},
                                           {"local_network", u32},
                                           {"other_network", u32},
                                           {"overlay", u32},
                                           {"protocol", u32}}));
  EXPECT_EQ(flow_doc.at("local_port").get<uint64_t>(), 65535u);
  EXPECT_EQ(flow_doc.at("other_port").get<uint64_t>(), 65535u);
  const json& gtp = flow_doc.at("gtp");
  EXPECT_EQ(gtp.at("version").get<uint64_t>(), 255u);
  EXPECT_EQ(gtp.at("ip_dscp").get<uint64_t>(), 255u);
  EXPECT_EQ(gtp.at("local_teid").get<uint64_t>(), u32);
  EXPECT_EQ(gtp.at("other_teid").get<uint64_t>(), u32);
  EXPECT_EQ(gtp.at("local_port").get<uint64_t>(), 65535u);
  EXPECT_EQ(gtp.at("other_port").get<uint64_t>(), 65535u);
  EXPECT_EQ(flow_doc.at("risks"), json({{"ndpi_risk_score", 65535u},
                                        {"ndpi_risk_score_client", 65535u},
                                        {"ndpi_risk_score_server", 65535u}}));
  EXPECT_EQ(flow_doc.at("digest"), "ffffffffffffffff");
}

TEST_F(HostileRecordsTest, LargestPacketCountersAreWrittenExactly) {
  kvPacketStats stats;
  uint64_t* counters[] = {&stats.pkt_raw,
                          &stats.pkt_eth,
                          &stats.pkt_mpls,
                          &stats.pkt_pppoe,
                          &stats.pkt_vlan,
                          &stats.pkt_frags,
                          &stats.pkt_discard,
                          &stats.pkt_ip,
                          &stats.pkt_ip4,
                          &stats.pkt_ip6,
                          &stats.pkt_icmp,
                          &stats.pkt_igmp,
                          &stats.pkt_tcp,
                          &stats.pkt_tcp_seq_error,
                          &stats.pkt_tcp_resets,
                          &stats.pkt_udp,
                          &stats.pkt_ip_bytes,
                          &stats.pkt_ip4_bytes,
                          &stats.pkt_ip6_bytes,
                          &stats.pkt_wire_bytes,
                          &stats.pkt_discard_bytes,
                          &stats.pkt_queue_dropped,
                          &stats.pkt_capture_dropped,
                          &stats.pkt_capture_filtered,
                          &stats.flow_dropped,
                          &stats.flow_evicted};
  for (uint64_t* counter : counters) *counter = Max<uint64_t>();
  stats.pkt_maxlen = Max<uint32_t>();
  plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_PKT_GLOBAL_STATS, &stats);
  plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_PKT_INTERFACE_STATS, "eth0", &stats);
  const kppUpdateDocuments documents = plugin.TakeUpdateDocuments();
  ASSERT_EQ(documents.global_stats.size(), 23u);
  for (const auto& entry : documents.global_stats.items()) {
    const uint64_t expected = entry.key() == "largest_bytes" ? Max<uint32_t>() : Max<uint64_t>();
    EXPECT_TRUE(entry.value().is_number_unsigned()) << entry.key();
    EXPECT_EQ(entry.value().get<uint64_t>(), expected) << entry.key();
  }
  EXPECT_EQ(documents.interface_stats, json({{"eth0", documents.global_stats}}));
}

TEST_F(HostileRecordsTest, LargestStatusValuesAreWrittenExactly) {
  kvGlobalConfig::GetInstance().update_interval.store(Max<uint32_t>());
  kvGlobalConfig::GetInstance().update_imf.store(Max<uint32_t>());
  kvInstanceStatus status;
  status.cpu_cores = status.uptime = Max<uint32_t>();
  for (uint64_t* counter :
       {&status.flow_count, &status.flow_count_prev, &status.flows_purged, &status.flows_expiring,
        &status.flows_expired, &status.flows_active, &status.flows_in_use,
        &status.flows_probation_expired, &status.flows_evicted, &status.maxrss_kb,
        &status.maxrss_kb_prev, &status.memrss_kb, &status.memrss_kb_prev}) {
    *counter = Max<uint64_t>();
  }
  status.cpu_user = status.cpu_system = Max<double>();
  status.cpu_user_prev = status.cpu_system_prev = std::numeric_limits<double>::infinity();
  plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_INSTANCE_STATUS, &status);
  const json doc = plugin.TakeUpdateDocuments().status;
  for (const char* key : {"update_interval", "update_imf", "uptime", "cpu_cores"}) {
    EXPECT_EQ(doc.at(key).get<uint64_t>(), Max<uint32_t>()) << key;
  }
  for (const char* key :
       {"flow_count", "flow_count_prev", "flows_purged", "flows_expiring", "flows_expired",
        "flows_active", "flows_in_use", "flows_probation_expired", "flows_evicted", "maxrss_kb",
        "maxrss_kb_prev", "memrss_kb", "memrss_kb_prev"}) {
    EXPECT_EQ(doc.at(key).get<uint64_t>(), Max<uint64_t>()) << key;
  }
  EXPECT_EQ(doc.at("cpu_user").get<double>(), Max<double>());
  EXPECT_EQ(doc.at("cpu_system").get<double>(), Max<double>());
  EXPECT_TRUE(std::isinf(doc.at("cpu_user_prev").get<double>()));
  // JSON has no infinity: the writer makes it null rather than failing.
  EXPECT_NE(replay::DumpDocument(doc).find("\"cpu_user_prev\":null"), std::string::npos);
}

// --- A daemon without its global configuration ---

TEST_F(HostileRecordsTest, StatusWithoutGlobalConfigurationThrowsToTheDaemonThread) {
  kvInstanceStatus status;
  status.flow_count = 7;
  plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_INSTANCE_STATUS, &status);
  kvGlobalConfig::Destroy();
  status.flow_count = 8;
  try {
    plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_INSTANCE_STATUS, &status);
    FAIL() << "no exception";
  } catch (const kvException& e) {
    EXPECT_STREQ(e.what(),
                 "static kvGlobalConfig &kvGlobalConfig::GetInstance(): instance not found");
  }
  // The previous status is still there, with only the keys written before the failure renewed.
  const json doc = plugin.TakeUpdateDocuments().status;
  EXPECT_EQ(doc.at("flow_count"), 7u);
}

TEST_F(HostileRecordsTest, FlowWithoutGlobalConfigurationThrowsAndKeepsTheFlowUsable) {
  auto flow = MakeFlow(MakeInterface("eth0", kvInterface::ROLE_LAN), 1);
  kvGlobalConfig::Destroy();
  try {
    Encode(flow, kvPluginProcessor::EVENT_FLOW_NEW);
    FAIL() << "no exception";
  } catch (const kvException& e) {
    EXPECT_STREQ(e.what(),
                 "static kvGlobalConfig &kvGlobalConfig::GetInstance(): instance not found");
  }
  // The flow's lock was released on the way out.
  ASSERT_TRUE(flow->lock.try_lock());
  flow->lock.unlock();
  kvGlobalConfig::Create();
  EXPECT_EQ(Encode(flow, kvPluginProcessor::EVENT_FLOW_NEW).at("type"), "flow");
}

// On the worker the exception ends the thread with the daemon's log line; the daemon's threads
// go on delivering, and what they queue is released when the plugin is destroyed.
TEST_F(HostileRecordsTest, WorkerEndsWithALogLineWhenTheGlobalConfigurationIsMissing) {
  config.Write(R"({"sinks": {"s": {"c": {"types": ["stream-flows"]}}}})");
  SinkRecorder sink;
  LogCapture log(false);
  auto worker =
      std::make_unique<kppPlugin>("tag", kvPlugin::Params{{"conf_filename", config.Path()}});
  worker->Create();
  ASSERT_TRUE(WaitUntil([&] { return worker->channel_types.load() == 4; }));
  auto flow = MakeFlow(MakeInterface("eth0", kvInterface::ROLE_LAN), 1);
  kvGlobalConfig::Destroy();
  worker->DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_NEW, flow);
  ASSERT_TRUE(WaitUntil([&] { return log.PrintedLines().size() == 2; }));
  EXPECT_EQ(log.PrintedLines()[1],
            "tag: static kvGlobalConfig &kvGlobalConfig::GetInstance(): instance not found\n");
  kvGlobalConfig::Create();
  for (int i = 0; i < 100; i++) {
    worker->DispatchProcessorEvent(kvPluginProcessor::EVENT_DPI_UPDATE, flow);
  }
  // Nothing is lost on the daemon's side: every event is held until the plugin goes.
  EXPECT_GE(flow.use_count(), 101);
  worker->Terminate();
  worker->Join();
  worker.reset();
  EXPECT_EQ(flow.use_count(), 1);
  EXPECT_EQ(sink.Count(), 0u);
}

}  // namespace

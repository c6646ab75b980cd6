// Hostile daemon records: strings that are not text in every string field of a flow and an
// interface, the largest value of every counter, and a daemon without its global configuration.
// The plugin builds every document from them, and the replay tool's sinks can write them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <sstream>
#include <string>

#include "kv/exception.h"
#include "kv/global_config.h"
#include "kv/instance_status.h"
#include "kv/interface.h"
#include "kv/packet_stats.h"
#include "plugin/plugin.h"
#include "reliability/packet_counters.h"
#include "reliability/plugin_runner.h"
#include "support/flows.h"
#include "support/log_capture.h"
#include "support/sink_recorder.h"
#include "support/temp_file.h"
#include "support/wait.h"
#include "tools/output/sink_line.h"

namespace {

using korvel_test::LogCapture;
using korvel_test::MakeFlow;
using korvel_test::MakeInterface;
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
const std::string kWritten =
    "\"a\\u0000b\xef\xbf\xbd"
    "c\xef\xbf\xbd"
    "d\xef\xbf\xbd"
    "e\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\"";
constexpr uint64_t kU64 = std::numeric_limits<uint64_t>::max();
constexpr uint32_t kU32 = std::numeric_limits<uint32_t>::max();
const char* const kNoGlobalConfig =
    "static kvGlobalConfig &kvGlobalConfig::GetInstance(): instance not found";

// Each word of `words`, for tables of keys and paths.
std::vector<std::string> Words(const std::string& words) {
  std::istringstream in(words);
  return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
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

  korvel_test::TempFile config;
  kppPlugin plugin{"tag", {{"conf_filename", config.Path()}}};
};

// A flow with every string field, every string list and the interface name set to kHostile.
std::shared_ptr<kvFlow> HostileFlow(bool ssdp) {
  auto flow = MakeFlow(MakeInterface(kHostile, kvInterface::ROLE_LAN), 0x1234);
  flow->detected_protocol = ssdp ? kvProto::PROTO_SSDP : kvProto::PROTO_TLS;
  flow->master_protocol = kvProto::PROTO_TLS;
  for (std::string* field :
       {&flow->detected_protocol_name, &flow->detected_application_name, &flow->dns_host_name,
        &flow->host_server_name, &flow->user_agent, &flow->http_url, &flow->dhcp_fingerprint,
        &flow->dhcp_class_ident, &flow->ssh_client_agent, &flow->ssh_server_agent,
        &flow->mdns_answer, &flow->tls.server_cn, &flow->tls.issuer_dn, &flow->tls.subject_dn,
        &flow->tls.client_ja4}) {
    *field = kHostile;
  }
  flow->tls.alpn = {kHostile, kHostile};
  flow->tls.alpn_server = {kHostile};
  flow->tags = {kHostile, std::string()};
  return flow;
}

// Every place a flow string reaches the document holds the bytes unchanged.
TEST_F(HostileRecordsTest, FlowStringsThatAreNotTextAreKeptByteForByteAndWritten) {
  const json document = Encode(HostileFlow(false), kvPluginProcessor::EVENT_DPI_COMPLETE);
  EXPECT_EQ(document.at("interface"), kHostile);
  const json& flow = document.at("flow");
  for (const std::string& path :
       Words("/detected_protocol_name /detected_application_name /dns_host_name /host_server_name "
             "/http/user_agent /http/url /dhcp/fingerprint /dhcp/class_ident /ssh/client "
             "/ssh/server /mdns/answer /ssl/client_sni /ssl/server_cn /ssl/issuer_dn "
             "/ssl/subject_dn /ssl/client_ja4 /ssl/alpn/0 /ssl/alpn/1 /ssl/alpn_server/0")) {
    EXPECT_EQ(flow.value(json::json_pointer(path), std::string("(absent)")), kHostile) << path;
  }
  EXPECT_EQ(flow.at("tags"), json::array({"", kHostile}));
  // The SSDP user agent takes the HTTP one's place.
  const json ssdp = Encode(HostileFlow(true), kvPluginProcessor::EVENT_DPI_COMPLETE).at("flow");
  EXPECT_EQ(ssdp.value(json::json_pointer("/ssdp/user_agent"), std::string()), kHostile);
  EXPECT_FALSE(ssdp.at("http").contains("user_agent"));

  // The replay tool writes the document with each bad byte replaced, rather than failing.
  const std::string line = replay::DumpDocument(document);
  EXPECT_NE(line.find("\"host_server_name\":" + kWritten), std::string::npos) << line;
  EXPECT_NE(line.find("\"alpn\":[" + kWritten + "," + kWritten + "]"), std::string::npos);
}

// The whole road: a flow event with hostile strings through the worker to a sink.
TEST_F(HostileRecordsTest, WorkerDispatchesFlowsOfHostileStrings) {
  korvel_test::SinkRecorder sink;
  LogCapture log(false);
  korvel_test::PluginRunner worker(R"({"sinks": {"s": {"c": {"types": ["stream-flows"]}}}})");
  auto flow = HostileFlow(false);
  worker->DispatchProcessorEvent(kvPluginProcessor::EVENT_DPI_COMPLETE, flow);
  ASSERT_TRUE(WaitUntil([&] { return sink.Count() == 1; }));
  worker.Stop();
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
}

// --- The largest value of every counter, written as exact unsigned integers ---

TEST_F(HostileRecordsTest, LargestFlowCountersAreWrittenExactly) {
  auto flow = MakeFlow(MakeInterface("eth0", kvInterface::ROLE_LAN), kU64);
  flow->ts_first_seen = flow->ts_last_seen = kU64;
  flow->ip_dscp = flow->gtp.version = flow->gtp.ip_dscp = 255;
  flow->vlan_id = flow->risk_score = flow->risk_score_client = flow->risk_score_server = 65535;
  flow->detected_protocol = static_cast<kvProto::Id>(kU32);
  flow->detected_application = kU32;
  flow->category = {kU32, kU32, kU32, kU32, kU32, kU32};
  kvAddr::FromString("192.0.2.10:65535", flow->lower_addr);
  kvAddr::FromString("198.51.100.20:65535", flow->upper_addr);
  flow->tunnel_type = kvFlow::TUNNEL_GTP;
  flow->gtp.ip_version = 4;
  flow->gtp.lower_teid = flow->gtp.upper_teid = kU32;
  kvAddr::FromString("203.0.113.1:65535", flow->gtp.lower_addr);
  kvAddr::FromString("203.0.113.2:65535", flow->gtp.upper_addr);
  kvFlowStats& stats = flow->stats;
  stats.lower_bytes = stats.upper_bytes = stats.total_bytes = kU64;
  stats.lower_total_bytes = stats.upper_total_bytes = kU64;
  stats.lower_packets = stats.upper_packets = stats.total_packets = kU32;
  stats.lower_total_packets = stats.upper_total_packets = kU32;
  stats.detection_packets = 255;
  stats.lower_rate = stats.upper_rate = std::numeric_limits<float>::max();
  stats.tcp_seq_errors = stats.tcp_resets = stats.tcp_retrans = kU32;

  const json doc = Encode(flow, kvPluginProcessor::EVENT_DPI_COMPLETE).at("flow");
  const std::pair<uint64_t, const char*> groups[] = {
      {kU64,
       "local_bytes other_bytes total_bytes total_local_bytes total_other_bytes first_seen_at "
       "last_seen_at"},
      {kU32,
       "local_packets other_packets total_packets total_local_packets total_other_packets "
       "detected_protocol detected_application tcp/resets tcp/retrans tcp/seq_errors "
       "category/application category/domain category/local_network category/other_network "
       "category/overlay category/protocol gtp/local_teid gtp/other_teid"},
      {255, "detection_packets ip_dscp gtp/version gtp/ip_dscp"},
      {65535,
       "vlan_id local_port other_port gtp/local_port gtp/other_port risks/ndpi_risk_score "
       "risks/ndpi_risk_score_client risks/ndpi_risk_score_server"}};
  for (const auto& [value, keys] : groups) {
    for (const std::string& key : Words(keys)) {
      EXPECT_EQ(doc.at(json::json_pointer("/" + key)).dump(), std::to_string(value)) << key;
    }
  }
  EXPECT_EQ(doc.at("tcp").size(), 3u);
  EXPECT_EQ(doc.at("category").size(), 6u);
  EXPECT_EQ(doc.at("risks").size(), 3u);
  EXPECT_EQ(doc.at("local_rate").get<double>(), double(std::numeric_limits<float>::max()));
  EXPECT_EQ(doc.at("other_rate").get<double>(), double(std::numeric_limits<float>::max()));
  EXPECT_EQ(doc.at("digest"), "ffffffffffffffff");
}

TEST_F(HostileRecordsTest, LargestPacketCountersAndStatusValuesAreWrittenExactly) {
  kvPacketStats stats = korvel_test::PacketStatsOf(kU64);
  stats.pkt_maxlen = kU32;
  plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_PKT_GLOBAL_STATS, &stats);
  plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_PKT_INTERFACE_STATS, "eth0", &stats);

  kvGlobalConfig::GetInstance().update_interval.store(kU32);
  kvGlobalConfig::GetInstance().update_imf.store(kU32);
  kvInstanceStatus s;
  s.cpu_cores = s.uptime = kU32;
  s.flow_count = s.flow_count_prev = s.flows_purged = s.flows_expiring = s.flows_expired =
      s.flows_active = s.flows_in_use = s.flows_probation_expired = s.flows_evicted = s.maxrss_kb =
          s.maxrss_kb_prev = s.memrss_kb = s.memrss_kb_prev = kU64;
  s.cpu_user = s.cpu_system = std::numeric_limits<double>::max();
  s.cpu_user_prev = s.cpu_system_prev = std::numeric_limits<double>::infinity();
  plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_INSTANCE_STATUS, &s);

  const kppUpdateDocuments documents = plugin.TakeUpdateDocuments();
  ASSERT_EQ(documents.global_stats.size(), 23u);
  for (const auto& entry : documents.global_stats.items()) {
    EXPECT_EQ(entry.value().dump(), std::to_string(entry.key() == "largest_bytes" ? kU32 : kU64))
        << entry.key();
  }
  EXPECT_EQ(documents.interface_stats, json({{"eth0", documents.global_stats}}));

  const json& status = documents.status;
  for (const std::string& key : Words("update_interval update_imf uptime cpu_cores")) {
    EXPECT_EQ(status.at(key).dump(), std::to_string(kU32)) << key;
  }
  for (const std::string& key :
       Words("flow_count flow_count_prev flows_purged flows_expiring flows_expired flows_active "
             "flows_in_use flows_probation_expired flows_evicted maxrss_kb maxrss_kb_prev "
             "memrss_kb memrss_kb_prev")) {
    EXPECT_EQ(status.at(key).dump(), std::to_string(kU64)) << key;
  }
  EXPECT_EQ(status.at("cpu_user").get<double>(), std::numeric_limits<double>::max());
  EXPECT_EQ(status.at("cpu_system").get<double>(), std::numeric_limits<double>::max());
  EXPECT_TRUE(std::isinf(status.at("cpu_user_prev").get<double>()));
}

// --- A daemon without its global configuration ---

// On a daemon thread the exception reaches the caller; the previous status stays, and a flow's
// lock is released on the way out so the flow stays usable.
TEST_F(HostileRecordsTest, MissingGlobalConfigurationThrowsToTheDaemonThread) {
  kvInstanceStatus status;
  status.flow_count = 7;
  plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_INSTANCE_STATUS, &status);
  auto flow = MakeFlow(MakeInterface("eth0", kvInterface::ROLE_LAN), 1);
  kvGlobalConfig::Destroy();
  status.flow_count = 8;
  try {
    plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_INSTANCE_STATUS, &status);
    ADD_FAILURE() << "no exception";
  } catch (const kvException& e) {
    EXPECT_STREQ(e.what(), kNoGlobalConfig);
  }
  EXPECT_EQ(plugin.TakeUpdateDocuments().status.at("flow_count"), 7u);
  try {
    Encode(flow, kvPluginProcessor::EVENT_FLOW_NEW);
    ADD_FAILURE() << "no exception";
  } catch (const kvException& e) {
    EXPECT_STREQ(e.what(), kNoGlobalConfig);
  }
  ASSERT_TRUE(flow->lock.try_lock());
  flow->lock.unlock();
  kvGlobalConfig::Create();
  EXPECT_EQ(Encode(flow, kvPluginProcessor::EVENT_FLOW_NEW).at("type"), "flow");
}

}  // namespace

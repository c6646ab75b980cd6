// Sample flows and the global-configuration fixture shared by the flow encoding tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>

#include "kv/addr.h"
#include "kv/flow.h"
#include "kv/flow_stats.h"
#include "kv/global_config.h"
#include "kv/json.h"

namespace korvel_test {

inline kvAddr AddrOf(const std::string& text) {
  kvAddr addr;
  EXPECT_TRUE(kvAddr::FromString(text, addr)) << text;
  return addr;
}

// A TCP flow from 192.0.2.10:51000 (lower, local) to 198.51.100.20:443 with a full TLS record,
// two risks and two tags; no tunnel.
inline void FillTlsFlow(kvFlow& flow) {
  flow.digest = 0x0123456789abcdefull;
  flow.ts_first_seen = 1700000000123ull;
  flow.ts_last_seen = 1700000009876ull;
  flow.lower_map = kvFlow::LOWER_MAP_LOCAL;
  flow.other_type = 5;
  flow.origin = kvFlow::ORIGIN_LOWER;
  flow.lower_mac = AddrOf("00:11:22:33:44:55");
  flow.upper_mac = AddrOf("66:77:88:99:aa:bb");
  flow.lower_addr = AddrOf("192.0.2.10:51000");
  flow.upper_addr = AddrOf("198.51.100.20:443");
  flow.ip_version = 4;
  flow.ip_dscp = 10;
  flow.ip_protocol = 6;
  flow.vlan_id = 100;
  flow.ip_nat = true;
  flow.dhc_hit = true;
  flow.app_proto_twins = true;
  flow.detection_updated = true;
  flow.detected_protocol = kvProto::PROTO_TLS;
  flow.detected_protocol_name = "TLS";
  flow.master_protocol = kvProto::PROTO_TLS;
  flow.detected_application = 1000;
  flow.detected_application_name = "Example";
  flow.category.application = 5;
  flow.category.protocol = 6;
  flow.category.domain = 7;
  flow.category.lower_network = 1;
  flow.category.upper_network = 2;
  flow.category.overlay = 0;
  flow.host_server_name = "www.example.com";
  flow.tls.version = 0x0304;
  flow.tls.cipher_suite = 0x1301;
  flow.tls.server_cn = "www.example.com";
  flow.tls.issuer_dn = "CN=Example CA";
  flow.tls.subject_dn = "CN=www.example.com";
  flow.tls.client_ja4 = "t13d1516h2_8daaf6152771_e5627efa2ab1";
  for (uint8_t byte = 0; byte < 20; byte++) flow.tls.cert_fingerprint.push_back(byte);
  flow.tls.alpn = {"h2", "http/1.1"};
  flow.tls.alpn_server = {"h2"};
  flow.risks = {static_cast<kvRisk::Id>(15), static_cast<kvRisk::Id>(3)};
  flow.risk_score = 60;
  flow.risk_score_client = 50;
  flow.risk_score_server = 10;
  flow.tags = {"b", "a"};
}

// A UDP flow from 10.0.0.1:5001 (lower, local) to 10.0.0.2:53, without names or details.
inline void FillPlainFlow(kvFlow& flow) {
  flow.digest = 0xfedcba9876543210ull;
  flow.ts_first_seen = 100;
  flow.ts_last_seen = 200;
  flow.lower_map = kvFlow::LOWER_MAP_LOCAL;
  flow.lower_mac = AddrOf("00:00:00:00:00:01");
  flow.upper_mac = AddrOf("00:00:00:00:00:02");
  flow.lower_addr = AddrOf("10.0.0.1:5001");
  flow.upper_addr = AddrOf("10.0.0.2:53");
  flow.ip_version = 4;
  flow.ip_protocol = 17;
  flow.category.lower_network = 3;
  flow.category.upper_network = 4;
}

inline kvFlowStats SampleStats() {
  kvFlowStats stats;
  stats.lower_bytes = 1000;
  stats.upper_bytes = 5000;
  stats.total_bytes = 6000;
  stats.lower_total_bytes = 1200;
  stats.upper_total_bytes = 5400;
  stats.lower_packets = 10;
  stats.upper_packets = 12;
  stats.total_packets = 22;
  stats.lower_total_packets = 11;
  stats.upper_total_packets = 13;
  stats.detection_packets = 6;
  stats.lower_rate = 0.5f;
  stats.upper_rate = 0.25f;
  stats.tcp_seq_errors = 1;
  stats.tcp_resets = 2;
  stats.tcp_retrans = 3;
  return stats;
}

// The members of `doc` named in `keys` (those it has), as one object.
inline json Pick(const json& doc, std::initializer_list<const char*> keys) {
  json picked = json::object();
  for (const char* key : keys) {
    auto it = doc.find(key);
    if (it != doc.end()) picked[key] = *it;
  }
  return picked;
}

inline kvFlags<kvFlow::EncodeFlags> Flags(uint8_t bits) {
  return kvFlags<kvFlow::EncodeFlags>::FromBits(bits);
}

// Every flow test starts with the daemon's global configuration present, with its defaults
// (no cache options), and leaves none behind.
class FlowEncodeTest : public ::testing::Test {
 protected:
  void SetUp() override { kvGlobalConfig::Create(); }
  void TearDown() override { kvGlobalConfig::Destroy(); }
};

}  // namespace korvel_test

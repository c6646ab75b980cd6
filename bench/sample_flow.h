// The fully populated TLS flow the benchmarks encode, and its counters, shared with their tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "kv/addr.h"
#include "kv/flow.h"
#include "kv/flow_stats.h"
#include "kv/global_config.h"
#include "kv/interface.h"

namespace korvel_bench {

// The digest of the sample flow; flows made with another digest differ in it alone.
constexpr uint64_t kSampleDigest = 0x0123456789abcdefull;

inline kvAddr SampleAddr(const std::string& text) {
  kvAddr addr;
  kvAddr::FromString(text, addr);
  return addr;
}

// The daemon's global configuration with both cache options on, so "dhc_hit" and "fhc_hit" are
// written too. Call before the first encoding.
inline void EnableGlobalConfig() {
  kvGlobalConfig& config = kvGlobalConfig::Create();
  config.SetOption(kvGlobalConfig::OPTION_DHC, true);
  config.SetOption(kvGlobalConfig::OPTION_FHC, true);
}

// Counters of a TCP flow, the TCP counters included; both packet counters are non-zero, so the
// flow-map walk takes the flow.
inline kvFlowStats SampleStats() {
  kvFlowStats stats;
  stats.lower_bytes = 18250;
  stats.upper_bytes = 912340;
  stats.total_bytes = 930590;
  stats.lower_total_bytes = 20480;
  stats.upper_total_bytes = 1048576;
  stats.lower_packets = 84;
  stats.upper_packets = 702;
  stats.total_packets = 786;
  stats.lower_total_packets = 90;
  stats.upper_total_packets = 760;
  stats.detection_packets = 6;
  stats.lower_rate = 1520.5f;
  stats.upper_rate = 76028.25f;
  stats.tcp_seq_errors = 3;
  stats.tcp_resets = 1;
  stats.tcp_retrans = 7;
  return stats;
}

// A GTP-tunnelled TCP flow from 192.0.2.10:51000 (lower, local) to 198.51.100.20:443 with every
// TLS detail (SNI, certificate names, JA4, fingerprint, both ALPN lists), names, three risks, two
// tags, a digest history and its counters; ready for the flow-map walk.
inline void FillSampleFlow(kvFlow& flow, uint64_t digest = kSampleDigest) {
  flow.digest = digest;
  flow.digest_history = {0x1111222233334444ull, digest};
  flow.ts_first_seen = 1700000000123ull;
  flow.ts_last_seen = 1700000009876ull;
  flow.lower_map = kvFlow::LOWER_MAP_LOCAL;
  flow.other_type = 5;
  flow.tunnel_type = kvFlow::TUNNEL_GTP;
  flow.origin = kvFlow::ORIGIN_LOWER;
  flow.lower_mac = SampleAddr("00:11:22:33:44:55");
  flow.upper_mac = SampleAddr("66:77:88:99:aa:bb");
  flow.lower_addr = SampleAddr("192.0.2.10:51000");
  flow.upper_addr = SampleAddr("198.51.100.20:443");
  flow.ip_version = 4;
  flow.ip_dscp = 10;
  flow.ip_protocol = 6;
  flow.vlan_id = 100;
  flow.ip_nat = true;
  flow.dhc_hit = true;
  flow.fhc_hit = false;
  flow.soft_dissector = false;
  flow.app_ip_override = false;
  flow.app_proto_twins = true;
  flow.detection_guessed = false;
  flow.detection_updated = true;
  flow.detected_protocol = kvProto::PROTO_TLS;
  flow.detected_protocol_name = "TLS.Example";
  flow.master_protocol = kvProto::PROTO_TLS;
  flow.detected_application = 1000;
  flow.detected_application_name = "Example Application";
  flow.category.application = 5;
  flow.category.protocol = 6;
  flow.category.domain = 7;
  flow.category.lower_network = 1;
  flow.category.upper_network = 2;
  flow.category.overlay = 3;
  flow.dns_host_name = "www.example.com";
  flow.host_server_name = "www.example.com";
  flow.tls.version = 0x0304;
  flow.tls.cipher_suite = 0x1301;
  flow.tls.server_cn = "www.example.com";
  flow.tls.issuer_dn = "C=US, O=Example Trust, CN=Example Issuing CA 2";
  flow.tls.subject_dn = "C=US, O=Example Inc, CN=www.example.com";
  flow.tls.client_ja4 = "t13d1516h2_8daaf6152771_e5627efa2ab1";
  flow.tls.cert_fingerprint.clear();
  for (uint8_t byte = 0; byte < 20; byte++) {
    flow.tls.cert_fingerprint.push_back(static_cast<uint8_t>(byte * 13 + 7));
  }
  flow.tls.alpn = {"h2", "http/1.1"};
  flow.tls.alpn_server = {"h2"};
  flow.risks = {static_cast<kvRisk::Id>(15), static_cast<kvRisk::Id>(3),
                static_cast<kvRisk::Id>(27)};
  flow.risk_score = 60;
  flow.risk_score_client = 50;
  flow.risk_score_server = 10;
  flow.tags = {"monitored", "cdn"};
  flow.gtp.version = 1;
  flow.gtp.ip_version = 4;
  flow.gtp.ip_dscp = 0;
  flow.gtp.lower_map = kvFlow::LOWER_MAP_LOCAL;
  flow.gtp.other_type = 5;
  flow.gtp.lower_teid = 0x02010000u;  // bytes 00 00 01 02: TEID 258
  flow.gtp.upper_teid = 0x04030000u;  // bytes 00 00 03 04: TEID 772
  flow.gtp.lower_addr = SampleAddr("10.20.0.1:2152");
  flow.gtp.upper_addr = SampleAddr("10.30.0.1:2152");
  flow.stats = SampleStats();
  flow.stats_ready = true;
  flow.stats_hold = false;
}

inline std::shared_ptr<kvFlow> MakeSampleFlow(const std::shared_ptr<kvInterface>& iface,
                                              uint64_t digest = kSampleDigest) {
  auto flow = std::make_shared<kvFlow>();
  FillSampleFlow(*flow, digest);
  flow->iface = iface;
  return flow;
}

}  // namespace korvel_bench

// Tests of kvFlow::Encode: sections by flag, endpoint keys, masks, texts, counters, the tunnel,
// DPI details, risks and tags, the cache options and failures, each as a table of flow changes.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "bench/sample_flow.h"
#include "kv/flow.h"

namespace {

using korvel_bench::SampleAddr;
using korvel_bench::SampleStats;
using Change = std::function<void(kvFlow&)>;

// A UDP flow from 10.0.0.1:5001 (lower, local) to 10.0.0.2:53, without names or details.
void FillPlainFlow(kvFlow& flow) {
  flow.digest = 0xfedcba9876543210ull;
  flow.ts_first_seen = 100;
  flow.ts_last_seen = 200;
  flow.lower_map = kvFlow::LOWER_MAP_LOCAL;
  flow.lower_mac = SampleAddr("00:00:00:00:00:01");
  flow.upper_mac = SampleAddr("00:00:00:00:00:02");
  flow.lower_addr = SampleAddr("10.0.0.1:5001");
  flow.upper_addr = SampleAddr("10.0.0.2:53");
  flow.ip_version = 4;
  flow.ip_protocol = 17;
  flow.category.lower_network = 3;
  flow.category.upper_network = 4;
}

// The plain flow in a GTP tunnel from 203.0.113.1:2152 (lower) to 203.0.113.2:2153, identifiers
// stored as the bytes 00 00 01 02 and 00 01 00 00.
void Gtp(kvFlow& flow) {
  flow.tunnel_type = kvFlow::TUNNEL_GTP;
  flow.gtp.version = 1;
  flow.gtp.ip_version = 4;
  flow.gtp.ip_dscp = 46;
  flow.gtp.lower_map = kvFlow::LOWER_MAP_LOCAL;
  flow.gtp.other_type = 5;
  flow.gtp.lower_teid = htonl(0x0102);
  flow.gtp.upper_teid = htonl(0x10000);
  flow.gtp.lower_addr = SampleAddr("203.0.113.1:2152");
  flow.gtp.upper_addr = SampleAddr("203.0.113.2:2153");
}

void Tls(kvFlow& flow) {
  flow.master_protocol = kvProto::PROTO_TLS;
}

constexpr const char kIdentity[] =
    R"({"digest": "fedcba9876543210", "digest_prev": ["fedcba9876543210"], "last_seen_at": 200})";

// The plain flow with flags 1.
constexpr const char kPlain[] = R"({
  "digest": "fedcba9876543210", "digest_prev": ["fedcba9876543210"], "last_seen_at": 200,
  "ip_nat": false, "soft_dissector": false, "app_ip_override": false, "app_proto_twins": false,
  "ip_version": 4, "ip_dscp": 0, "ip_protocol": 17, "vlan_id": 0, "other_type": "unknown",
  "local_origin": true, "local_mac": "00:00:00:00:00:01", "other_mac": "00:00:00:00:00:02",
  "local_ip": "10.0.0.1", "other_ip": "10.0.0.2", "local_port": 5001, "other_port": 53,
  "detected_protocol": 0, "detected_protocol_name": "Unknown",
  "detected_application": 0, "detected_application_name": "Unknown",
  "detection_guessed": false, "detection_updated": false,
  "category": {"application": 0, "protocol": 0, "domain": 0, "local_network": 3,
               "other_network": 4, "overlay": 0},
  "first_seen_at": 100,
  "risks": {"ndpi_risk_score": 0, "ndpi_risk_score_client": 0, "ndpi_risk_score_server": 0}})";

// The counters of SampleStats with the lower endpoint local.
constexpr const char kCounters[] = R"({
  "local_bytes": 18250, "other_bytes": 912340, "total_local_bytes": 20480,
  "total_other_bytes": 1048576, "local_packets": 84, "other_packets": 702,
  "total_local_packets": 90, "total_other_packets": 760, "total_packets": 786,
  "total_bytes": 930590, "detection_packets": 6, "local_rate": 1520.5, "other_rate": 76028.25})";

constexpr const char kGtp[] = R"({"gtp": {"version": 1, "ip_version": 4, "ip_dscp": 46,
  "local_ip": "203.0.113.1", "other_ip": "203.0.113.2", "local_port": 2152, "other_port": 2153,
  "local_teid": 258, "other_teid": 65536, "other_type": "remote"}})";

// `base` with the members of `patch` put in (replacing whole members of the same name).
json With(const char* base, const char* patch = "{}") {
  json doc = json::parse(base);
  doc.update(json::parse(patch));
  return doc;
}

struct Case {
  const char* name;
  uint8_t flags;
  Change change;
  json expected;  // naming "digest": the whole document; else only the members it names
  kvFlowStats stats = SampleStats();
};

json Encode(uint8_t flags, const Change& change, const kvFlowStats& stats = SampleStats()) {
  kvFlow flow;
  FillPlainFlow(flow);
  if (change) change(flow);
  json doc;
  flow.Encode(doc, stats, kvFlags<kvFlow::EncodeFlags>::FromBits(flags));
  return doc;
}

// The members of `doc` named in `keys`, null for those it lacks.
json Pick(const json& doc, const std::vector<std::string>& keys) {
  json picked = json::object();
  for (const std::string& key : keys) picked[key] = doc.contains(key) ? doc[key] : json();
  return picked;
}

// Compares printed documents, so that number kinds (0 and 0.0) count too.
void ExpectCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    json doc = Encode(c.flags, c.change, c.stats);
    if (!c.expected.contains("digest")) {
      std::vector<std::string> keys;
      for (const auto& member : c.expected.items()) keys.push_back(member.key());
      doc = Pick(doc, keys);
    }
    EXPECT_EQ(doc.dump(), c.expected.dump()) << c.name;
  }
}

// Every test starts with the daemon's global configuration present, with its defaults (no cache
// options), and leaves none behind.
class FlowEncode : public ::testing::Test {
 protected:
  void SetUp() override { kvGlobalConfig::Create(); }
  void TearDown() override { kvGlobalConfig::Destroy(); }
};

TEST_F(FlowEncode, SectionsCountersAndTunnel) {
  kvFlowStats zero_tcp = SampleStats(), wide;
  zero_tcp.tcp_seq_errors = zero_tcp.tcp_resets = zero_tcp.tcp_retrans = 0;
  wide.lower_rate = 0.1f;
  wide.lower_bytes = 18446744073709551615ull;
  wide.lower_packets = 4294967295u;
  auto tcp = [](kvFlow& f) { f.ip_protocol = 6; };
  auto gtp = [](uint8_t gtp_map, uint8_t map) {
    return [=](kvFlow& f) { Gtp(f), f.gtp.lower_map = gtp_map, f.lower_map = map; };
  };
  ExpectCases({
      {"no flags", 0, {}, json::parse(kIdentity)},
      {"unknown bits", 0xf8, {}, json::parse(kIdentity)},
      {"metadata", 1, {}, json::parse(kPlain)},
      {"metadata and tunnels, no counters", 3, tcp, With(kPlain, R"({"ip_protocol": 6})")},
      {"counters, no tcp for udp", 4, {}, With(kIdentity, kCounters)},
      {"lower-map 0 counts as local", 4, [](kvFlow& f) { f.lower_map = 0; },
       With(kIdentity, kCounters)},
      {"lower-map 2 puts the lower counters under other", 4, [](kvFlow& f) { f.lower_map = 2; },
       With(kIdentity, R"({"other_bytes": 18250, "local_bytes": 912340,
         "total_other_bytes": 20480, "total_local_bytes": 1048576, "other_packets": 84,
         "local_packets": 702, "total_other_packets": 90, "total_local_packets": 760,
         "total_packets": 786, "total_bytes": 930590, "detection_packets": 6,
         "other_rate": 1520.5, "local_rate": 76028.25})")},
      {"tcp counters", 4, tcp,
       json::parse(R"({"tcp": {"seq_errors": 3, "resets": 1, "retrans": 7}})")},
      {"zero tcp counters", 4, tcp,
       json::parse(R"({"tcp": {"seq_errors": 0, "resets": 0, "retrans": 0}})"), zero_tcp},
      {"rate widened, largest values unsigned",
       4,
       {},
       json::parse(R"({"local_rate": 0.10000000149011612, "other_rate": 0.0,
         "local_bytes": 18446744073709551615, "local_packets": 4294967295})"),
       wide},
      {"digest history", 0,
       [](kvFlow& f) {
         f.digest_history = {1, 0xabcdef, ~0ull};
       },
       json::parse(R"({"digest": "ffffffffffffffff", "last_seen_at": 200,
         "digest_prev": ["0000000000000001", "0000000000abcdef", "ffffffffffffffff"]})")},
      {"tunnel flag alone", 2, Gtp, With(kIdentity, kGtp)},
      {"tunnel lower-map 2 exchanges every endpoint key", 2, gtp(2, 1),
       json::parse(R"({"gtp": {"version": 1, "ip_version": 4, "ip_dscp": 46,
         "other_ip": "203.0.113.1", "local_ip": "203.0.113.2", "other_port": 2152,
         "local_port": 2153, "other_teid": 258, "local_teid": 65536, "other_type": "remote"}})")},
      {"tunnel lower-map 1 ignores the flow's", 2, gtp(1, 2), json::parse(kGtp)},
      {"unknown tunnel lower-map takes the flow's address keys", 2, gtp(0, 2),
       json::parse(R"({"gtp": {"version": 1, "ip_version": 4, "ip_dscp": 46,
         "other_ip": "203.0.113.1", "local_ip": "203.0.113.2", "other_port": 2152,
         "local_port": 2153, "local_teid": 258, "other_teid": 65536, "other_type": "remote"}})")},
      {"unknown tunnel lower-map, flow local", 2, gtp(9, 1), json::parse(kGtp)},
      {"tunnel addresses are never masked", 2, [](kvFlow& f) { Gtp(f), f.privacy_mask = 0x0f; },
       json::parse(kGtp)},
      {"missing tunnel addresses", 2,
       [](kvFlow& f) { Gtp(f), f.gtp.lower_addr.Clear(), f.gtp.upper_addr.Clear(); },
       json::parse(R"({"gtp": {"version": 1, "ip_version": 4, "ip_dscp": 46, "local_port": 0,
         "other_port": 0, "local_teid": 258, "other_teid": 65536, "other_type": "remote"}})")},
      {"no gtp without the tunnel flag", 5, Gtp,
       json::parse(R"({"gtp": null, "local_ip": "10.0.0.1"})")},
      {"no gtp for tunnel type 0", 2, [](kvFlow& f) { Gtp(f), f.tunnel_type = 0; },
       json::parse(kIdentity)},
      {"no gtp for tunnel type 2", 2, [](kvFlow& f) { Gtp(f), f.tunnel_type = 2; },
       json::parse(kIdentity)},
      {"no gtp for tunnel type 255", 2, [](kvFlow& f) { Gtp(f), f.tunnel_type = 255; },
       json::parse(kIdentity)},
  });
  kvFlow flow;
  FillPlainFlow(flow);
  json doc = json::parse(R"({"type": "flow", "digest": "old", "last_seen_at": "old"})");
  flow.Encode(doc, SampleStats(), kvFlow::ENCODE_NONE);
  EXPECT_EQ(doc, With(kIdentity, R"({"type": "flow"})")) << "existing members";
}

TEST_F(FlowEncode, EndpointsMasksAndTexts) {
  auto map = [](uint8_t value) { return [value](kvFlow& f) { f.lower_map = value; }; };
  std::vector<Case> cases = {
      {"lower-map 2", 1, map(2), With(kPlain, R"({"local_origin": false,
         "other_mac": "00:00:00:00:00:01", "local_mac": "00:00:00:00:00:02",
         "other_ip": "10.0.0.1", "local_ip": "10.0.0.2", "other_port": 5001, "local_port": 53,
         "category": {"application": 0, "protocol": 0, "domain": 0, "other_network": 3,
                      "local_network": 4, "overlay": 0}})")},
      {"lower-map 0", 1, map(0), json::parse(kPlain)},
      {"lower-map 3", 1, map(3), json::parse(kPlain)},
      {"lower-map 255", 1, map(255), json::parse(kPlain)},
      {"missing mac", 1, [](kvFlow& f) { f.lower_mac.Clear(); },
       json::parse(R"({"local_mac": "00:00:00:00:00:00", "other_mac": "00:00:00:00:00:02"})")},
      {"missing ip: no key but the port", 1, [](kvFlow& f) { f.upper_addr.Clear(); },
       json::parse(R"({"local_ip": "10.0.0.1", "other_ip": null, "other_port": 0})")},
      {"masks follow the endpoint, not the side", 1,
       [](kvFlow& f) { f.lower_map = 2, f.privacy_mask = 0x09; },
       json::parse(R"({"other_mac": "00:52:14:00:00:00", "local_mac": "00:00:00:00:00:02",
         "other_ip": "127.255.0.253", "local_ip": "10.0.0.2"})")},
      {"masked mac without an address", 1,
       [](kvFlow& f) { f.lower_mac.Clear(), f.privacy_mask = kvFlow::PRIVATE_LOWER_MAC; },
       json::parse(R"({"local_mac": "00:52:14:00:00:00"})")},
      {"names written or unknown", 1,
       [](kvFlow& f) {
         f.detected_protocol = kvProto::Id{5}, f.detected_protocol_name = "DNS",
         f.detected_application = 7;
       },
       json::parse(R"({"detected_protocol": 5, "detected_protocol_name": "DNS",
         "detected_application": 7, "detected_application_name": "Unknown"})")},
  };
  // Each mask bit on both families: mask, then local mac, other mac, local ip and other ip.
  const char *m1 = "00:00:00:00:00:01", *m2 = "00:00:00:00:00:02", *x1 = "00:52:14:00:00:00",
             *x2 = "00:52:ff:00:00:00";
  const std::pair<uint8_t, std::vector<const char*>> masks[] = {
      {0x00, {m1, m2, "192.0.2.10", "198.51.100.20", "2001:db8::10", "2001:db8::20"}},
      {0x01, {x1, m2, "192.0.2.10", "198.51.100.20", "2001:db8::10", "2001:db8::20"}},
      {0x02, {m1, x2, "192.0.2.10", "198.51.100.20", "2001:db8::10", "2001:db8::20"}},
      {0x04, {m1, m2, "192.0.2.10", "127.255.0.254", "2001:db8::10", "fe:80::ffff:7fff:fe"}},
      {0x08, {m1, m2, "127.255.0.253", "198.51.100.20", "fe:80::ffff:7fff:fd", "2001:db8::20"}},
      {0x0f,
       {x1, x2, "127.255.0.253", "127.255.0.254", "fe:80::ffff:7fff:fd", "fe:80::ffff:7fff:fe"}}};
  for (const auto& [mask, texts] : masks) {
    for (int v6 : {0, 2}) {
      cases.push_back({"mask",
                       1,
                       [mask = mask, v6](kvFlow& f) {
                         f.privacy_mask = mask, f.ip_version = v6 ? 6 : 4;
                         f.lower_addr =
                             SampleAddr(v6 ? "[2001:db8::10]:51000" : "192.0.2.10:51000");
                         f.upper_addr = SampleAddr(v6 ? "[2001:db8::20]:443" : "198.51.100.20:443");
                       },
                       {{"local_mac", texts[0]},
                        {"other_mac", texts[1]},
                        {"local_ip", texts[2 + v6]},
                        {"other_ip", texts[3 + v6]},
                        {"local_port", 51000},
                        {"other_port", 443}}});
    }
  }
  // "local_origin" by origin and lower-map.
  const uint8_t origins[][3] = {{2, 1, 0}, {2, 2, 1}, {2, 0, 0}, {0, 1, 1},
                                {1, 1, 1}, {1, 2, 0}, {0, 2, 0}, {7, 1, 1}};
  for (const auto& [origin, lower_map, local] : origins) {
    cases.push_back({"origin",
                     1,
                     [o = origin, m = lower_map](kvFlow& f) { f.origin = o, f.lower_map = m; },
                     {{"local_origin", local == 1}}});
  }
  // "other_type" texts of the flow and of the tunnel.
  const char* const texts[][2] = {{"unknown", "unsupported"},   {"unsupported", "unsupported"},
                                  {"local", "local"},           {"multicast", "unsupported"},
                                  {"broadcast", "unsupported"}, {"remote", "remote"},
                                  {"error", "error"},           {"unknown", "unsupported"}};
  for (int value : {0, 1, 2, 3, 4, 5, 6, 7, 255}) {
    const auto& text = texts[value > 7 ? 7 : value];
    cases.push_back({"other type",
                     3,
                     [value](kvFlow& f) { Gtp(f), f.other_type = f.gtp.other_type = value; },
                     {{"other_type", text[0]}, {"gtp", With(kGtp).at("gtp")}}});
    cases.back().expected["gtp"]["other_type"] = text[1];
  }
  ExpectCases(cases);
}

TEST_F(FlowEncode, CacheHitsOnlyWhenTheirOptionIsOn) {
  const char* const expected[] = {
      R"({"dhc_hit": null, "fhc_hit": null})", R"({"dhc_hit": true, "fhc_hit": null})",
      R"({"dhc_hit": null, "fhc_hit": false})", R"({"dhc_hit": true, "fhc_hit": false})"};
  for (int options = 0; options < 4; options++) {
    kvGlobalConfig::GetInstance().SetOption(kvGlobalConfig::OPTION_DHC, options & 1);
    kvGlobalConfig::GetInstance().SetOption(kvGlobalConfig::OPTION_FHC, options & 2);
    ExpectCases({{"options", 1, [](kvFlow& f) { f.dhc_hit = true, f.fhc_hit = false; },
                  json::parse(expected[options])}});
  }
}

const std::vector<std::string> kDetails = {
    "dns_host_name", "host_server_name", "http", "dhcp", "ssh", "ssl", "bt", "ssdp", "mdns",
    "stun"};

// The detail members of the plain flow after `change`, encoded with flags 1; all the others must
// be absent.
void ExpectDetails(const Change& change, const char* expected, const std::string& what) {
  json details = Pick(Encode(1, change), kDetails);
  const json wanted = json::parse(expected);
  for (const auto& member : wanted.items()) {
    EXPECT_EQ(details[member.key()], member.value()) << what << ": " << member.key();
    details.erase(member.key());
  }
  for (const auto& member : details.items()) {
    EXPECT_TRUE(member.value().is_null()) << what << ": " << member.key();
  }
}

// The detail tests decide each member: data present, the test answering false, the test forced
// true without data.
TEST_F(FlowEncode, EachDetailTestDecidesItsMember) {
  const char* bare = R"({"ssl": {"version": "0x0000", "cipher_suite": "0x0000"}})";
  const struct {
    kvFlow::Detail detail;
    Change fill_data, fill_other;
    const char *with_data, *without, *forced_empty;
  } cases[] = {
      {kvFlow::DETAIL_HTTP_USER_AGENT,
       [](kvFlow& f) { f.user_agent = "curl/8.0"; },
       {},
       R"({"http": {"user_agent": "curl/8.0"}})",
       "{}",
       "{}"},
      {kvFlow::DETAIL_HTTP_URL,
       [](kvFlow& f) { f.http_url = "/index.html"; },
       {},
       R"({"http": {"url": "/index.html"}})",
       "{}",
       "{}"},
      {kvFlow::DETAIL_DHCP_FINGERPRINT,
       [](kvFlow& f) { f.dhcp_fingerprint = "1,3,6,15"; },
       {},
       R"({"dhcp": {"fingerprint": "1,3,6,15"}})",
       "{}",
       "{}"},
      {kvFlow::DETAIL_DHCP_CLASS_IDENT,
       [](kvFlow& f) { f.dhcp_class_ident = "MSFT 5.0"; },
       {},
       R"({"dhcp": {"class_ident": "MSFT 5.0"}})",
       "{}",
       "{}"},
      {kvFlow::DETAIL_SSH_CLIENT_AGENT,
       [](kvFlow& f) { f.ssh_client_agent = "SSH-2.0-a"; },
       {},
       R"({"ssh": {"client": "SSH-2.0-a"}})",
       "{}",
       "{}"},
      {kvFlow::DETAIL_SSH_SERVER_AGENT,
       [](kvFlow& f) { f.ssh_server_agent = "SSH-2.0-b"; },
       {},
       R"({"ssh": {"server": "SSH-2.0-b"}})",
       "{}",
       "{}"},
      {kvFlow::DETAIL_TLS_CLIENT_SNI, [](kvFlow& f) { f.host_server_name = "a.example"; }, Tls,
       R"({"host_server_name": "a.example", "ssl": {"version": "0x0000",
         "cipher_suite": "0x0000", "client_sni": "a.example"}})",
       R"({"host_server_name": "a.example",
         "ssl": {"version": "0x0000", "cipher_suite": "0x0000"}})",
       bare},
      {kvFlow::DETAIL_TLS_ENCRYPTED_CH, [](kvFlow& f) { f.tls.ech_version = 0xfe0d; }, Tls,
       R"({"ssl": {"version": "0x0000", "cipher_suite": "0x0000",
         "encrypted_ch_version": "0xfe0d"}})",
       bare,
       R"({"ssl": {"version": "0x0000", "cipher_suite": "0x0000",
         "encrypted_ch_version": "0x0000"}})"},
      {kvFlow::DETAIL_TLS_SERVER_CN, [](kvFlow& f) { f.tls.server_cn = "a.example"; }, Tls,
       R"({"ssl": {"version": "0x0000", "cipher_suite": "0x0000", "server_cn": "a.example"}})",
       bare, bare},
      {kvFlow::DETAIL_TLS_ISSUER_DN, [](kvFlow& f) { f.tls.issuer_dn = "CN=CA"; }, Tls,
       R"({"ssl": {"version": "0x0000", "cipher_suite": "0x0000", "issuer_dn": "CN=CA"}})", bare,
       bare},
      {kvFlow::DETAIL_TLS_SUBJECT_DN, [](kvFlow& f) { f.tls.subject_dn = "CN=a"; }, Tls,
       R"({"ssl": {"version": "0x0000", "cipher_suite": "0x0000", "subject_dn": "CN=a"}})", bare,
       bare},
      {kvFlow::DETAIL_TLS_CLIENT_JA4, [](kvFlow& f) { f.tls.client_ja4 = "t13d0000"; }, Tls,
       R"({"ssl": {"version": "0x0000", "cipher_suite": "0x0000", "client_ja4": "t13d0000"}})",
       bare, bare},
      {kvFlow::DETAIL_BT_INFO_HASH,
       [](kvFlow& f) {
         f.bt_info_hash.assign({0xab, 0xcd, 0x01});
       },
       {},
       R"({"bt": {"info_hash": "abcd01"}})",
       "{}",
       "{}"},
      {kvFlow::DETAIL_SSDP_USER_AGENT, [](kvFlow& f) { f.user_agent = "UPnP/1.0"; },
       [](kvFlow& f) { f.detected_protocol = kvProto::PROTO_SSDP; },
       R"({"ssdp": {"user_agent": "UPnP/1.0"}})", "{}", "{}"},
      {kvFlow::DETAIL_MDNS_DOMAIN_NAME,
       [](kvFlow& f) { f.mdns_answer = "printer.local"; },
       {},
       R"({"mdns": {"answer": "printer.local"}})",
       "{}",
       "{}"},
      {kvFlow::DETAIL_STUN_ADDRESS,
       [](kvFlow& f) { f.stun.mapped = SampleAddr("192.0.2.1:3478"); },
       {},
       R"({"stun": {"mapped": "192.0.2.1:3478"}})",
       "{}",
       "{}"},
  };
  for (const auto& c : cases) {
    const std::string what = "detail " + std::to_string(c.detail);
    auto other = [&c](kvFlow& f) {
      if (c.fill_other) c.fill_other(f);
    };
    ExpectDetails([&](kvFlow& f) { other(f), c.fill_data(f); }, c.with_data, what + ", data");
    ExpectDetails([&](kvFlow& f) { other(f), c.fill_data(f), f.has_override[c.detail] = 0; },
                  c.without, what + ", test false");
    ExpectDetails([&](kvFlow& f) { other(f), f.has_override[c.detail] = 1; }, c.forced_empty,
                  what + ", test forced true without data");
  }
}

TEST_F(FlowEncode, DetailObjectsRisksAndTags) {
  const std::pair<Change, const char*> details[] = {
      {[](kvFlow& f) { f.dns_host_name = "dns.example", f.host_server_name = "host.example"; },
       R"({"dns_host_name": "dns.example", "host_server_name": "host.example"})"},
      {[](kvFlow& f) { f.http_url = "/a", f.user_agent = "Mozilla/5.0"; },
       R"({"http": {"url": "/a", "user_agent": "Mozilla/5.0"}})"},
      {[](kvFlow& f) {
         f.dhcp_fingerprint = "1,3", f.dhcp_class_ident = "android-dhcp-14",
         f.ssh_client_agent = "SSH-2.0-a", f.ssh_server_agent = "SSH-2.0-b";
       },
       R"({"dhcp": {"fingerprint": "1,3", "class_ident": "android-dhcp-14"},
         "ssh": {"client": "SSH-2.0-a", "server": "SSH-2.0-b"}})"},
      // SSDP and HTTP share the user agent.
      {[](kvFlow& f) {
         f.detected_protocol = kvProto::PROTO_SSDP, f.user_agent = "Linux UPnP/1.0",
         f.has_override[kvFlow::DETAIL_HTTP_USER_AGENT] = 1;
       },
       R"({"http": {"user_agent": "Linux UPnP/1.0"}, "ssdp": {"user_agent": "Linux UPnP/1.0"}})"},
      {[](kvFlow& f) {
         f.stun.mapped = SampleAddr("[2001:db8::1]:3478"),
         f.stun.peer = SampleAddr("192.0.2.2:40000"),
         f.stun.relayed = SampleAddr("192.0.2.3:50000"),
         f.stun.response = SampleAddr("[2001:db8::4]:3479"),
         f.stun.other = SampleAddr("192.0.2.5:3480");
       },
       R"({"stun": {"mapped": "[2001:db8::1]:3478", "peer": "192.0.2.2:40000",
         "relayed": "192.0.2.3:50000", "response": "[2001:db8::4]:3479",
         "other": "192.0.2.5:3480"}})"},
      // The address's plain text is made (and cached) before the encoding.
      {[](kvFlow& f) {
         f.stun.mapped = SampleAddr("192.0.2.1:3478");
         EXPECT_EQ(f.stun.mapped.GetString(kvAddr::MAKE_DEFAULT), "192.0.2.1");
       },
       R"({"stun": {"mapped": "192.0.2.1:3478"}})"},
      {[](kvFlow& f) {
         f.master_protocol = kvProto::Id{7}, f.detected_protocol = kvProto::PROTO_QUIC,
         f.tls.version = 0x0304, f.tls.cipher_suite = 0xc02f;
       },
       R"({"ssl": {"version": "0x0304", "cipher_suite": "0xc02f"}})"},
      // Not TLS: no "ssl" whatever the data.
      {[](kvFlow& f) {
         f.master_protocol = f.detected_protocol = kvProto::Id{7}, f.tls.version = 0x0303,
         f.tls.server_cn = "a.example", f.tls.alpn = {"h2"};
       },
       "{}"},
      {[](kvFlow& f) {
         Tls(f), f.tls.cert_fingerprint = {0x0f, 0xf0}, f.tls.alpn_server = {"http/1.1", "h2"};
       },
       R"({"ssl": {"version": "0x0000", "cipher_suite": "0x0000", "fingerprint": "0ff0",
         "alpn_server": ["http/1.1", "h2"]}})"},
  };
  for (size_t i = 0; i < std::size(details); i++) {
    ExpectDetails(details[i].first, details[i].second, "case " + std::to_string(i));
  }
  ExpectCases({
      {"no risks: the three scores",
       1,
       {},
       json::parse(R"({"tags": null, "risks": {"ndpi_risk_score": 0,
         "ndpi_risk_score_client": 0, "ndpi_risk_score_server": 0}})")},
      {"risks ascending, tags in byte order", 1,
       [](kvFlow& f) {
         f.risks = {kvRisk::Id{40}, kvRisk::Id{2}, kvRisk::Id{7}}, f.risk_score = 300,
         f.risk_score_client = 250, f.risk_score_server = 50, f.tags = {"b", "a", "B"};
       },
       json::parse(R"({"risks": {"risks": [2, 7, 40], "ndpi_risk_score": 300,
         "ndpi_risk_score_client": 250, "ndpi_risk_score_server": 50},
         "tags": ["B", "a", "b"]})")},
      {"no details, risks or tags without metadata", 6,
       [](kvFlow& f) { korvel_bench::FillSampleFlow(f); },
       json::parse(R"({"risks": null, "tags": null, "ssl": null, "host_server_name": null,
         "dns_host_name": null})")},
  });
}

bool LockableFromAnotherThread(const kvFlow& flow) {
  bool locked = false;
  std::thread other([&flow, &locked] {
    locked = flow.lock.try_lock();
    if (locked) flow.lock.unlock();
  });
  other.join();
  return locked;
}

// A failure propagates, keeps the members written before it and releases the flow's lock.
TEST_F(FlowEncode, Failures) {
  const struct {
    const char* start;
    const char* message;
    json written;
  } cases[] = {
      {R"({"category": 1})",
       "[json.exception.type_error.305] cannot use operator[] with a string argument with number",
       With(kPlain, R"({"category": 1})")},
      {"null", "static kvGlobalConfig &kvGlobalConfig::GetInstance(): instance not found",
       With(kIdentity, R"({"ip_nat": false})")},
  };
  for (const auto& c : cases) {
    kvFlow flow;
    FillPlainFlow(flow);
    json doc = json::parse(c.start);
    try {
      flow.Encode(doc, SampleStats(), kvFlow::ENCODE_ALL);
      ADD_FAILURE() << "no exception: " << c.message;
    } catch (const std::exception& error) {
      EXPECT_STREQ(error.what(), c.message);
    }
    json written = c.written;
    written.erase("first_seen_at");
    written.erase("risks");
    EXPECT_EQ(doc, written);
    EXPECT_TRUE(LockableFromAnotherThread(flow));
    kvGlobalConfig::Destroy();  // the next case runs without the configuration
  }
  // Without metadata the configuration is not needed.
  EXPECT_EQ(Encode(6, {}), With(kIdentity, kCounters));
}

}  // namespace

// Tests of the "flow" op: every member into its field, merging, refusals that change nothing.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <string>

#include "tools/daemon_state.h"
#include "tools/scenario_error.h"

namespace {

using replay::DaemonState;
using replay::FlowPatch;
using replay::InterfacePatch;
using replay::ScenarioError;

std::string Text(const kvAddr& addr, uint8_t flags = 0) {
  std::string text;
  kvAddr::MakeString(addr, text, kvFlags<kvAddr::MakeFlags>::FromBits(flags));
  return text;
}

class FlowOp : public ::testing::Test {
 protected:
  FlowOp() : state(4) {
    state.SetInterface(InterfacePatch::Read(json::parse(R"({"name":"eth0","role":1})")));
    state.SetInterface(InterfacePatch::Read(json::parse(R"({"name":"wan0","role":2})")));
  }

  void Set(const std::string& id, const std::string& members) {
    state.SetFlow(id, FlowPatch::Read(json::parse(members)));
  }

  // The message of the ScenarioError that setting `members` throws ("" when none).
  std::string ErrorOf(const std::string& id, const std::string& members) {
    try {
      Set(id, members);
    } catch (const ScenarioError& e) {
      return e.what();
    }
    return "";
  }

  DaemonState state;
};

TEST_F(FlowOp, EveryMemberReachesItsField) {
  Set("f", R"({"op":"flow","id":"f","interface":"eth0","digest":11,"digest_history":[9,10,11],
    "first_seen":100,"last_seen":200,"lower_map":2,"other_type":3,"tunnel_type":1,"origin":2,
    "privacy_mask":15,"lower_mac":"00:11:22:aa:bb:cc","upper_mac":"00:11:22:aa:bb:cd",
    "lower_ip":"192.0.2.1:1000","upper_ip":"[2001:db8::1]:2000","ip_version":4,"ip_dscp":46,
    "ip_protocol":6,"vlan_id":4094,"ip_nat":true,"dhc_hit":true,"fhc_hit":true,
    "soft_dissector":true,"app_ip_override":true,"app_proto_twins":true,
    "detection_guessed":true,"detection_updated":true,"tcp_closed":true,"stats_ready":true,
    "stats_hold":true,"detected_protocol":91,"detected_protocol_name":"TLS",
    "detected_application":126,"detected_application_name":"Google","master_protocol":91,
    "category":{"application":1,"protocol":2,"domain":3,"lower_network":4,"upper_network":5,
    "overlay":6},"dns_host_name":"d","host_server_name":"h","user_agent":"u","http_url":"/x",
    "dhcp_fingerprint":"1,3","dhcp_class_ident":"c","ssh_client_agent":"sc",
    "ssh_server_agent":"ss","mdns_answer":"m",
    "tls":{"version":772,"cipher_suite":4865,"ech_version":65037,"server_cn":"cn",
    "issuer_dn":"i","subject_dn":"s","client_ja4":"j","cert_fingerprint":"00Ff10",
    "alpn":["h2","http/1.1"],"alpn_server":["h2"]},"bt_info_hash":"abCD",
    "stun":{"mapped":"198.51.100.1:3478","peer":"[2001:db8::2]:5000","relayed":"198.51.100.2",
    "response":"198.51.100.3:1","other":"198.51.100.4:2"},"risks":[40,2,40],"risk_score":1,
    "risk_score_client":2,"risk_score_server":3,"tags":["b","a"],
    "gtp":{"version":1,"ip_version":6,"ip_dscp":7,"lower_map":2,"other_type":5,
    "lower_teid":258,"upper_teid":4294967295,"lower_ip":"192.0.2.10:2152",
    "upper_ip":"192.0.2.20","upper_port":2153},
    "stats":{"lower_bytes":1,"upper_bytes":2,"total_bytes":3,"lower_total_bytes":4,
    "upper_total_bytes":5,"lower_packets":6,"upper_packets":7,"total_packets":8,
    "lower_total_packets":9,"upper_total_packets":10,"detection_packets":255,
    "lower_rate":0.1,"upper_rate":2.5,"tcp_seq_errors":11,"tcp_resets":12,"tcp_retrans":13},
    "has":{"HttpURL":false,"STUNAddress":true}})");

  const std::shared_ptr<kvFlow> flow = state.GetFlow("f");
  const kvFlow& f = *flow;
  EXPECT_EQ(f.iface, state.InterfaceTable().at("eth0"));
  EXPECT_EQ(f.digest, 11u);
  EXPECT_EQ(f.digest_history, (std::vector<uint64_t>{9, 10, 11}));
  EXPECT_EQ(f.ts_first_seen, 100u);
  EXPECT_EQ(f.ts_last_seen, 200u);
  EXPECT_EQ(f.lower_map, 2);
  EXPECT_EQ(f.other_type, 3);
  EXPECT_EQ(f.tunnel_type, 1);
  EXPECT_EQ(f.origin, 2);
  EXPECT_EQ(f.privacy_mask, 15);
  EXPECT_EQ(Text(f.lower_mac), "00:11:22:aa:bb:cc");
  EXPECT_EQ(Text(f.upper_mac), "00:11:22:aa:bb:cd");
  EXPECT_EQ(Text(f.lower_addr, kvAddr::MAKE_WITH_PORT), "192.0.2.1:1000");
  EXPECT_EQ(Text(f.upper_addr, kvAddr::MAKE_WITH_PORT), "[2001:db8::1]:2000");
  EXPECT_EQ(f.ip_version, 4);
  EXPECT_EQ(f.ip_dscp, 46);
  EXPECT_EQ(f.ip_protocol, 6);
  EXPECT_EQ(f.vlan_id, 4094);
  EXPECT_TRUE(f.ip_nat && f.dhc_hit && f.fhc_hit && f.soft_dissector && f.app_ip_override &&
              f.app_proto_twins && f.detection_guessed && f.detection_updated);
  EXPECT_EQ(f.tcp_closed, 1);
  EXPECT_TRUE(f.stats_ready);
  EXPECT_TRUE(f.stats_hold);
  EXPECT_EQ(f.detected_protocol, kvProto::PROTO_TLS);
  EXPECT_EQ(f.detected_protocol_name, "TLS");
  EXPECT_EQ(f.detected_application, 126u);
  EXPECT_EQ(f.detected_application_name, "Google");
  EXPECT_EQ(f.master_protocol, kvProto::PROTO_TLS);
  EXPECT_EQ(f.category.application, 1u);
  EXPECT_EQ(f.category.protocol, 2u);
  EXPECT_EQ(f.category.domain, 3u);
  EXPECT_EQ(f.category.lower_network, 4u);
  EXPECT_EQ(f.category.upper_network, 5u);
  EXPECT_EQ(f.category.overlay, 6u);
  EXPECT_EQ(f.dns_host_name, "d");
  EXPECT_EQ(f.host_server_name, "h");
  EXPECT_EQ(f.user_agent, "u");
  EXPECT_EQ(f.http_url, "/x");
  EXPECT_EQ(f.dhcp_fingerprint, "1,3");
  EXPECT_EQ(f.dhcp_class_ident, "c");
  EXPECT_EQ(f.ssh_client_agent, "sc");
  EXPECT_EQ(f.ssh_server_agent, "ss");
  EXPECT_EQ(f.mdns_answer, "m");
  EXPECT_EQ(f.tls.version, 772);
  EXPECT_EQ(f.tls.cipher_suite, 4865);
  EXPECT_EQ(f.tls.ech_version, 65037);
  EXPECT_EQ(f.tls.server_cn, "cn");
  EXPECT_EQ(f.tls.issuer_dn, "i");
  EXPECT_EQ(f.tls.subject_dn, "s");
  EXPECT_EQ(f.tls.client_ja4, "j");
  EXPECT_EQ(f.tls.cert_fingerprint, (std::vector<uint8_t>{0x00, 0xff, 0x10}));
  EXPECT_EQ(f.tls.alpn, (std::vector<std::string>{"h2", "http/1.1"}));
  EXPECT_EQ(f.tls.alpn_server, (std::vector<std::string>{"h2"}));
  EXPECT_EQ(f.bt_info_hash, (std::vector<uint8_t>{0xab, 0xcd}));
  EXPECT_EQ(Text(f.stun.mapped, kvAddr::MAKE_WITH_PORT), "198.51.100.1:3478");
  EXPECT_EQ(Text(f.stun.peer, kvAddr::MAKE_WITH_PORT), "[2001:db8::2]:5000");
  EXPECT_EQ(Text(f.stun.relayed, kvAddr::MAKE_WITH_PORT), "198.51.100.2:0");
  EXPECT_EQ(Text(f.stun.response, kvAddr::MAKE_WITH_PORT), "198.51.100.3:1");
  EXPECT_EQ(Text(f.stun.other, kvAddr::MAKE_WITH_PORT), "198.51.100.4:2");
  EXPECT_EQ(f.risks, (std::set<kvRisk::Id>{kvRisk::Id{2}, kvRisk::Id{40}}));
  EXPECT_EQ(f.risk_score, 1);
  EXPECT_EQ(f.risk_score_client, 2);
  EXPECT_EQ(f.risk_score_server, 3);
  EXPECT_EQ(f.tags, (std::set<std::string>{"a", "b"}));
  EXPECT_EQ(f.gtp.version, 1);
  EXPECT_EQ(f.gtp.ip_version, 6);
  EXPECT_EQ(f.gtp.ip_dscp, 7);
  EXPECT_EQ(f.gtp.lower_map, 2);
  EXPECT_EQ(f.gtp.other_type, 5);
  EXPECT_EQ(f.gtp.lower_teid, htonl(258));  // the daemon keeps network order
  EXPECT_EQ(f.gtp.upper_teid, 0xffffffffu);
  EXPECT_EQ(Text(f.gtp.lower_addr, kvAddr::MAKE_WITH_PORT), "192.0.2.10:2152");
  EXPECT_EQ(Text(f.gtp.upper_addr, kvAddr::MAKE_WITH_PORT), "192.0.2.20:2153");
  EXPECT_EQ(f.stats.lower_bytes, 1u);
  EXPECT_EQ(f.stats.upper_bytes, 2u);
  EXPECT_EQ(f.stats.total_bytes, 3u);
  EXPECT_EQ(f.stats.lower_total_bytes, 4u);
  EXPECT_EQ(f.stats.upper_total_bytes, 5u);
  EXPECT_EQ(f.stats.lower_packets, 6u);
  EXPECT_EQ(f.stats.upper_packets, 7u);
  EXPECT_EQ(f.stats.total_packets, 8u);
  EXPECT_EQ(f.stats.lower_total_packets, 9u);
  EXPECT_EQ(f.stats.upper_total_packets, 10u);
  EXPECT_EQ(f.stats.detection_packets, 255);
  EXPECT_EQ(f.stats.lower_rate, 0.1f);
  EXPECT_EQ(f.stats.upper_rate, 2.5f);
  EXPECT_EQ(f.stats.tcp_seq_errors, 11u);
  EXPECT_EQ(f.stats.tcp_resets, 12u);
  EXPECT_EQ(f.stats.tcp_retrans, 13u);
  EXPECT_EQ(f.has_override[kvFlow::DETAIL_HTTP_URL], 0);
  EXPECT_EQ(f.has_override[kvFlow::DETAIL_STUN_ADDRESS], 1);
  EXPECT_EQ(f.has_override[kvFlow::DETAIL_TLS_CLIENT_SNI], -1);
  // The flow map holds the same flow under its id.
  EXPECT_EQ(state.FlowMap().Find("f"), flow);
}

TEST_F(FlowOp, UpdatesMergeIntoWhatTheFlowHolds) {
  Set("f", R"({"interface":"eth0","digest":1,"lower_ip":"192.0.2.1:53","tls":{"version":771},
              "stats":{"lower_packets":3},"has":{"HttpURL":true}})");
  Set("f", R"({"lower_port":5353,"tls":{"cipher_suite":49199},"stats":{"upper_packets":4},
              "has":{"HttpURL":null},"tcp_closed":7,"interface":"wan0"})");
  const kvFlow& f = *state.GetFlow("f");
  EXPECT_EQ(f.digest, 1u);
  EXPECT_EQ(Text(f.lower_addr, kvAddr::MAKE_WITH_PORT), "192.0.2.1:5353");
  EXPECT_EQ(f.tls.version, 771);
  EXPECT_EQ(f.tls.cipher_suite, 49199);
  EXPECT_EQ(f.stats.lower_packets, 3u);
  EXPECT_EQ(f.stats.upper_packets, 4u);
  EXPECT_EQ(f.has_override[kvFlow::DETAIL_HTTP_URL], -1);
  EXPECT_EQ(f.tcp_closed, 7);
  EXPECT_EQ(f.iface, state.InterfaceTable().at("wan0"));
}

TEST_F(FlowOp, EmptyTextsClearAddressesAndBytes) {
  Set("f", R"({"interface":"eth0","lower_mac":"00:11:22:33:44:55","upper_ip":"192.0.2.9",
              "stun":{"mapped":"192.0.2.1:1"},"bt_info_hash":"00"})");
  Set("f", R"({"lower_mac":"","upper_ip":"","stun":{"mapped":""},"bt_info_hash":""})");
  const kvFlow& f = *state.GetFlow("f");
  EXPECT_FALSE(f.lower_mac.HasAddress());
  EXPECT_FALSE(f.upper_addr.HasAddress());
  EXPECT_FALSE(f.stun.mapped.HasAddress());
  EXPECT_TRUE(f.bt_info_hash.empty());
}

TEST_F(FlowOp, RefusalsNameTheMember) {
  const std::pair<const char*, const char*> cases[] = {
      {R"({"digest":1})", "a new flow needs member \"interface\""},
      {R"({"interface":"eth9"})", "member \"interface\": no interface \"eth9\""},
      {R"({"interface":"eth0","colour":1})", "unknown member \"colour\""},
      {R"({"interface":"eth0","tls":{"sni":"x"}})", "unknown member \"tls.sni\""},
      {R"({"interface":"eth0","has":{"HttpUrl":true}})", "unknown member \"has.HttpUrl\""},
      {R"({"interface":"eth0","has":{"HttpURL":1}})",
       "member \"has.HttpURL\" must be a boolean or null"},
      {R"({"interface":"eth0","lower_port":65536})",
       "member \"lower_port\" is out of range (0 to 65535): 65536"},
      {R"({"interface":"eth0","vlan_id":-1})", "member \"vlan_id\" must be an unsigned integer"},
      {R"({"interface":"eth0","detected_protocol":4294967296})",
       "member \"detected_protocol\" is out of range (0 to 4294967295): 4294967296"},
      {R"({"interface":"eth0","stats":{"detection_packets":256}})",
       "member \"stats.detection_packets\" is out of range (0 to 255): 256"},
      {R"({"interface":"eth0","stats":{"lower_rate":"fast"}})",
       "member \"stats.lower_rate\" must be a number"},
      {R"({"interface":"eth0","tcp_closed":"yes"})",
       "member \"tcp_closed\" must be a boolean or an unsigned integer"},
      {R"({"interface":"eth0","tcp_closed":256})",
       "member \"tcp_closed\" is out of range (0 to 255): 256"},
      {R"({"interface":"eth0","lower_ip":"192.0.2.300"})",
       "member \"lower_ip\" must be an IP address, got \"192.0.2.300\""},
      {R"({"interface":"eth0","lower_ip":"00:11:22:33:44:55"})",
       "member \"lower_ip\" must be an IP address, got \"00:11:22:33:44:55\""},
      {R"({"interface":"eth0","upper_mac":"192.0.2.1"})",
       "member \"upper_mac\" must be a MAC address, got \"192.0.2.1\""},
      {R"({"interface":"eth0","stun":{"peer":"host:1"}})",
       "member \"stun.peer\" must be an IP address, got \"host:1\""},
      {R"({"interface":"eth0","tls":{"cert_fingerprint":"abc"}})",
       "member \"tls.cert_fingerprint\" must be hex text, two digits per byte, got \"abc\""},
      {R"({"interface":"eth0","bt_info_hash":"zz"})",
       "member \"bt_info_hash\" must be hex text, two digits per byte, got \"zz\""},
      {R"({"interface":"eth0","upper_port":80})",
       "member \"upper_port\" needs an IP address in \"upper_ip\""},
      {R"({"interface":"eth0","lower_ip":"","lower_port":80})",
       "member \"lower_port\" needs an IP address in \"lower_ip\""},
      {R"({"interface":"eth0","gtp":{"lower_port":2152}})",
       "member \"gtp.lower_port\" needs an IP address in \"gtp.lower_ip\""},
      {R"({"interface":"eth0","tags":["a",1]})", "member \"tags[1]\" must be a string"},
      {R"({"interface":"eth0","risks":[1,-2]})", "member \"risks[1]\" must be an unsigned integer"},
      {R"({"interface":"eth0","category":[]})", "member \"category\" must be an object"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ErrorOf("new", c.first), c.second) << c.first;
  }
  EXPECT_THROW(state.GetFlow("new"), ScenarioError);
}

TEST_F(FlowOp, ARefusedUpdateChangesNothing) {
  Set("f", R"({"interface":"eth0","digest":1,"vlan_id":5})");
  // The port check fails after the digest member has been read: nothing may have been applied.
  EXPECT_EQ(ErrorOf("f", R"({"digest":2,"vlan_id":6,"upper_port":1})"),
            "member \"upper_port\" needs an IP address in \"upper_ip\"");
  EXPECT_EQ(ErrorOf("f", R"({"digest":3,"interface":"nope"})"),
            "member \"interface\": no interface \"nope\"");
  const kvFlow& f = *state.GetFlow("f");
  EXPECT_EQ(f.digest, 1u);
  EXPECT_EQ(f.vlan_id, 5);
  EXPECT_EQ(f.iface, state.InterfaceTable().at("eth0"));
}

TEST_F(FlowOp, APortAppliesToTheAddressTheFlowHolds) {
  Set("f", R"({"interface":"eth0","upper_ip":"[2001:db8::7]:1"})");
  Set("f", R"({"upper_port":443})");
  EXPECT_EQ(Text(state.GetFlow("f")->upper_addr, kvAddr::MAKE_WITH_PORT), "[2001:db8::7]:443");
}

TEST_F(FlowOp, ForgetDropsTheFlowFromTheDaemonButNotFromItsHolders) {
  Set("f", R"({"interface":"eth0"})");
  const std::shared_ptr<kvFlow> held = state.GetFlow("f");
  state.ForgetFlow("f");
  EXPECT_EQ(state.FlowMap().Find("f"), nullptr);
  EXPECT_THROW(state.GetFlow("f"), ScenarioError);
  EXPECT_EQ(held.use_count(), 1);
  try {
    state.ForgetFlow("f");
    ADD_FAILURE() << "forgot an unknown flow";
  } catch (const ScenarioError& e) {
    EXPECT_STREQ(e.what(), "no flow \"f\"");
  }
}

TEST(FlowOpWithoutBuckets, FlowsExistWithoutAMapBucket) {
  DaemonState state(0);
  state.SetInterface(InterfacePatch::Read(json::parse(R"({"name":"eth0"})")));
  state.SetFlow("f", FlowPatch::Read(json::parse(R"({"interface":"eth0"})")));
  state.SetFlow("f", FlowPatch::Read(json::parse(R"({"stats_ready":true})")));
  EXPECT_TRUE(state.GetFlow("f")->stats_ready);
  EXPECT_EQ(state.FlowMap().Find("f"), nullptr);
}

}  // namespace

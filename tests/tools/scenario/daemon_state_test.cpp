// Tests of the "interface" and "flow" ops on the stand-in daemon's state: every member into its
// field, updates that merge, identity changes, and refusals that name the member and change
// nothing.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "replay_support.h"
#include "tools/scenario/daemon_state.h"
#include "tools/scenario/scenario_error.h"

namespace {

using korvel_test::Join;
using replay::FlowPatch;
using replay::InterfacePatch;

std::string Text(const kvAddr& addr, bool port = true) {
  std::string text;
  kvAddr::MakeString(addr, text, port ? kvAddr::MAKE_WITH_PORT : kvAddr::MAKE_DEFAULT);
  return text;
}

// The addresses of an address set, or the keys of an endpoint table, sorted.
std::vector<std::string> Texts(const kvInterfaceAddr& set) {
  std::vector<std::string> texts;
  std::lock_guard<std::mutex> guard(set.lock);
  for (const kvAddr& addr : set.addrs) texts.push_back(Text(addr, false));
  std::sort(texts.begin(), texts.end());
  return texts;
}
std::vector<std::string> Keys(const kvInterface::EndpointTable& table) {
  std::vector<std::string> keys;
  for (const auto& entry : table) keys.push_back(Text(entry.first, false));
  std::sort(keys.begin(), keys.end());
  return keys;
}

class DaemonStateOps : public ::testing::Test {
 protected:
  void Interface(const std::string& members) {
    state.SetInterface(InterfacePatch::Read(json::parse(members)));
  }
  void Flow(const std::string& id, const std::string& members) {
    state.SetFlow(id, FlowPatch::Read(json::parse(members)));
  }
  // The message of the ScenarioError that `call` throws ("" when none).
  template <typename Call>
  static std::string ErrorOf(Call call) {
    try {
      call();
    } catch (const replay::ScenarioError& e) {
      return e.what();
    }
    return "";
  }
  std::shared_ptr<kvInterface> Iface(const std::string& key) {
    return state.InterfaceTable().at(key);
  }

  replay::DaemonState state{4};
};

TEST_F(DaemonStateOps, InterfaceWithEveryMemberAndKeyAndNameDefaultingToEachOther) {
  Interface(R"({"op":"interface","name":"eth0","role":2,"capture_type":17,"capture_file":"a.pcap",
          "addrs":["00:11:22:33:44:55","192.0.2.1","2001:db8::1"],
          "endpoints":[{"00:aa:bb:cc:dd:ee":["192.0.2.7","2001:db8::7"],"192.0.2.8":[]},
                       {"00:aa:bb:cc:dd:ff":["192.0.2.9"]}],
          "endpoint_selector":0})");
  Interface(R"({"key":"k1"})");
  Interface(R"({"key":"k2","name":"lan"})");
  const kvInterface& iface = *Iface("eth0");
  EXPECT_EQ(
      Join(iface.name, iface.role, iface.capture_type, iface.capture_file, iface.endpoint_selector,
           Texts(iface.addrs), Keys(iface.endpoints[0]), Keys(iface.endpoints[1])),
      "eth0 2 17 a.pcap 0 [00:11:22:33:44:55,192.0.2.1,2001:db8::1] "
      "[00:aa:bb:cc:dd:ee,192.0.2.8] [00:aa:bb:cc:dd:ff]");
  kvAddr endpoint, other;
  ASSERT_TRUE(kvAddr::FromString("00:aa:bb:cc:dd:ee", endpoint));
  ASSERT_TRUE(kvAddr::FromString("192.0.2.8", other));
  EXPECT_EQ(Join(Texts(iface.endpoints[0].at(endpoint)), Texts(iface.endpoints[0].at(other))),
            "[192.0.2.7,2001:db8::7] []");
  EXPECT_EQ(state.InterfaceTable().size(), 3u);
  EXPECT_EQ(Join(Iface("k1")->name, Iface("k2")->name), "k1 lan");
}

TEST_F(DaemonStateOps, InterfaceUpdatesHappenInPlaceUnlessTheIdentityChanges) {
  Interface(R"({"key":"k","name":"eth0","role":1,"capture_type":2,"addrs":["192.0.2.1"],
          "endpoints":[{"192.0.2.5":["192.0.2.55"]},{}],"endpoint_selector":1})");
  const std::shared_ptr<kvInterface> first = Iface("k");
  // The tables are replaced; what the update does not name stays.
  Interface(R"({"key":"k","addrs":["192.0.2.2"],"endpoints":[{},{"192.0.2.6":["192.0.2.66"]}]})");
  EXPECT_EQ(Iface("k"), first);
  EXPECT_EQ(Join(first->name, first->role, first->endpoint_selector, Texts(first->addrs),
                 Keys(first->endpoints[0]), Keys(first->endpoints[1])),
            "eth0 1 1 [192.0.2.2] [] [192.0.2.6]");

  // A name or role change moves the flows to an updated copy; a flow the daemon has dropped
  // (but an event may still hold) keeps the old record, which is left as it was.
  Flow("a", R"({"interface":"k"})");
  Flow("b", R"({"interface":"k"})");
  const std::shared_ptr<kvFlow> dropped = state.GetFlow("b");
  state.ForgetFlow("b");
  Interface(R"({"key":"k","name":"lan0","role":2})");
  const std::shared_ptr<kvInterface> after = Iface("k");
  EXPECT_NE(after, first);
  EXPECT_EQ(Join(after->name, after->role, after->capture_type, after->endpoint_selector,
                 Texts(after->addrs), Keys(after->endpoints[1])),
            "lan0 2 2 1 [192.0.2.2] [192.0.2.6]");
  EXPECT_EQ(state.GetFlow("a")->iface, after);
  EXPECT_EQ(dropped->iface, first);
  EXPECT_EQ(Join(first->name, first->role), "eth0 1");
  Interface(R"({"key":"k","endpoint_selector":0})");
  EXPECT_EQ(Join(Iface("k") == after, after->endpoint_selector), "1 0");
}

TEST_F(DaemonStateOps, InterfaceRefusals) {
  const std::pair<const char*, const char*> cases[] = {
      {R"({"role":1})", "needs member \"name\" or \"key\""},
      {R"({"name":"e","mtu":1500})", "unknown member \"mtu\""},
      {R"({"name":"e","role":256})", "member \"role\" is out of range (0 to 255): 256"},
      {R"({"name":"e","addrs":"192.0.2.1"})", "member \"addrs\" must be an array of addresses"},
      {R"({"name":"e","addrs":[1]})", "member \"addrs[0]\" must be a string"},
      {R"({"name":"e","addrs":[""]})", "member \"addrs[0]\" must be a MAC or IP address, got \"\""},
      {R"({"name":"e","addrs":["eth0"]})",
       "member \"addrs[0]\" must be a MAC or IP address, got \"eth0\""},
      {R"({"name":"e","endpoints":[{}]})", "member \"endpoints\" must be an array of two objects"},
      {R"({"name":"e","endpoints":[{},[]]})", "member \"endpoints[1]\" must be an object"},
      {R"({"name":"e","endpoints":[{"nope":[]},{}]})",
       "member \"endpoints[0].nope\" must be a MAC or IP address, got \"nope\""},
      {R"({"name":"e","endpoints":[{"192.0.2.1":["x"]},{}]})",
       "member \"endpoints[0].192.0.2.1[0]\" must be a MAC or IP address, got \"x\""},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorOf([&] { Interface(c.first); }), c.second) << c.first;
  EXPECT_TRUE(state.InterfaceTable().empty());
}

TEST_F(DaemonStateOps, FlowWithEveryMember) {
  Interface(R"({"name":"eth0"})");
  Flow("f", R"({"op":"flow","id":"f","interface":"eth0","digest":11,"digest_history":[9,10,11],
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
  EXPECT_EQ(state.FlowMap().Find("f"), flow);
  EXPECT_EQ(f.iface, Iface("eth0"));
  EXPECT_EQ(Join(f.digest, f.digest_history, f.ts_first_seen, f.ts_last_seen, f.lower_map,
                 f.other_type, f.tunnel_type, f.origin, f.privacy_mask, f.ip_version, f.ip_dscp,
                 f.ip_protocol, f.vlan_id, f.tcp_closed),
            "11 [9,10,11] 100 200 2 3 1 2 15 4 46 6 4094 1");
  EXPECT_EQ(
      Join(f.ip_nat, f.dhc_hit, f.fhc_hit, f.soft_dissector, f.app_ip_override, f.app_proto_twins,
           f.detection_guessed, f.detection_updated, f.stats_ready, f.stats_hold),
      "1 1 1 1 1 1 1 1 1 1");
  EXPECT_EQ(Join(Text(f.lower_mac, false), Text(f.upper_mac, false), Text(f.lower_addr),
                 Text(f.upper_addr), Text(f.stun.mapped), Text(f.stun.peer), Text(f.stun.relayed),
                 Text(f.stun.response), Text(f.stun.other), Text(f.gtp.lower_addr),
                 Text(f.gtp.upper_addr)),
            "00:11:22:aa:bb:cc 00:11:22:aa:bb:cd 192.0.2.1:1000 [2001:db8::1]:2000 "
            "198.51.100.1:3478 [2001:db8::2]:5000 198.51.100.2:0 198.51.100.3:1 198.51.100.4:2 "
            "192.0.2.10:2152 192.0.2.20:2153");
  EXPECT_EQ(Join(f.detected_protocol, f.detected_protocol_name, f.detected_application,
                 f.detected_application_name, f.master_protocol, f.category.application,
                 f.category.protocol, f.category.domain, f.category.lower_network,
                 f.category.upper_network, f.category.overlay),
            "91 TLS 126 Google 91 1 2 3 4 5 6");
  EXPECT_EQ(
      Join(f.dns_host_name, f.host_server_name, f.user_agent, f.http_url, f.dhcp_fingerprint,
           f.dhcp_class_ident, f.ssh_client_agent, f.ssh_server_agent, f.mdns_answer,
           f.bt_info_hash, f.risks, f.risk_score, f.risk_score_client, f.risk_score_server, f.tags),
      "d h u /x 1,3 c sc ss m [171,205] [2,40] 1 2 3 [a,b]");
  EXPECT_EQ(Join(f.tls.version, f.tls.cipher_suite, f.tls.ech_version, f.tls.server_cn,
                 f.tls.issuer_dn, f.tls.subject_dn, f.tls.client_ja4, f.tls.cert_fingerprint,
                 f.tls.alpn, f.tls.alpn_server),
            "772 4865 65037 cn i s j [0,255,16] [h2,http/1.1] [h2]");
  // The daemon keeps the tunnel endpoint identifiers in network order.
  EXPECT_EQ(Join(f.gtp.version, f.gtp.ip_version, f.gtp.ip_dscp, f.gtp.lower_map, f.gtp.other_type,
                 f.gtp.lower_teid, f.gtp.upper_teid),
            Join(1, 6, 7, 2, 5, htonl(258), 0xffffffffu));
  const kvFlowStats& s = f.stats;
  EXPECT_EQ(Join(s.lower_bytes, s.upper_bytes, s.total_bytes, s.lower_total_bytes,
                 s.upper_total_bytes, s.lower_packets, s.upper_packets, s.total_packets,
                 s.lower_total_packets, s.upper_total_packets, s.detection_packets, s.lower_rate,
                 s.upper_rate, s.tcp_seq_errors, s.tcp_resets, s.tcp_retrans),
            "1 2 3 4 5 6 7 8 9 10 255 0.1 2.5 11 12 13");
  EXPECT_EQ(s.lower_rate, 0.1f);
  EXPECT_EQ(
      Join(f.has_override[kvFlow::DETAIL_HTTP_URL], f.has_override[kvFlow::DETAIL_STUN_ADDRESS],
           f.has_override[kvFlow::DETAIL_TLS_CLIENT_SNI]),
      "0 1 -1");
}

TEST_F(DaemonStateOps, FlowUpdatesMergeAndEmptyTextsClear) {
  Interface(R"({"name":"eth0"})");
  Interface(R"({"name":"wan0"})");
  Flow("f", R"({"interface":"eth0","digest":1,"lower_ip":"192.0.2.1:53","tls":{"version":771},
              "stats":{"lower_packets":3},"has":{"HttpURL":true},"upper_ip":"[2001:db8::7]:1",
              "lower_mac":"00:11:22:33:44:55","stun":{"mapped":"192.0.2.1:1"},"bt_info_hash":"00"})");
  Flow("f", R"({"lower_port":5353,"tls":{"cipher_suite":49199},"stats":{"upper_packets":4},
              "has":{"HttpURL":null},"tcp_closed":7,"interface":"wan0","upper_port":443})");
  const kvFlow& f = *state.GetFlow("f");
  EXPECT_EQ(Join(f.digest, Text(f.lower_addr), Text(f.upper_addr), f.tls.version,
                 f.tls.cipher_suite, f.stats.lower_packets, f.stats.upper_packets,
                 f.has_override[kvFlow::DETAIL_HTTP_URL], f.tcp_closed),
            "1 192.0.2.1:5353 [2001:db8::7]:443 771 49199 3 4 -1 7");
  EXPECT_EQ(f.iface, Iface("wan0"));
  Flow("f", R"({"lower_mac":"","upper_ip":"","stun":{"mapped":""},"bt_info_hash":""})");
  EXPECT_EQ(Join(f.lower_mac.HasAddress(), f.upper_addr.HasAddress(), f.stun.mapped.HasAddress(),
                 f.bt_info_hash.empty()),
            "0 0 0 1");
}

TEST_F(DaemonStateOps, FlowRefusalsChangeNothing) {
  Interface(R"({"name":"eth0"})");
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
  for (const auto& c : cases)
    EXPECT_EQ(ErrorOf([&] { Flow("new", c.first); }), c.second) << c.first;
  EXPECT_THROW(state.GetFlow("new"), replay::ScenarioError);

  // The port check fails after the digest member has been read: nothing may have been applied.
  Flow("f", R"({"interface":"eth0","digest":1,"vlan_id":5})");
  EXPECT_EQ(ErrorOf([&] { Flow("f", R"({"digest":2,"vlan_id":6,"upper_port":1})"); }),
            "member \"upper_port\" needs an IP address in \"upper_ip\"");
  EXPECT_EQ(ErrorOf([&] { Flow("f", R"({"digest":3,"interface":"nope"})"); }),
            "member \"interface\": no interface \"nope\"");
  const kvFlow& f = *state.GetFlow("f");
  EXPECT_EQ(Join(f.digest, f.vlan_id), "1 5");
  EXPECT_EQ(f.iface, Iface("eth0"));
}

TEST_F(DaemonStateOps, ForgetDropsTheFlowFromTheDaemonButNotFromItsHolders) {
  Interface(R"({"name":"eth0"})");
  Flow("f", R"({"interface":"eth0"})");
  const std::shared_ptr<kvFlow> held = state.GetFlow("f");
  state.ForgetFlow("f");
  EXPECT_EQ(state.FlowMap().Find("f"), nullptr);
  EXPECT_THROW(state.GetFlow("f"), replay::ScenarioError);
  EXPECT_EQ(held.use_count(), 1);
  EXPECT_EQ(ErrorOf([&] { state.ForgetFlow("f"); }), "no flow \"f\"");

  // Without buckets flows exist, but not in the flow map.
  replay::DaemonState bucketless(0);
  bucketless.SetInterface(InterfacePatch::Read(json::parse(R"({"name":"eth0"})")));
  bucketless.SetFlow("f", FlowPatch::Read(json::parse(R"({"interface":"eth0"})")));
  bucketless.SetFlow("f", FlowPatch::Read(json::parse(R"({"stats_ready":true})")));
  EXPECT_TRUE(bucketless.GetFlow("f")->stats_ready);
  EXPECT_EQ(bucketless.FlowMap().Find("f"), nullptr);
}

}  // namespace

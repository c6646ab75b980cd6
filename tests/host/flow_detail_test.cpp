// Tests of the sixteen kvFlow detail tests: each from its field, the special cases, overrides.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "kv/flow.h"

namespace {

struct DetailCase {
  const char* name;
  kvFlow::Detail detail;
  std::function<void(kvFlow&)> fill;  // sets the field the test looks at
  bool (kvFlow::*test)() const;
};

kvAddr Address(const std::string& text) {
  kvAddr addr;
  EXPECT_TRUE(kvAddr::FromString(text, addr)) << text;
  return addr;
}

const std::vector<DetailCase>& Cases() {
  static const std::vector<DetailCase> cases = {
      {"http user agent", kvFlow::DETAIL_HTTP_USER_AGENT,
       [](kvFlow& f) { f.user_agent = "curl/8.0"; }, &kvFlow::HasHttpUserAgent},
      {"http url", kvFlow::DETAIL_HTTP_URL, [](kvFlow& f) { f.http_url = "/index.html"; },
       &kvFlow::HasHttpURL},
      {"dhcp fingerprint", kvFlow::DETAIL_DHCP_FINGERPRINT,
       [](kvFlow& f) { f.dhcp_fingerprint = "1,3,6"; }, &kvFlow::HasDhcpFingerprint},
      {"dhcp class", kvFlow::DETAIL_DHCP_CLASS_IDENT,
       [](kvFlow& f) { f.dhcp_class_ident = "MSFT 5.0"; }, &kvFlow::HasDhcpClassIdent},
      {"ssh client", kvFlow::DETAIL_SSH_CLIENT_AGENT,
       [](kvFlow& f) { f.ssh_client_agent = "SSH-2.0-OpenSSH_9.2"; }, &kvFlow::HasSSHClientAgent},
      {"ssh server", kvFlow::DETAIL_SSH_SERVER_AGENT,
       [](kvFlow& f) { f.ssh_server_agent = "SSH-2.0-dropbear"; }, &kvFlow::HasSSHServerAgent},
      {"tls sni", kvFlow::DETAIL_TLS_CLIENT_SNI,
       [](kvFlow& f) { f.host_server_name = "www.example.com"; }, &kvFlow::HasTLSClientSNI},
      {"tls ech", kvFlow::DETAIL_TLS_ENCRYPTED_CH, [](kvFlow& f) { f.tls.ech_version = 0xfe0d; },
       &kvFlow::HasTLSEncryptedCH},
      {"tls server cn", kvFlow::DETAIL_TLS_SERVER_CN,
       [](kvFlow& f) { f.tls.server_cn = "example.com"; }, &kvFlow::HasTLSServerCN},
      {"tls issuer", kvFlow::DETAIL_TLS_ISSUER_DN, [](kvFlow& f) { f.tls.issuer_dn = "CN=CA"; },
       &kvFlow::HasTLSIssuerDN},
      {"tls subject", kvFlow::DETAIL_TLS_SUBJECT_DN,
       [](kvFlow& f) { f.tls.subject_dn = "CN=example.com"; }, &kvFlow::HasTLSSubjectDN},
      {"tls ja4", kvFlow::DETAIL_TLS_CLIENT_JA4,
       [](kvFlow& f) { f.tls.client_ja4 = "t13d1516h2_8daaf6152771_e5627efa2ab1"; },
       &kvFlow::HasTLSClientJA4},
      {"bt info hash", kvFlow::DETAIL_BT_INFO_HASH,
       [](kvFlow& f) {
         f.bt_info_hash = {0x01, 0x02};
       },
       &kvFlow::HasBTInfoHash},
      {"ssdp user agent", kvFlow::DETAIL_SSDP_USER_AGENT,
       [](kvFlow& f) {
         f.user_agent = "UPnP/1.0";
         f.detected_protocol = kvProto::PROTO_SSDP;
       },
       &kvFlow::HasSSDPUserAgent},
      {"mdns", kvFlow::DETAIL_MDNS_DOMAIN_NAME, [](kvFlow& f) { f.mdns_answer = "printer.local"; },
       &kvFlow::HasMDNSDomainName},
      {"stun", kvFlow::DETAIL_STUN_ADDRESS,
       [](kvFlow& f) { f.stun.mapped = Address("192.0.2.1:3478"); }, &kvFlow::HasSTUNAddress},
  };
  return cases;
}

// How many of the sixteen tests answer true.
int CountTrue(const kvFlow& flow) {
  int count = 0;
  for (const DetailCase& c : Cases()) count += (flow.*c.test)() ? 1 : 0;
  return count;
}

TEST(FlowDetailTest, EveryDetailCaseIsListedOnce) {
  ASSERT_EQ(Cases().size(), static_cast<size_t>(kvFlow::DETAIL_COUNT));
  for (size_t i = 0; i < Cases().size(); i++) EXPECT_EQ(Cases()[i].detail, i) << Cases()[i].name;
}

TEST(FlowDetailTest, EmptyFlowHasNoDetail) {
  const kvFlow flow;
  EXPECT_EQ(CountTrue(flow), 0);
}

TEST(FlowDetailTest, EachDetailFollowsOnlyItsOwnField) {
  for (const DetailCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    kvFlow flow;
    c.fill(flow);
    EXPECT_TRUE((flow.*c.test)());
    EXPECT_EQ(CountTrue(flow), 1);
  }
}

TEST(FlowDetailTest, UserAgentBelongsToSsdpOnlyForProtocolTwelve) {
  kvFlow flow;
  flow.user_agent = "agent";
  for (kvProto::Id protocol :
       {kvProto::PROTO_UNKNOWN, static_cast<kvProto::Id>(7), static_cast<kvProto::Id>(11),
        static_cast<kvProto::Id>(13), kvProto::PROTO_TLS}) {
    flow.detected_protocol = protocol;
    EXPECT_TRUE(flow.HasHttpUserAgent()) << protocol;
    EXPECT_FALSE(flow.HasSSDPUserAgent()) << protocol;
  }
  flow.detected_protocol = kvProto::PROTO_SSDP;
  EXPECT_FALSE(flow.HasHttpUserAgent());
  EXPECT_TRUE(flow.HasSSDPUserAgent());
  flow.user_agent.clear();
  EXPECT_FALSE(flow.HasSSDPUserAgent());
}

TEST(FlowDetailTest, EchVersionZeroMeansNone) {
  kvFlow flow;
  flow.tls.ech_version = 0;
  EXPECT_FALSE(flow.HasTLSEncryptedCH());
  flow.tls.ech_version = 1;
  EXPECT_TRUE(flow.HasTLSEncryptedCH());
}

TEST(FlowDetailTest, AnyOfTheFiveStunAddresses) {
  const std::vector<std::function<kvAddr&(kvFlow&)>> slots = {
      [](kvFlow& f) -> kvAddr& { return f.stun.mapped; },
      [](kvFlow& f) -> kvAddr& { return f.stun.peer; },
      [](kvFlow& f) -> kvAddr& { return f.stun.relayed; },
      [](kvFlow& f) -> kvAddr& { return f.stun.response; },
      [](kvFlow& f) -> kvAddr& { return f.stun.other; },
  };
  for (size_t i = 0; i < slots.size(); i++) {
    kvFlow flow;
    slots[i](flow) = Address("[2001:db8::1]:3478");
    EXPECT_TRUE(flow.HasSTUNAddress()) << i;
    slots[i](flow).Clear();
    EXPECT_FALSE(flow.HasSTUNAddress()) << i;
  }
}

TEST(FlowDetailTest, OverridesStartUnset) {
  const kvFlow flow;
  for (int8_t value : flow.has_override) EXPECT_EQ(value, -1);
}

TEST(FlowDetailTest, OverrideForcesEachAnswer) {
  for (const DetailCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    kvFlow flow;
    flow.has_override[c.detail] = 1;
    EXPECT_TRUE((flow.*c.test)());
    EXPECT_EQ(CountTrue(flow), 1);

    c.fill(flow);
    flow.has_override[c.detail] = 0;
    EXPECT_FALSE((flow.*c.test)());

    flow.has_override[c.detail] = -1;
    EXPECT_TRUE((flow.*c.test)());
  }
}

}  // namespace

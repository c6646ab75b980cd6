// Tests of the sixteen kvFlow detail tests: each from its own field, the special cases, overrides.
#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "kv/flow.h"

namespace {

kvAddr Address(const std::string& text) {
  kvAddr addr;
  EXPECT_TRUE(kvAddr::FromString(text, addr)) << text;
  return addr;
}

// In the order of kvFlow::Detail: the field each test looks at, and the test.
const struct DetailCase {
  std::function<void(kvFlow&)> fill;
  bool (kvFlow::*test)() const;
} kCases[] = {
    {[](kvFlow& f) { f.user_agent = "curl/8.0"; }, &kvFlow::HasHttpUserAgent},
    {[](kvFlow& f) { f.http_url = "/index.html"; }, &kvFlow::HasHttpURL},
    {[](kvFlow& f) { f.dhcp_fingerprint = "1,3,6"; }, &kvFlow::HasDhcpFingerprint},
    {[](kvFlow& f) { f.dhcp_class_ident = "MSFT 5.0"; }, &kvFlow::HasDhcpClassIdent},
    {[](kvFlow& f) { f.ssh_client_agent = "SSH-2.0-a"; }, &kvFlow::HasSSHClientAgent},
    {[](kvFlow& f) { f.ssh_server_agent = "SSH-2.0-b"; }, &kvFlow::HasSSHServerAgent},
    {[](kvFlow& f) { f.host_server_name = "www.example.com"; }, &kvFlow::HasTLSClientSNI},
    {[](kvFlow& f) { f.tls.ech_version = 1; }, &kvFlow::HasTLSEncryptedCH},
    {[](kvFlow& f) { f.tls.server_cn = "example.com"; }, &kvFlow::HasTLSServerCN},
    {[](kvFlow& f) { f.tls.issuer_dn = "CN=CA"; }, &kvFlow::HasTLSIssuerDN},
    {[](kvFlow& f) { f.tls.subject_dn = "CN=example.com"; }, &kvFlow::HasTLSSubjectDN},
    {[](kvFlow& f) { f.tls.client_ja4 = "t13d1516h2"; }, &kvFlow::HasTLSClientJA4},
    {[](kvFlow& f) {
       f.bt_info_hash = {0x01, 0x02};
     },
     &kvFlow::HasBTInfoHash},
    {[](kvFlow& f) { f.user_agent = "UPnP/1.0", f.detected_protocol = kvProto::PROTO_SSDP; },
     &kvFlow::HasSSDPUserAgent},
    {[](kvFlow& f) { f.mdns_answer = "printer.local"; }, &kvFlow::HasMDNSDomainName},
    {[](kvFlow& f) { f.stun.mapped = Address("192.0.2.1:3478"); }, &kvFlow::HasSTUNAddress},
};

// How many of the sixteen tests answer true.
int CountTrue(const kvFlow& flow) {
  int count = 0;
  for (const DetailCase& c : kCases) count += (flow.*c.test)() ? 1 : 0;
  return count;
}

TEST(FlowDetailTest, EachTestFollowsOnlyItsOwnFieldOrItsOverride) {
  ASSERT_EQ(std::size(kCases), static_cast<size_t>(kvFlow::DETAIL_COUNT));
  const kvFlow empty;
  EXPECT_EQ(CountTrue(empty), 0);
  for (int8_t value : empty.has_override) EXPECT_EQ(value, -1);
  for (size_t detail = 0; detail < std::size(kCases); detail++) {
    SCOPED_TRACE(detail);
    const DetailCase& c = kCases[detail];
    kvFlow filled;
    c.fill(filled);
    EXPECT_TRUE((filled.*c.test)());
    EXPECT_EQ(CountTrue(filled), 1);

    kvFlow forced;
    forced.has_override[detail] = 1;
    EXPECT_TRUE((forced.*c.test)());
    EXPECT_EQ(CountTrue(forced), 1);
    c.fill(forced);
    forced.has_override[detail] = 0;
    EXPECT_FALSE((forced.*c.test)());
    forced.has_override[detail] = -1;
    EXPECT_TRUE((forced.*c.test)());
  }
}

TEST(FlowDetailTest, UserAgentBelongsToSsdpOnlyForProtocolTwelve) {
  kvFlow flow;
  flow.user_agent = "agent";
  for (uint32_t protocol : {0, 7, 11, 13, 91}) {
    flow.detected_protocol = static_cast<kvProto::Id>(protocol);
    EXPECT_TRUE(flow.HasHttpUserAgent()) << protocol;
    EXPECT_FALSE(flow.HasSSDPUserAgent()) << protocol;
  }
  flow.detected_protocol = kvProto::PROTO_SSDP;
  EXPECT_FALSE(flow.HasHttpUserAgent());
  EXPECT_TRUE(flow.HasSSDPUserAgent());
  flow.user_agent.clear();
  EXPECT_FALSE(flow.HasSSDPUserAgent());
  flow.tls.ech_version = 0;  // version 0 is none
  EXPECT_FALSE(flow.HasTLSEncryptedCH());
}

TEST(FlowDetailTest, AnyOfTheFiveStunAddresses) {
  for (kvAddr kvFlow::Stun::*slot :
       {&kvFlow::Stun::mapped, &kvFlow::Stun::peer, &kvFlow::Stun::relayed, &kvFlow::Stun::response,
        &kvFlow::Stun::other}) {
    kvFlow flow;
    flow.stun.*slot = Address("[2001:db8::1]:3478");
    EXPECT_TRUE(flow.HasSTUNAddress());
    (flow.stun.*slot).Clear();
    EXPECT_FALSE(flow.HasSTUNAddress());
  }
}

}  // namespace

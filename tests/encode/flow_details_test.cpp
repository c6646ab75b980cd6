// Tests of the DPI details, risks and tags inside kvFlow::Encode's metadata section.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "flow_samples.h"

namespace korvel_test {
namespace {

constexpr const char* kDetailKeys[] = {
    "dns_host_name", "host_server_name", "http", "dhcp", "ssh", "ssl", "bt", "ssdp", "mdns",
    "stun"};

// The detail members of the plain sample flow after `fill`, encoded with flags 1.
json EncodeDetails(const std::function<void(kvFlow&)>& fill) {
  kvFlow flow;
  FillPlainFlow(flow);
  fill(flow);
  json doc;
  flow.Encode(doc, SampleStats(), Flags(1));
  json picked = json::object();
  for (const char* key : kDetailKeys) {
    if (doc.contains(key)) picked[key] = doc[key];
  }
  return picked;
}

void MakeTls(kvFlow& flow) {
  flow.master_protocol = kvProto::PROTO_TLS;
}

struct DetailCase {
  const char* name;
  kvFlow::Detail detail;
  std::function<void(kvFlow&)> fill_data;   // sets the data the test looks at
  std::function<void(kvFlow&)> fill_other;  // what the flow needs beside it (TLS, SSDP)
  const char* with_data;                    // test true, data present
  const char* without;                      // test false (data present), or nothing to write
  const char* forced_empty;                 // test forced true, data absent
};

const char* const kTlsBare = R"({"ssl": {"version": "0x0000", "cipher_suite": "0x0000"}})";
const std::function<void(kvFlow&)> kNothing = [](kvFlow&) {};

std::vector<DetailCase> DetailCases() {
  return {
      {"http user agent", kvFlow::DETAIL_HTTP_USER_AGENT,
       [](kvFlow& f) { f.user_agent = "curl/8.0"; }, kNothing,
       R"({"http": {"user_agent": "curl/8.0"}})", "{}", "{}"},
      {"http url", kvFlow::DETAIL_HTTP_URL, [](kvFlow& f) { f.http_url = "/index.html"; }, kNothing,
       R"({"http": {"url": "/index.html"}})", "{}", "{}"},
      {"dhcp fingerprint", kvFlow::DETAIL_DHCP_FINGERPRINT,
       [](kvFlow& f) { f.dhcp_fingerprint = "1,3,6,15"; }, kNothing,
       R"({"dhcp": {"fingerprint": "1,3,6,15"}})", "{}", "{}"},
      {"dhcp class", kvFlow::DETAIL_DHCP_CLASS_IDENT,
       [](kvFlow& f) { f.dhcp_class_ident = "MSFT 5.0"; }, kNothing,
       R"({"dhcp": {"class_ident": "MSFT 5.0"}})", "{}", "{}"},
      {"ssh client", kvFlow::DETAIL_SSH_CLIENT_AGENT,
       [](kvFlow& f) { f.ssh_client_agent = "SSH-2.0-OpenSSH_9.6"; }, kNothing,
       R"({"ssh": {"client": "SSH-2.0-OpenSSH_9.6"}})", "{}", "{}"},
      {"ssh server", kvFlow::DETAIL_SSH_SERVER_AGENT,
       [](kvFlow& f) { f.ssh_server_agent = "SSH-2.0-dropbear"; }, kNothing,
       R"({"ssh": {"server": "SSH-2.0-dropbear"}})", "{}", "{}"},
      {"tls sni", kvFlow::DETAIL_TLS_CLIENT_SNI,
       [](kvFlow& f) { f.host_server_name = "a.example"; }, MakeTls,
       R"({"host_server_name": "a.example",
           "ssl": {"version": "0x0000", "cipher_suite": "0x0000", "client_sni": "a.example"}})",
       R"({"host_server_name": "a.example",
           "ssl": {"version": "0x0000", "cipher_suite": "0x0000"}})",
       kTlsBare},
      {"tls ech", kvFlow::DETAIL_TLS_ENCRYPTED_CH, [](kvFlow& f) { f.tls.ech_version = 0xfe0d; },
       MakeTls,
       R"({"ssl": {"version": "0x0000", "cipher_suite": "0x0000",
                   "encrypted_ch_version": "0xfe0d"}})",
       kTlsBare,
       R"({"ssl": {"version": "0x0000", "cipher_suite": "0x0000",
                   "encrypted_ch_version": "0x0000"}})"},
      {"tls server cn", kvFlow::DETAIL_TLS_SERVER_CN,
       [](kvFlow& f) { f.tls.server_cn = "a.example"; }, MakeTls,
       R"({"ssl": {"version": "0x0000", "cipher_suite": "0x0000", "server_cn": "a.example"}})",
       kTlsBare, kTlsBare},
      {"tls issuer", kvFlow::DETAIL_TLS_ISSUER_DN, [](kvFlow& f) { f.tls.issuer_dn = "CN=CA"; },
       MakeTls, R"({"ssl": {"version": "0x0000", "cipher_suite": "0x0000", "issuer_dn": "CN=CA"}})",
       kTlsBare, kTlsBare},
      {"tls subject", kvFlow::DETAIL_TLS_SUBJECT_DN, [](kvFlow& f) { f.tls.subject_dn = "CN=a"; },
       MakeTls, R"({"ssl": {"version": "0x0000", "cipher_suite": "0x0000", "subject_dn": "CN=a"}})",
       kTlsBare, kTlsBare},
      {"tls ja4", kvFlow::DETAIL_TLS_CLIENT_JA4, [](kvFlow& f) { f.tls.client_ja4 = "t13d0000"; },
       MakeTls,
       R"({"ssl": {"version": "0x0000", "cipher_suite": "0x0000", "client_ja4": "t13d0000"}})",
       kTlsBare, kTlsBare},
      {"bt info hash", kvFlow::DETAIL_BT_INFO_HASH,
       [](kvFlow& f) {
         f.bt_info_hash = {0xab, 0xcd, 0x01};
       },
       kNothing, R"({"bt": {"info_hash": "abcd01"}})", "{}", "{}"},
      {"ssdp user agent", kvFlow::DETAIL_SSDP_USER_AGENT,
       [](kvFlow& f) { f.user_agent = "UPnP/1.0"; },
       [](kvFlow& f) { f.detected_protocol = kvProto::PROTO_SSDP; },
       R"({"ssdp": {"user_agent": "UPnP/1.0"}})", "{}", "{}"},
      {"mdns answer", kvFlow::DETAIL_MDNS_DOMAIN_NAME,
       [](kvFlow& f) { f.mdns_answer = "printer.local"; }, kNothing,
       R"({"mdns": {"answer": "printer.local"}})", "{}", "{}"},
      {"stun address", kvFlow::DETAIL_STUN_ADDRESS,
       [](kvFlow& f) { f.stun.mapped = AddrOf("192.0.2.1:3478"); }, kNothing,
       R"({"stun": {"mapped": "192.0.2.1:3478"}})", "{}", "{}"},
  };
}

using FlowDetailTests = FlowEncodeTest;

TEST_F(FlowDetailTests, EachTestAnsweredByTheFlowDecidesItsMember) {
  for (const DetailCase& c : DetailCases()) {
    EXPECT_EQ(EncodeDetails([&c](kvFlow& f) {
                c.fill_other(f);
                c.fill_data(f);
              }),
              json::parse(c.with_data))
        << c.name << ": data present";
  }
}

TEST_F(FlowDetailTests, TestAnsweringFalseHidesTheData) {
  for (const DetailCase& c : DetailCases()) {
    EXPECT_EQ(EncodeDetails([&c](kvFlow& f) {
                c.fill_other(f);
                c.fill_data(f);
                f.has_override[c.detail] = 0;
              }),
              json::parse(c.without))
        << c.name << ": test false";
  }
}

TEST_F(FlowDetailTests, TestAnsweringTrueWithoutDataWritesNoEmptyValue) {
  for (const DetailCase& c : DetailCases()) {
    EXPECT_EQ(EncodeDetails([&c](kvFlow& f) {
                c.fill_other(f);
                f.has_override[c.detail] = 1;
              }),
              json::parse(c.forced_empty))
        << c.name << ": test forced true without data";
  }
}

using FlowDetailObjects = FlowEncodeTest;

TEST_F(FlowDetailObjects, NoDetailsWriteNoKeys) {
  EXPECT_EQ(EncodeDetails(kNothing), json::object());
}

TEST_F(FlowDetailObjects, HostNamesWhenPresent) {
  EXPECT_EQ(EncodeDetails([](kvFlow& f) {
              f.dns_host_name = "dns.example";
              f.host_server_name = "host.example";
            }),
            json::parse(R"({"dns_host_name": "dns.example",
                            "host_server_name": "host.example"})"));
}

TEST_F(FlowDetailObjects, HttpWithUrlOnlyAndWithBoth) {
  EXPECT_EQ(EncodeDetails([](kvFlow& f) { f.http_url = "/a?b=c"; }),
            json::parse(R"({"http": {"url": "/a?b=c"}})"));
  EXPECT_EQ(EncodeDetails([](kvFlow& f) {
              f.http_url = "/a";
              f.user_agent = "Mozilla/5.0";
            }),
            json::parse(R"({"http": {"url": "/a", "user_agent": "Mozilla/5.0"}})"));
}

TEST_F(FlowDetailObjects, DhcpAndSshWithBothMembers) {
  EXPECT_EQ(EncodeDetails([](kvFlow& f) {
              f.dhcp_fingerprint = "1,3";
              f.dhcp_class_ident = "android-dhcp-14";
              f.ssh_client_agent = "SSH-2.0-a";
              f.ssh_server_agent = "SSH-2.0-b";
            }),
            json::parse(R"({"dhcp": {"fingerprint": "1,3", "class_ident": "android-dhcp-14"},
                            "ssh": {"client": "SSH-2.0-a", "server": "SSH-2.0-b"}})"));
}

TEST_F(FlowDetailObjects, SsdpAndHttpCarryTheSameUserAgent) {
  EXPECT_EQ(EncodeDetails([](kvFlow& f) {
              f.detected_protocol = kvProto::PROTO_SSDP;
              f.user_agent = "Linux UPnP/1.0";
              f.has_override[kvFlow::DETAIL_HTTP_USER_AGENT] = 1;
            }),
            json::parse(R"({"http": {"user_agent": "Linux UPnP/1.0"},
                            "ssdp": {"user_agent": "Linux UPnP/1.0"}})"));
}

TEST_F(FlowDetailObjects, StunAddressesCarryTheirPorts) {
  EXPECT_EQ(EncodeDetails([](kvFlow& f) {
              f.stun.mapped = AddrOf("[2001:db8::1]:3478");
              f.stun.peer = AddrOf("192.0.2.2:40000");
              f.stun.relayed = AddrOf("192.0.2.3:50000");
              f.stun.response = AddrOf("[2001:db8::4]:3479");
              f.stun.other = AddrOf("192.0.2.5:3480");
            }),
            json::parse(R"({"stun": {"mapped": "[2001:db8::1]:3478", "peer": "192.0.2.2:40000",
                                     "relayed": "192.0.2.3:50000",
                                     "response": "[2001:db8::4]:3479",
                                     "other": "192.0.2.5:3480"}})"));
}

TEST_F(FlowDetailObjects, StunAfterThePlainTextOfTheSameAddress) {
  kvFlow flow;
  FillPlainFlow(flow);
  flow.stun.mapped = AddrOf("192.0.2.1:3478");
  EXPECT_EQ(flow.stun.mapped.GetString(kvAddr::MAKE_DEFAULT), "192.0.2.1");
  json doc;
  flow.Encode(doc, SampleStats(), Flags(1));
  EXPECT_EQ(doc.at("stun"), json::parse(R"({"mapped": "192.0.2.1:3478"})"));
}

using FlowDetailTls = FlowEncodeTest;

TEST_F(FlowDetailTls, MasterProtocolTlsWithoutDataStillWritesVersionAndCipher) {
  EXPECT_EQ(EncodeDetails(MakeTls), json::parse(kTlsBare));
}

TEST_F(FlowDetailTls, QuicDetectedProtocolWithOtherMaster) {
  EXPECT_EQ(EncodeDetails([](kvFlow& f) {
              f.master_protocol = static_cast<kvProto::Id>(7);
              f.detected_protocol = kvProto::PROTO_QUIC;
              f.tls.version = 0x0304;
              f.tls.cipher_suite = 0x1302;
            }),
            json::parse(R"({"ssl": {"version": "0x0304", "cipher_suite": "0x1302"}})"));
}

TEST_F(FlowDetailTls, VersionIsASixCharacterString) {
  const json details = EncodeDetails([](kvFlow& f) {
    MakeTls(f);
    f.tls.version = 0x0304;
    f.tls.cipher_suite = 0xc02f;
  });
  EXPECT_EQ(details.dump(), R"({"ssl":{"cipher_suite":"0xc02f","version":"0x0304"}})");
}

TEST_F(FlowDetailTls, NotTlsWritesNoSslWhateverTheData) {
  EXPECT_EQ(EncodeDetails([](kvFlow& f) {
              f.master_protocol = static_cast<kvProto::Id>(7);
              f.detected_protocol = static_cast<kvProto::Id>(7);
              f.tls.version = 0x0303;
              f.tls.server_cn = "a.example";
              f.tls.alpn = {"h2"};
            }),
            json::object());
}

TEST_F(FlowDetailTls, SniTestFalseKeepsTheHostServerName) {
  EXPECT_EQ(EncodeDetails([](kvFlow& f) {
              MakeTls(f);
              f.host_server_name = "www.example.com";
              f.has_override[kvFlow::DETAIL_TLS_CLIENT_SNI] = 0;
            }),
            json::parse(R"({"host_server_name": "www.example.com",
                            "ssl": {"version": "0x0000", "cipher_suite": "0x0000"}})"));
}

TEST_F(FlowDetailTls, FingerprintAndAlpnListsOnlyWhenNotEmpty) {
  EXPECT_EQ(EncodeDetails([](kvFlow& f) {
              MakeTls(f);
              f.tls.cert_fingerprint = {0x0f, 0xf0};
              f.tls.alpn_server = {"http/1.1", "h2"};
            }),
            json::parse(R"({"ssl": {"version": "0x0000", "cipher_suite": "0x0000",
                                    "fingerprint": "0ff0",
                                    "alpn_server": ["http/1.1", "h2"]}})"));
}

using FlowRisksAndTags = FlowEncodeTest;

json EncodeRisksAndTags(const std::function<void(kvFlow&)>& fill) {
  kvFlow flow;
  FillPlainFlow(flow);
  fill(flow);
  json doc;
  flow.Encode(doc, SampleStats(), Flags(1));
  return Pick(doc, {"risks", "tags"});
}

TEST_F(FlowRisksAndTags, NoRisksGiveOnlyTheThreeScores) {
  EXPECT_EQ(EncodeRisksAndTags(kNothing), json::parse(R"({"risks": {
    "ndpi_risk_score": 0, "ndpi_risk_score_client": 0, "ndpi_risk_score_server": 0}})"));
}

TEST_F(FlowRisksAndTags, RisksAscendingAndTagsInByteOrder) {
  EXPECT_EQ(EncodeRisksAndTags([](kvFlow& f) {
              f.risks = {static_cast<kvRisk::Id>(40), static_cast<kvRisk::Id>(2),
                         static_cast<kvRisk::Id>(7)};
              f.risk_score = 300;
              f.risk_score_client = 250;
              f.risk_score_server = 50;
              f.tags = {"b", "a", "B"};
            }),
            json::parse(R"({"risks": {"risks": [2, 7, 40], "ndpi_risk_score": 300,
                                      "ndpi_risk_score_client": 250,
                                      "ndpi_risk_score_server": 50},
                            "tags": ["B", "a", "b"]})"));
}

TEST_F(FlowRisksAndTags, NotWrittenWithoutMetadata) {
  kvFlow flow;
  FillTlsFlow(flow);
  json doc;
  flow.Encode(doc, SampleStats(), Flags(6));
  EXPECT_EQ(Pick(doc, {"risks", "tags", "ssl", "host_server_name"}), json::object());
}

}  // namespace
}  // namespace korvel_test

// Tests of kvFlow::Encode: sections by flag, identity block, metadata, endpoint keys, masking,
// other-type texts, the cache options and failures.
#include <gtest/gtest.h>

#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "flow_samples.h"
#include "kv/exception.h"

namespace korvel_test {
namespace {

// The plain sample flow with flags 1 and no cache options.
constexpr const char kPlainMetadata[] = R"({
  "digest": "fedcba9876543210", "digest_prev": ["fedcba9876543210"], "last_seen_at": 200,
  "ip_nat": false, "soft_dissector": false, "app_ip_override": false, "app_proto_twins": false,
  "ip_version": 4, "ip_dscp": 0, "ip_protocol": 17, "vlan_id": 0, "other_type": "unknown",
  "local_origin": true,
  "local_mac": "00:00:00:00:00:01", "other_mac": "00:00:00:00:00:02",
  "local_ip": "10.0.0.1", "other_ip": "10.0.0.2", "local_port": 5001, "other_port": 53,
  "detected_protocol": 0, "detected_protocol_name": "Unknown",
  "detected_application": 0, "detected_application_name": "Unknown",
  "detection_guessed": false, "detection_updated": false,
  "category": {"application": 0, "protocol": 0, "domain": 0, "local_network": 3,
               "other_network": 4, "overlay": 0},
  "first_seen_at": 100,
  "risks": {"ndpi_risk_score": 0, "ndpi_risk_score_client": 0, "ndpi_risk_score_server": 0}
})";

using FlowEncodeSections = FlowEncodeTest;

TEST_F(FlowEncodeSections, FullTlsFlowWithEveryFlag) {
  kvGlobalConfig::GetInstance().SetOption(kvGlobalConfig::OPTION_DHC, true);
  kvGlobalConfig::GetInstance().SetOption(kvGlobalConfig::OPTION_FHC, true);
  kvFlow flow;
  FillTlsFlow(flow);
  json doc;
  flow.Encode(doc, SampleStats(), Flags(7));

  // The whole document, members in key order.
  EXPECT_EQ(doc.dump(),
            R"({"app_ip_override":false,"app_proto_twins":true,"category":{"application":5,)"
            R"("domain":7,"local_network":1,"other_network":2,"overlay":0,"protocol":6},)"
            R"("detected_application":1000,"detected_application_name":"Example",)"
            R"("detected_protocol":91,"detected_protocol_name":"TLS","detection_guessed":false,)"
            R"("detection_packets":6,"detection_updated":true,"dhc_hit":true,)"
            R"("digest":"0123456789abcdef","digest_prev":["0123456789abcdef"],"fhc_hit":false,)"
            R"("first_seen_at":1700000000123,"host_server_name":"www.example.com","ip_dscp":10,)"
            R"("ip_nat":true,"ip_protocol":6,"ip_version":4,"last_seen_at":1700000009876,)"
            R"("local_bytes":1000,"local_ip":"192.0.2.10","local_mac":"00:11:22:33:44:55",)"
            R"("local_origin":true,"local_packets":10,"local_port":51000,"local_rate":0.5,)"
            R"("other_bytes":5000,"other_ip":"198.51.100.20","other_mac":"66:77:88:99:aa:bb",)"
            R"("other_packets":12,"other_port":443,"other_rate":0.25,"other_type":"remote",)"
            R"("risks":{"ndpi_risk_score":60,"ndpi_risk_score_client":50,)"
            R"("ndpi_risk_score_server":10,"risks":[3,15]},"soft_dissector":false,)"
            R"("ssl":{"alpn":["h2","http/1.1"],"alpn_server":["h2"],"cipher_suite":"0x1301",)"
            R"("client_ja4":"t13d1516h2_8daaf6152771_e5627efa2ab1","client_sni":"www.example.com",)"
            R"("fingerprint":"000102030405060708090a0b0c0d0e0f10111213",)"
            R"("issuer_dn":"CN=Example CA","server_cn":"www.example.com",)"
            R"("subject_dn":"CN=www.example.com","version":"0x0304"},"tags":["a","b"],)"
            R"("tcp":{"resets":2,"retrans":3,"seq_errors":1},"total_bytes":6000,)"
            R"("total_local_bytes":1200,"total_local_packets":11,"total_other_bytes":5400,)"
            R"("total_other_packets":13,"total_packets":22,"vlan_id":100})");
}

TEST_F(FlowEncodeSections, NoFlagsWriteOnlyTheIdentityBlock) {
  kvFlow flow;
  FillTlsFlow(flow);
  json doc;
  flow.Encode(doc, SampleStats(), Flags(0));
  EXPECT_EQ(doc, json::parse(R"({"digest": "0123456789abcdef",
                                 "digest_prev": ["0123456789abcdef"],
                                 "last_seen_at": 1700000009876})"));
}

TEST_F(FlowEncodeSections, UnknownFlagBitsAreIgnored) {
  kvFlow flow;
  FillTlsFlow(flow);
  json doc;
  flow.Encode(doc, SampleStats(), Flags(0xf8));
  EXPECT_EQ(doc, json::parse(R"({"digest": "0123456789abcdef",
                                 "digest_prev": ["0123456789abcdef"],
                                 "last_seen_at": 1700000009876})"));
}

TEST_F(FlowEncodeSections, MetadataOnly) {
  kvFlow flow;
  FillPlainFlow(flow);
  json doc;
  flow.Encode(doc, SampleStats(), Flags(1));
  EXPECT_EQ(doc, json::parse(kPlainMetadata));
}

TEST_F(FlowEncodeSections, MetadataAndTunnelsWriteNoCounters) {
  kvFlow flow;
  FillPlainFlow(flow);
  flow.ip_protocol = 6;
  json doc;
  flow.Encode(doc, SampleStats(), Flags(3));
  json expected = json::parse(kPlainMetadata);
  expected["ip_protocol"] = 6;
  EXPECT_EQ(doc, expected);
}

TEST_F(FlowEncodeSections, CountersOnly) {
  kvFlow flow;
  FillPlainFlow(flow);
  json doc;
  flow.Encode(doc, SampleStats(), Flags(4));
  EXPECT_EQ(doc, json::parse(R"({
    "digest": "fedcba9876543210", "digest_prev": ["fedcba9876543210"], "last_seen_at": 200,
    "local_bytes": 1000, "other_bytes": 5000, "total_local_bytes": 1200,
    "total_other_bytes": 5400, "local_packets": 10, "total_local_packets": 11,
    "other_packets": 12, "total_other_packets": 13, "total_packets": 22, "total_bytes": 6000,
    "detection_packets": 6, "local_rate": 0.5, "other_rate": 0.25
  })"));
}

TEST_F(FlowEncodeSections, ExistingMembersStayAndSameNamesAreReplaced) {
  kvFlow flow;
  FillPlainFlow(flow);
  json doc = json::parse(R"({"type": "flow", "digest": "old", "last_seen_at": "old"})");
  flow.Encode(doc, SampleStats(), Flags(0));
  EXPECT_EQ(doc, json::parse(R"({"type": "flow", "digest": "fedcba9876543210",
                                 "digest_prev": ["fedcba9876543210"], "last_seen_at": 200})"));
}

using FlowEncodeIdentity = FlowEncodeTest;

TEST_F(FlowEncodeIdentity, HistoryOfThreeDigests) {
  kvFlow flow;
  FillPlainFlow(flow);
  flow.digest_history = {0x1ull, 0xabcdefull, 0xffffffffffffffffull};
  json doc;
  flow.Encode(doc, SampleStats(), Flags(0));
  EXPECT_EQ(doc, json::parse(R"({
    "digest": "ffffffffffffffff",
    "digest_prev": ["0000000000000001", "0000000000abcdef", "ffffffffffffffff"],
    "last_seen_at": 200})"));
}

using FlowEncodeEndpoints = FlowEncodeTest;

TEST_F(FlowEncodeEndpoints, LowerMapTwoPutsTheLowerEndpointUnderOtherKeys) {
  kvFlow flow;
  FillPlainFlow(flow);
  flow.lower_map = kvFlow::LOWER_MAP_OTHER;
  json doc;
  flow.Encode(doc, SampleStats(), Flags(1));
  json expected = json::parse(kPlainMetadata);
  expected.update(json::parse(R"({
    "local_origin": false,
    "other_mac": "00:00:00:00:00:01", "local_mac": "00:00:00:00:00:02",
    "other_ip": "10.0.0.1", "local_ip": "10.0.0.2", "other_port": 5001, "local_port": 53,
    "category": {"application": 0, "protocol": 0, "domain": 0, "other_network": 3,
                 "local_network": 4, "overlay": 0}
  })"));
  EXPECT_EQ(doc, expected);
}

TEST_F(FlowEncodeEndpoints, LowerMapZeroAndUnknownValuesCountAsLocal) {
  for (uint8_t lower_map : {0, 1, 3, 255}) {
    kvFlow flow;
    FillPlainFlow(flow);
    flow.lower_map = lower_map;
    json doc;
    flow.Encode(doc, SampleStats(), Flags(1));
    EXPECT_EQ(doc, json::parse(kPlainMetadata)) << "lower-map " << int(lower_map);
  }
}

TEST_F(FlowEncodeEndpoints, LocalOriginByOriginAndLowerMap) {
  struct Case {
    uint8_t origin;
    uint8_t lower_map;
    bool local_origin;
  };
  const Case cases[] = {
      {2, 1, false}, {2, 2, true},  {2, 0, false}, {0, 1, true},
      {1, 1, true},  {1, 2, false}, {0, 2, false}, {7, 1, true},
  };
  for (const Case& c : cases) {
    kvFlow flow;
    FillPlainFlow(flow);
    flow.origin = c.origin;
    flow.lower_map = c.lower_map;
    json doc;
    flow.Encode(doc, SampleStats(), Flags(1));
    EXPECT_EQ(doc.at("local_origin"), json(c.local_origin))
        << "origin " << int(c.origin) << " lower-map " << int(c.lower_map);
  }
}

TEST_F(FlowEncodeEndpoints, MissingMacIsAllZeros) {
  kvFlow flow;
  FillPlainFlow(flow);
  flow.lower_mac.Clear();
  json doc;
  flow.Encode(doc, SampleStats(), Flags(1));
  EXPECT_EQ(Pick(doc, {"local_mac", "other_mac"}),
            json::parse(R"({"local_mac": "00:00:00:00:00:00", "other_mac": "00:00:00:00:00:02"})"));
}

TEST_F(FlowEncodeEndpoints, MissingIpAddressWritesNoKeyButThePort) {
  kvFlow flow;
  FillPlainFlow(flow);
  flow.upper_addr.Clear();
  json doc;
  flow.Encode(doc, SampleStats(), Flags(1));
  EXPECT_EQ(Pick(doc, {"local_ip", "other_ip", "local_port", "other_port"}),
            json::parse(R"({"local_ip": "10.0.0.1", "local_port": 5001, "other_port": 0})"));
}

using FlowEncodeMasking = FlowEncodeTest;

// The texts expected under "local_mac", "other_mac", "local_ip" and "other_ip" for one mask.
struct MaskCase {
  uint8_t mask;
  const char* local_mac;
  const char* other_mac;
  const char* local_ip;
  const char* other_ip;
};

void ExpectMasks(const char* lower, const char* upper, uint8_t ip_version,
                 const std::vector<MaskCase>& cases) {
  for (const MaskCase& c : cases) {
    kvFlow flow;
    FillPlainFlow(flow);
    flow.lower_addr = AddrOf(lower);
    flow.upper_addr = AddrOf(upper);
    flow.ip_version = ip_version;
    flow.privacy_mask = c.mask;
    json doc;
    flow.Encode(doc, SampleStats(), Flags(1));
    const json expected = {{"local_mac", c.local_mac}, {"other_mac", c.other_mac},
                           {"local_ip", c.local_ip},   {"other_ip", c.other_ip},
                           {"local_port", 51000},      {"other_port", 443}};
    EXPECT_EQ(
        Pick(doc, {"local_mac", "other_mac", "local_ip", "other_ip", "local_port", "other_port"}),
        expected)
        << "mask " << int(c.mask);
  }
}

constexpr const char kMac1[] = "00:00:00:00:00:01";
constexpr const char kMac2[] = "00:00:00:00:00:02";
constexpr const char kMaskMac1[] = "00:52:14:00:00:00";
constexpr const char kMaskMac2[] = "00:52:ff:00:00:00";

TEST_F(FlowEncodeMasking, EveryBitOnIPv4) {
  const char* ip1 = "192.0.2.10";
  const char* ip2 = "198.51.100.20";
  ExpectMasks("192.0.2.10:51000", "198.51.100.20:443", 4,
              {{0x00, kMac1, kMac2, ip1, ip2},
               {0x01, kMaskMac1, kMac2, ip1, ip2},
               {0x02, kMac1, kMaskMac2, ip1, ip2},
               {0x04, kMac1, kMac2, ip1, "127.255.0.254"},
               {0x08, kMac1, kMac2, "127.255.0.253", ip2},
               {0x0f, kMaskMac1, kMaskMac2, "127.255.0.253", "127.255.0.254"}});
}

TEST_F(FlowEncodeMasking, EveryBitOnIPv6) {
  const char* ip1 = "2001:db8::10";
  const char* ip2 = "2001:db8::20";
  ExpectMasks("[2001:db8::10]:51000", "[2001:db8::20]:443", 6,
              {{0x00, kMac1, kMac2, ip1, ip2},
               {0x01, kMaskMac1, kMac2, ip1, ip2},
               {0x02, kMac1, kMaskMac2, ip1, ip2},
               {0x04, kMac1, kMac2, ip1, "fe:80::ffff:7fff:fe"},
               {0x08, kMac1, kMac2, "fe:80::ffff:7fff:fd", ip2},
               {0x0f, kMaskMac1, kMaskMac2, "fe:80::ffff:7fff:fd", "fe:80::ffff:7fff:fe"}});
}

TEST_F(FlowEncodeMasking, MasksFollowTheEndpointNotTheSide) {
  kvFlow flow;
  FillPlainFlow(flow);
  flow.lower_map = kvFlow::LOWER_MAP_OTHER;
  flow.privacy_mask = kvFlow::PRIVATE_LOWER_MAC | kvFlow::PRIVATE_LOWER_IP;
  json doc;
  flow.Encode(doc, SampleStats(), Flags(1));
  EXPECT_EQ(Pick(doc, {"local_mac", "other_mac", "local_ip", "other_ip"}),
            json::parse(R"({"other_mac": "00:52:14:00:00:00", "local_mac": "00:00:00:00:00:02",
                            "other_ip": "127.255.0.253", "local_ip": "10.0.0.2"})"));
}

TEST_F(FlowEncodeMasking, MaskedMacIsWrittenEvenWithoutAnAddress) {
  kvFlow flow;
  FillPlainFlow(flow);
  flow.lower_mac.Clear();
  flow.privacy_mask = kvFlow::PRIVATE_LOWER_MAC;
  json doc;
  flow.Encode(doc, SampleStats(), Flags(1));
  EXPECT_EQ(doc.at("local_mac"), json("00:52:14:00:00:00"));
}

using FlowEncodeTexts = FlowEncodeTest;

TEST_F(FlowEncodeTexts, OtherTypeTable) {
  const std::pair<uint8_t, const char*> cases[] = {
      {0, "unknown"}, {1, "unsupported"}, {2, "local"},   {3, "multicast"}, {4, "broadcast"},
      {5, "remote"},  {6, "error"},       {7, "unknown"}, {255, "unknown"},
  };
  for (const auto& [value, text] : cases) {
    kvFlow flow;
    FillPlainFlow(flow);
    flow.other_type = value;
    json doc;
    flow.Encode(doc, SampleStats(), Flags(1));
    EXPECT_EQ(doc.at("other_type"), json(text)) << "other-type " << int(value);
  }
}

TEST_F(FlowEncodeTexts, NamesAreWrittenOrUnknown) {
  kvFlow flow;
  FillPlainFlow(flow);
  flow.detected_protocol = static_cast<kvProto::Id>(5);
  flow.detected_protocol_name = "DNS";
  flow.detected_application = 7;
  json doc;
  flow.Encode(doc, SampleStats(), Flags(1));
  EXPECT_EQ(Pick(doc, {"detected_protocol", "detected_protocol_name", "detected_application",
                       "detected_application_name"}),
            json::parse(R"({"detected_protocol": 5, "detected_protocol_name": "DNS",
                            "detected_application": 7,
                            "detected_application_name": "Unknown"})"));
}

using FlowEncodeCacheOptions = FlowEncodeTest;

TEST_F(FlowEncodeCacheOptions, HitsAreWrittenOnlyWhenTheirOptionIsOn) {
  struct Case {
    bool dhc_option;
    bool fhc_option;
    const char* expected;
  };
  const Case cases[] = {
      {false, false, R"({})"},
      {true, false, R"({"dhc_hit": true})"},
      {false, true, R"({"fhc_hit": false})"},
      {true, true, R"({"dhc_hit": true, "fhc_hit": false})"},
  };
  for (const Case& c : cases) {
    kvGlobalConfig& config = kvGlobalConfig::GetInstance();
    config.SetOption(kvGlobalConfig::OPTION_DHC, c.dhc_option);
    config.SetOption(kvGlobalConfig::OPTION_FHC, c.fhc_option);
    kvFlow flow;
    FillPlainFlow(flow);
    flow.dhc_hit = true;
    flow.fhc_hit = false;
    json doc;
    flow.Encode(doc, SampleStats(), Flags(1));
    EXPECT_EQ(Pick(doc, {"dhc_hit", "fhc_hit"}), json::parse(c.expected))
        << "options " << c.dhc_option << c.fhc_option;
  }
}

using FlowEncodeFailures = FlowEncodeTest;

bool LockableFromAnotherThread(const kvFlow& flow) {
  bool locked = false;
  std::thread other([&flow, &locked] {
    locked = flow.lock.try_lock();
    if (locked) flow.lock.unlock();
  });
  other.join();
  return locked;
}

TEST_F(FlowEncodeFailures, MissingGlobalConfigStopsAfterIpNat) {
  kvGlobalConfig::Destroy();
  kvFlow flow;
  FillPlainFlow(flow);
  json doc;
  try {
    flow.Encode(doc, SampleStats(), Flags(7));
    FAIL() << "no exception";
  } catch (const kvException& error) {
    EXPECT_STREQ(error.what(),
                 "static kvGlobalConfig &kvGlobalConfig::GetInstance(): instance not found");
  }
  EXPECT_EQ(doc, json::parse(R"({"digest": "fedcba9876543210",
                                 "digest_prev": ["fedcba9876543210"], "last_seen_at": 200,
                                 "ip_nat": false})"));
  EXPECT_TRUE(LockableFromAnotherThread(flow));
}

TEST_F(FlowEncodeFailures, MissingGlobalConfigDoesNotMatterWithoutMetadata) {
  kvGlobalConfig::Destroy();
  kvFlow flow;
  FillPlainFlow(flow);
  json doc;
  flow.Encode(doc, SampleStats(), Flags(6));
  EXPECT_EQ(doc, json::parse(R"({
    "digest": "fedcba9876543210", "digest_prev": ["fedcba9876543210"], "last_seen_at": 200,
    "local_bytes": 1000, "other_bytes": 5000, "total_local_bytes": 1200,
    "total_other_bytes": 5400, "local_packets": 10, "total_local_packets": 11,
    "other_packets": 12, "total_other_packets": 13, "total_packets": 22, "total_bytes": 6000,
    "detection_packets": 6, "local_rate": 0.5, "other_rate": 0.25
  })"));
}

TEST_F(FlowEncodeFailures, TypeErrorPropagatesKeepsWrittenKeysAndReleasesTheLock) {
  kvFlow flow;
  FillPlainFlow(flow);
  json doc = json::parse(R"({"category": 1})");
  try {
    flow.Encode(doc, SampleStats(), Flags(1));
    FAIL() << "no type error";
  } catch (const json::type_error& error) {
    EXPECT_STREQ(error.what(),
                 "[json.exception.type_error.305] cannot use operator[] with a string argument "
                 "with number");
  }
  EXPECT_EQ(doc, json::parse(R"({
    "category": 1,
    "digest": "fedcba9876543210", "digest_prev": ["fedcba9876543210"], "last_seen_at": 200,
    "ip_nat": false, "soft_dissector": false, "app_ip_override": false, "app_proto_twins": false,
    "ip_version": 4, "ip_dscp": 0, "ip_protocol": 17, "vlan_id": 0, "other_type": "unknown",
    "local_origin": true,
    "local_mac": "00:00:00:00:00:01", "other_mac": "00:00:00:00:00:02",
    "local_ip": "10.0.0.1", "other_ip": "10.0.0.2", "local_port": 5001, "other_port": 53,
    "detected_protocol": 0, "detected_protocol_name": "Unknown",
    "detected_application": 0, "detected_application_name": "Unknown",
    "detection_guessed": false, "detection_updated": false
  })"));
  EXPECT_TRUE(LockableFromAnotherThread(flow));
}

}  // namespace
}  // namespace korvel_test

// The encode benchmark's floor document is the encoder's own document for the sample flow, member
// for member and number type for number type, so the floor the encoder is measured against holds.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "bench/floor_document.h"
#include "bench/sample_flow.h"
#include "kv/global_config.h"
#include "kv/interface.h"

namespace {

using korvel_bench::FloorFlowDocument;
using korvel_bench::MakeSampleFlow;
using korvel_bench::SampleStats;

// The library's == takes 5 and 5u for equal; a document made of other number types would still
// print alike but is not the same document, so the types are compared place by place.
void ExpectSameTypes(const json& expected, const json& actual, const std::string& where) {
  ASSERT_EQ(expected.type_name(), actual.type_name()) << where;
  ASSERT_EQ(expected.type(), actual.type()) << where;
  if (expected.is_object()) {
    for (auto it = expected.begin(); it != expected.end(); ++it) {
      ASSERT_TRUE(actual.contains(it.key())) << where << "/" << it.key();
      ExpectSameTypes(it.value(), actual.at(it.key()), where + "/" + it.key());
    }
  } else if (expected.is_array()) {
    ASSERT_EQ(expected.size(), actual.size()) << where;
    for (size_t i = 0; i < expected.size(); i++) {
      ExpectSameTypes(expected[i], actual[i], where + "/" + std::to_string(i));
    }
  }
}

json EncodeSample(uint64_t digest, uint8_t flags) {
  const auto iface = std::make_shared<kvInterface>("eth0", kvInterface::ROLE_LAN);
  const auto flow = MakeSampleFlow(iface, digest);
  json encoded;
  flow->Encode(encoded, SampleStats(), kvFlags<kvFlow::EncodeFlags>::FromBits(flags));
  return encoded;
}

class FloorDocumentTest : public ::testing::Test {
 protected:
  void SetUp() override { korvel_bench::EnableGlobalConfig(); }
  void TearDown() override { kvGlobalConfig::Destroy(); }
};

TEST_F(FloorDocumentTest, IsTheEncodersDocumentForTheSampleFlow) {
  const json encoded = EncodeSample(korvel_bench::kSampleDigest, kvFlow::ENCODE_ALL);
  const json floor = FloorFlowDocument();
  EXPECT_EQ(floor, encoded);
  EXPECT_EQ(floor.dump(), encoded.dump());
  ExpectSameTypes(floor, encoded, "");
  ExpectSameTypes(encoded, floor, "");
}

TEST_F(FloorDocumentTest, SampleFlowFillsEverySectionTheBenchmarkNames) {
  const json encoded = EncodeSample(korvel_bench::kSampleDigest, kvFlow::ENCODE_ALL);
  for (const char* key :
       {"local_ip", "other_ip", "local_mac", "other_mac", "dhc_hit", "fhc_hit", "dns_host_name",
        "host_server_name", "ssl", "risks", "tags", "gtp", "tcp", "local_rate"}) {
    EXPECT_TRUE(encoded.contains(key)) << key;
  }
  const json& ssl = encoded.at("ssl");
  for (const char* key : {"client_sni", "alpn", "alpn_server", "client_ja4", "fingerprint",
                          "server_cn", "issuer_dn", "subject_dn"}) {
    EXPECT_TRUE(ssl.contains(key)) << key;
  }
  EXPECT_EQ(encoded.at("risks").at("risks").size(), 3u);
  EXPECT_EQ(encoded.at("gtp").size(), 10u);
}

TEST_F(FloorDocumentTest, FlowsOfOtherDigestsDifferInTheDigestsAlone) {
  json other = EncodeSample(korvel_bench::kSampleDigest + 5, kvFlow::ENCODE_ALL);
  EXPECT_EQ(other.at("digest"), "0123456789abcdf4");
  EXPECT_EQ(other.at("digest_prev"), json({"1111222233334444", "0123456789abcdf4"}));
  json floor = FloorFlowDocument();
  floor.erase("digest");
  floor.erase("digest_prev");
  other.erase("digest");
  other.erase("digest_prev");
  EXPECT_EQ(floor.dump(), other.dump());
}

}  // namespace

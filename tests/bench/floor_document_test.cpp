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

// The library's == takes 5 and 5u for equal; a document made of other number types would still
// print alike but is not the same document, so the types are compared place by place.
void ExpectSameTypes(const json& expected, const json& actual, const std::string& where) {
  ASSERT_EQ(expected.type(), actual.type()) << where;
  ASSERT_EQ(expected.size(), actual.size()) << where;
  for (auto it = expected.begin(); it != expected.end(); ++it) {
    if (expected.is_object()) {
      ASSERT_TRUE(actual.contains(it.key())) << where << "/" << it.key();
      ExpectSameTypes(it.value(), actual.at(it.key()), where + "/" + it.key());
    } else if (expected.is_array()) {
      const size_t i = static_cast<size_t>(it - expected.begin());
      ExpectSameTypes(*it, actual.at(i), where + "/" + std::to_string(i));
    }
  }
}

json EncodeSample(uint64_t digest) {
  korvel_bench::EnableGlobalConfig();
  const auto iface = std::make_shared<kvInterface>("eth0", kvInterface::ROLE_LAN);
  json encoded;
  korvel_bench::MakeSampleFlow(iface, digest)
      ->Encode(encoded, korvel_bench::SampleStats(), kvFlow::ENCODE_ALL);
  kvGlobalConfig::Destroy();
  return encoded;
}

TEST(FloorDocumentTest, IsTheEncodersDocumentForTheSampleFlowOfAnyDigest) {
  const json encoded = EncodeSample(korvel_bench::kSampleDigest);
  json floor = korvel_bench::FloorFlowDocument();
  EXPECT_EQ(floor.dump(), encoded.dump());
  ExpectSameTypes(floor, encoded, "");

  // Flows of other digests differ in the digests alone.
  json other = EncodeSample(korvel_bench::kSampleDigest + 5);
  EXPECT_EQ(other.at("digest"), "0123456789abcdf4");
  EXPECT_EQ(other.at("digest_prev"), json({"1111222233334444", "0123456789abcdf4"}));
  for (const char* key : {"digest", "digest_prev"}) floor.erase(key), other.erase(key);
  EXPECT_EQ(floor.dump(), other.dump());
}

}  // namespace

// The tables' hashing and the first-row-wins fill.
#include <gtest/gtest.h>

#include <string>
#include <unordered_map>

#include "tables/api_tables.h"
#include "tables/proto_tables.h"
#include "tables/risk_tables.h"
#include "tables/table_build.h"

namespace {

TEST(TableBuild, EnumKeysHashToValuePlusGoldenRatioOtherKeysAsStandard) {
  const size_t k = 0x9e3779b9u;
  EXPECT_EQ(kvProto::Names.hash_function()(kvProto::PROTO_UNKNOWN), k);
  EXPECT_EQ(kvProto::Names.hash_function()(kvProto::PROTO_TLS), 91 + k);
  // Zero-extended: the all-ones 32-bit value is not sign-extended.
  EXPECT_EQ(kvProto::Names.hash_function()(kvProto::PROTO_TODO), size_t{0xffffffffu} + k);
  EXPECT_EQ(kvRisk::Names.hash_function()(kvRisk::RISK_TODO), size_t{0xffffffffu} + k);
  EXPECT_EQ(kvProto::AppTags.hash_function()(kvProto::PROTO_TLS), 91 + k);
  EXPECT_EQ(kvProto::PortMap.hash_function()(kvProto::PROTO_TLS), 91 + k);
  EXPECT_EQ(kvKorvelApiData::Names.hash_function()(kvKorvelApiData::DEV_DISCOVERY), 3 + k);
  EXPECT_EQ(kvKorvelApiAuthMethod::Names.hash_function()(kvKorvelApiAuthMethod::MTLS), 3 + k);
  EXPECT_EQ(kvProto::NdpiMap.hash_function()(368), std::hash<uint16_t>()(368));
  EXPECT_EQ(kvRisk::NdpiMap.hash_function()(53), std::hash<uint16_t>()(53));
  EXPECT_EQ(kvKorvelApiData::ByName.hash_function()("agent"), std::hash<std::string>()("agent"));
}

TEST(TableBuild, FirstRowForAKeyWins) {
  static constexpr kppTableRow<kvProto::Id, const char*> rows[] = {
      {kvProto::Id{7}, "first"},         {kvProto::Id{8}, "other"},      {kvProto::Id{7}, "second"},
      {kvProto::PROTO_TODO, "sentinel"}, {kvProto::PROTO_TODO, "later"},
  };
  auto table = kppBuildTable<std::unordered_map<kvProto::Id, const char*, kvEnumHasher>>(rows);
  EXPECT_EQ(table.size(), 3u);
  EXPECT_STREQ(table.at(kvProto::Id{7}), "first");
  EXPECT_STREQ(table.at(kvProto::Id{8}), "other");
  EXPECT_STREQ(table.at(kvProto::PROTO_TODO), "sentinel");
  // The same for text keys and values.
  static constexpr kppTableRow<const char*, int> by_name[] = {{"a", 1}, {"b", 2}, {"a", 3}};
  auto names = kppBuildTable<std::unordered_map<std::string, int>>(by_name);
  EXPECT_EQ(names.size(), 2u);
  EXPECT_EQ(names.at("a"), 1);
  static constexpr kppTableRow<int, const char*> to_name[] = {{1, "x"}, {1, "y"}};
  EXPECT_EQ((kppBuildTable<std::unordered_map<int, std::string>>(to_name).at(1)), "x");
}

}  // namespace

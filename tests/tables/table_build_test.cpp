// The tables' types, hashing and load factor, and the first-row-wins fill.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "tables/api_tables.h"
#include "tables/proto_tables.h"
#include "tables/risk_tables.h"
#include "tables/table_build.h"

namespace {
template <typename T>
using Plain = std::remove_cv_t<std::remove_reference_t<T>>;

// Keys, values and hashers as the table of tables states them.
static_assert(std::is_same_v<Plain<decltype(kvRisk::Names)>,
                             std::unordered_map<kvRisk::Id, const char*, kvEnumHasher>>);
static_assert(
    std::is_same_v<Plain<decltype(kvRisk::NdpiMap)>, std::unordered_map<uint16_t, kvRisk::Id>>);
static_assert(std::is_same_v<Plain<decltype(kvProto::Names)>,
                             std::unordered_map<kvProto::Id, const char*, kvEnumHasher>>);
static_assert(std::is_same_v<Plain<decltype(kvProto::AppTags)>,
                             std::unordered_map<kvProto::Id, const char*, kvEnumHasher>>);
static_assert(
    std::is_same_v<Plain<decltype(kvProto::PortMap)>,
                   std::unordered_map<kvProto::Id, std::vector<std::pair<uint16_t, kvProto::Id>>,
                                      kvEnumHasher>>);
static_assert(
    std::is_same_v<Plain<decltype(kvProto::NdpiMap)>, std::unordered_map<uint16_t, kvProto::Id>>);
static_assert(std::is_same_v<Plain<decltype(kvProto::NdpiUnmapped)>, std::vector<uint16_t>>);
static_assert(std::is_same_v<Plain<decltype(kvKorvelApiAuthMethod::ByName)>,
                             std::unordered_map<std::string, kvKorvelApiAuthMethod::Type>>);
static_assert(
    std::is_same_v<Plain<decltype(kvKorvelApiAuthMethod::Names)>,
                   std::unordered_map<kvKorvelApiAuthMethod::Type, std::string, kvEnumHasher>>);
static_assert(std::is_same_v<Plain<decltype(kvKorvelApiData::ByName)>,
                             std::unordered_map<std::string, kvKorvelApiData::Type>>);
static_assert(std::is_same_v<Plain<decltype(kvKorvelApiData::Names)>,
                             std::unordered_map<kvKorvelApiData::Type, std::string, kvEnumHasher>>);
// All are read-only.
static_assert(std::is_const_v<decltype(kvProto::NdpiUnmapped)>);
static_assert(std::is_const_v<decltype(kvRisk::Names)>);
static_assert(std::is_const_v<decltype(kvKorvelApiData::ByName)>);

TEST(TableHashing, EnumKeysHashToValuePlusGoldenRatio) {
  const size_t k = 0x9e3779b9u;
  EXPECT_EQ(kvProto::Names.hash_function()(kvProto::PROTO_UNKNOWN), k);
  EXPECT_EQ(kvProto::Names.hash_function()(kvProto::PROTO_TLS), 91 + k);
  // Zero-extended: the all-ones 32-bit value is not sign-extended.
  EXPECT_EQ(kvProto::Names.hash_function()(kvProto::PROTO_TODO), size_t{0xffffffffu} + k);
  EXPECT_EQ(kvRisk::Names.hash_function()(kvRisk::RISK_TODO), size_t{0xffffffffu} + k);
  EXPECT_EQ(kvProto::PortMap.hash_function()(kvProto::PROTO_TLS), 91 + k);
  EXPECT_EQ(kvKorvelApiData::Names.hash_function()(kvKorvelApiData::DEV_DISCOVERY), 3 + k);
  EXPECT_EQ(kvKorvelApiAuthMethod::Names.hash_function()(kvKorvelApiAuthMethod::MTLS), 3 + k);
}

TEST(TableHashing, OtherKeysUseTheStandardHash) {
  EXPECT_EQ(kvProto::NdpiMap.hash_function()(368), std::hash<uint16_t>()(368));
  EXPECT_EQ(kvRisk::NdpiMap.hash_function()(53), std::hash<uint16_t>()(53));
  EXPECT_EQ(kvKorvelApiData::ByName.hash_function()("agent"), std::hash<std::string>()("agent"));
}

template <typename Map>
void ExpectStandardLoad(const Map& table, const char* what) {
  EXPECT_EQ(table.max_load_factor(), 1.0f) << what;
  EXPECT_LE(table.load_factor(), 1.0f) << what;
}

TEST(TableHashing, StandardMaximumLoadFactor) {
  ExpectStandardLoad(kvRisk::Names, "kvRisk::Names");
  ExpectStandardLoad(kvRisk::NdpiMap, "kvRisk::NdpiMap");
  ExpectStandardLoad(kvProto::Names, "kvProto::Names");
  ExpectStandardLoad(kvProto::AppTags, "kvProto::AppTags");
  ExpectStandardLoad(kvProto::PortMap, "kvProto::PortMap");
  ExpectStandardLoad(kvProto::NdpiMap, "kvProto::NdpiMap");
  ExpectStandardLoad(kvKorvelApiAuthMethod::ByName, "kvKorvelApiAuthMethod::ByName");
  ExpectStandardLoad(kvKorvelApiAuthMethod::Names, "kvKorvelApiAuthMethod::Names");
  ExpectStandardLoad(kvKorvelApiData::ByName, "kvKorvelApiData::ByName");
  ExpectStandardLoad(kvKorvelApiData::Names, "kvKorvelApiData::Names");
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
}

TEST(TableBuild, FirstRowWinsForStringKeysAndValues) {
  static constexpr kppTableRow<const char*, int> by_name[] = {{"a", 1}, {"b", 2}, {"a", 3}};
  auto names = kppBuildTable<std::unordered_map<std::string, int>>(by_name);
  EXPECT_EQ(names.size(), 2u);
  EXPECT_EQ(names.at("a"), 1);
  static constexpr kppTableRow<int, const char*> to_name[] = {{1, "x"}, {1, "y"}};
  auto texts = kppBuildTable<std::unordered_map<int, std::string>>(to_name);
  EXPECT_EQ(texts.at(1), "x");
}

TEST(TableBuild, ConstStringValuesAreStable) {
  // The const char* values are the same constant strings on every lookup.
  EXPECT_EQ(kvProto::Names.at(kvProto::PROTO_TLS), kvProto::Names.find(kvProto::PROTO_TLS)->second);
  EXPECT_EQ(std::string(kvProto::Names.at(kvProto::PROTO_TLS)), "TLS");
}
}  // namespace

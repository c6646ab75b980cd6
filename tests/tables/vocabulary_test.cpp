// The built risk, protocol and API tables against the reference vocabulary: every listed row and
// nothing else, and the rules of the nDPI protocol code map.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tables/api_tables.h"
#include "tables/proto_tables.h"
#include "tables/risk_tables.h"
#include "tables/vocabulary_text.h"

namespace {

// The groups of every match of `pattern` in `text`, in order.
std::vector<std::vector<std::string>> Rows(const std::string& text, const char* pattern) {
  const std::regex re(pattern);
  std::vector<std::vector<std::string>> rows;
  for (std::sregex_iterator it(text.begin(), text.end(), re), end; it != end; ++it) {
    rows.emplace_back(it->begin() + 1, it->end());
  }
  return rows;
}

constexpr const char kNumberedText[] = R"re((\d+) "([^"]*)")re";
constexpr const char kNumberPair[] = R"re((\d+) to (\d+))re";

uint32_t N(const std::string& text) {
  return static_cast<uint32_t>(std::stoul(text));
}

template <typename Map, typename Key>
std::string NameOf(const Map& table, Key key) {
  auto it = table.find(key);
  return it == table.end() ? std::string("<missing>") : std::string(it->second);
}

TEST(RiskTables, NamesAndNdpiMapHoldEveryListedRowAndNothingElse) {
  const auto names = Rows(vocabulary::kRiskNames, kNumberedText);
  ASSERT_EQ(names.size(), 56u);  // the numbered rows; the all-ones row below
  for (const auto& row : names) EXPECT_EQ(NameOf(kvRisk::Names, kvRisk::Id(N(row[0]))), row[1]);
  EXPECT_EQ(NameOf(kvRisk::Names, kvRisk::RISK_TODO), "TODO Add Risk");
  EXPECT_EQ(kvRisk::Names.size(), 57u);

  const auto codes = Rows(vocabulary::kRiskNdpiMap, kNumberPair);
  ASSERT_EQ(codes.size(), 55u);
  for (const auto& row : codes) {
    auto it = kvRisk::NdpiMap.find(static_cast<uint16_t>(N(row[0])));
    ASSERT_NE(it, kvRisk::NdpiMap.end()) << "code " << row[0];
    EXPECT_EQ(static_cast<uint32_t>(it->second), N(row[1])) << "code " << row[0];
  }
  EXPECT_EQ(kvRisk::NdpiMap.size(), 55u);
}

TEST(ProtoTables, NamesTagsAndPortsHoldEveryListedRowAndNothingElse) {
  const auto names = Rows(vocabulary::kProtoNames, kNumberedText);
  ASSERT_EQ(names.size(), 300u);  // the numbered rows; the all-ones row below
  for (const auto& row : names) EXPECT_EQ(NameOf(kvProto::Names, kvProto::Id(N(row[0]))), row[1]);
  EXPECT_EQ(NameOf(kvProto::Names, kvProto::PROTO_TODO), "TODO");
  EXPECT_EQ(kvProto::Names.size(), 301u);
  EXPECT_EQ(NameOf(kvProto::Names, kvProto::PROTO_SSDP), "SSDP");
  EXPECT_EQ(NameOf(kvProto::Names, kvProto::PROTO_QUIC), "QUIC");

  const auto tags = Rows(vocabulary::kAppTags, R"re((\d+) "([^"]*)" "([^"]*)")re");
  ASSERT_EQ(tags.size(), 29u);
  for (const auto& row : tags) {
    EXPECT_EQ(NameOf(kvProto::Names, kvProto::Id(N(row[0]))), row[1]);
    EXPECT_EQ(NameOf(kvProto::AppTags, kvProto::Id(N(row[0]))), row[2]);
  }
  EXPECT_EQ(kvProto::AppTags.size(), 29u);

  std::vector<std::pair<uint16_t, kvProto::Id>> ports;
  for (const auto& row : Rows(vocabulary::kPortMap, kNumberPair)) {
    ports.emplace_back(static_cast<uint16_t>(N(row[0])), kvProto::Id(N(row[1])));
  }
  ASSERT_EQ(ports.size(), 16u);
  EXPECT_EQ(kvProto::PortMap.size(), 1u);
  EXPECT_EQ(kvProto::PortMap.at(kvProto::PROTO_TLS), ports);
}

TEST(ProtoTables, NdpiCodeMapAndTheUnmappedCodes) {
  const auto& map = kvProto::NdpiMap;
  EXPECT_EQ(map.size(), 288u);
  const std::pair<uint16_t, uint32_t> listed[] = {
      {0, 0},     {5, 5},    {7, 7},    {91, 91},  {306, 301}, {69, 263}, {311, 21},
      {370, 127}, {30, 244}, {269, 39}, {45, 246}, {189, 248}, {368, 342}};
  for (const auto& [code, id] : listed) {
    auto it = map.find(code);
    ASSERT_NE(it, map.end()) << "code " << code;
    EXPECT_EQ(it->second, kvProto::Id(id)) << "code " << code;
  }
  // Every target is named, none is reached only through the TLS ports, no protocol by two codes.
  size_t same = 0;
  std::set<kvProto::Id> targets;
  for (const auto& [code, id] : map) {
    same += static_cast<uint32_t>(id) == code;
    targets.insert(id);
    EXPECT_EQ(kvProto::Names.count(id), 1u) << "code " << code;
    for (uint32_t port_only : {196u, 258u, 260u, 256u, 0xffffffffu}) {
      EXPECT_NE(id, kvProto::Id(port_only)) << "code " << code;
    }
  }
  EXPECT_EQ(same, 152u);
  EXPECT_EQ(targets.size(), map.size());

  // The unmapped codes and the map's cover every code below 448 once; the list begins and ends
  // as listed and holds nothing below 21.
  const auto& unmapped = kvProto::NdpiUnmapped;
  ASSERT_EQ(unmapped.size(), 160u);
  EXPECT_EQ(std::vector<uint16_t>(unmapped.begin(), unmapped.begin() + 6),
            (std::vector<uint16_t>{295, 280, 258, 59, 107, 108}));
  EXPECT_EQ(std::vector<uint16_t>(unmapped.end() - 4, unmapped.end()),
            (std::vector<uint16_t>{34, 25, 124, 136}));
  EXPECT_GE(*std::min_element(unmapped.begin(), unmapped.end()), 21);
  std::vector<int> seen(448, 0);
  for (const auto& entry : map) {
    ASSERT_LT(entry.first, 448) << "code " << entry.first;
    ++seen[entry.first];
  }
  for (uint16_t code : unmapped) {
    ASSERT_LT(code, 448) << "code " << code;
    ++seen[code];
  }
  for (int code = 0; code < 448; ++code) EXPECT_EQ(seen[code], 1) << "code " << code;
}

// The "| `TABLE` | rows |" line of the API vocabulary.
std::string ApiRow(const std::string& table) {
  const std::string text = vocabulary::kApi, head = "| `" + table + "` | ";
  const auto begin = text.find(head) + head.size();
  return text.substr(begin, text.find(" |", begin) - begin);
}

// The name-to-value and value-to-name tables of one API enumeration hold the listed rows only.
template <typename ByName, typename Names>
void ExpectApiTables(const ByName& by_name, const Names& names, const std::string& enumeration) {
  const auto by_name_rows = Rows(ApiRow(enumeration + "::ByName"), R"re("([^"]*)" to (\d+))re");
  const auto names_rows = Rows(ApiRow(enumeration + "::Names"), R"re((\d+) to "([^"]*)")re");
  ASSERT_EQ(by_name_rows.size(), 3u);
  ASSERT_EQ(names_rows.size(), 4u);
  for (const auto& row : by_name_rows) {
    auto it = by_name.find(row[0]);
    ASSERT_NE(it, by_name.end()) << row[0];
    EXPECT_EQ(static_cast<uint32_t>(it->second), N(row[1])) << row[0];
  }
  for (const auto& row : names_rows) {
    EXPECT_EQ(NameOf(names, static_cast<typename Names::key_type>(N(row[0]))), row[1]);
  }
  EXPECT_EQ(by_name.size(), 3u);
  EXPECT_EQ(names.size(), 4u);
}

TEST(ApiTables, HoldEveryListedRowAndNothingElse) {
  ExpectApiTables(kvKorvelApiAuthMethod::ByName, kvKorvelApiAuthMethod::Names,
                  "kvKorvelApiAuthMethod");
  ExpectApiTables(kvKorvelApiData::ByName, kvKorvelApiData::Names, "kvKorvelApiData");
}

}  // namespace

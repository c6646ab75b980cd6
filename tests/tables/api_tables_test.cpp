// The two-way string tables of kvKorvelApiAuthMethod::Type and kvKorvelApiData::Type.

#include "tables/api_tables.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "tables/vocabulary_text.h"

namespace {
// The "| `TABLE` | rows |" line of the API vocabulary table.
std::string VocabularyRow(const std::string& table) {
  std::string text = vocabulary::kApi;
  std::string head = "| `" + table + "` | ";
  auto begin = text.find(head);
  if (begin == std::string::npos) return std::string();
  begin += head.size();
  return text.substr(begin, text.find(" |", begin) - begin);
}

// "text" to N rows of a name-to-value table.
template <typename Map>
void ExpectByName(const Map& table, const std::string& rows) {
  static const std::regex re(R"re("([^"]*)" to (\d+))re");
  size_t n = 0;
  for (std::sregex_iterator it(rows.begin(), rows.end(), re), end; it != end; ++it, ++n) {
    auto found = table.find((*it)[1]);
    ASSERT_NE(found, table.end()) << (*it)[1];
    EXPECT_EQ(static_cast<int>(found->second), std::stoi((*it)[2])) << (*it)[1];
  }
  EXPECT_EQ(n, 3u);
  EXPECT_EQ(table.size(), n);
}

// N to "text" rows of a value-to-name table.
template <typename Map>
void ExpectNames(const Map& table, const std::string& rows) {
  static const std::regex re(R"re((\d+) to "([^"]*)")re");
  size_t n = 0;
  for (std::sregex_iterator it(rows.begin(), rows.end(), re), end; it != end; ++it, ++n) {
    auto found = table.find(static_cast<typename Map::key_type>(std::stoi((*it)[1])));
    ASSERT_NE(found, table.end()) << (*it)[1];
    EXPECT_EQ(found->second, (*it)[2]) << (*it)[1];
  }
  EXPECT_EQ(n, 4u);
  EXPECT_EQ(table.size(), n);
}

TEST(ApiAuthMethod, ListedRows) {
  ExpectByName(kvKorvelApiAuthMethod::ByName, VocabularyRow("kvKorvelApiAuthMethod::ByName"));
  ExpectNames(kvKorvelApiAuthMethod::Names, VocabularyRow("kvKorvelApiAuthMethod::Names"));
}

TEST(ApiData, ListedRows) {
  ExpectByName(kvKorvelApiData::ByName, VocabularyRow("kvKorvelApiData::ByName"));
  ExpectNames(kvKorvelApiData::Names, VocabularyRow("kvKorvelApiData::Names"));
}

TEST(ApiAuthMethod, BothDirections) {
  using namespace kvKorvelApiAuthMethod;
  EXPECT_EQ(ByName.at("basic"), BASIC);
  EXPECT_EQ(ByName.at("bearer"), BEARER);
  EXPECT_EQ(ByName.at("mtls"), MTLS);
  EXPECT_EQ(Names.at(INVALID), "invalid");
  for (Type t : {BASIC, BEARER, MTLS}) EXPECT_EQ(ByName.at(Names.at(t)), t);
  for (const auto& [name, t] : ByName) EXPECT_EQ(Names.at(t), name);
}

TEST(ApiData, BothDirections) {
  using namespace kvKorvelApiData;
  EXPECT_EQ(ByName.at("agent"), AGENT);
  EXPECT_EQ(ByName.at("intel"), INTEL);
  EXPECT_EQ(ByName.at("dev-discovery"), DEV_DISCOVERY);
  EXPECT_EQ(Names.at(INVALID), "invalid");
  for (Type t : {AGENT, INTEL, DEV_DISCOVERY}) EXPECT_EQ(ByName.at(Names.at(t)), t);
  for (const auto& [name, t] : ByName) EXPECT_EQ(Names.at(t), name);
}

TEST(ApiData, InvalidAndOtherTextsFindNothing) {
  using namespace kvKorvelApiData;
  for (const char* text : {"invalid", "", "Agent", "AGENT", "dev_discovery", "basic", " agent"}) {
    EXPECT_EQ(ByName.find(text), ByName.end()) << '"' << text << '"';
  }
  EXPECT_EQ(Names.find(static_cast<Type>(4)), Names.end());
  EXPECT_EQ(Names.find(static_cast<Type>(255)), Names.end());
}

TEST(ApiAuthMethod, InvalidAndOtherTextsFindNothing) {
  using namespace kvKorvelApiAuthMethod;
  for (const char* text : {"invalid", "", "Basic", "MTLS", "agent", "bearer "}) {
    EXPECT_EQ(ByName.find(text), ByName.end()) << '"' << text << '"';
  }
  EXPECT_EQ(Names.find(static_cast<Type>(4)), Names.end());
  EXPECT_EQ(Names.find(static_cast<Type>(255)), Names.end());
}
}  // namespace

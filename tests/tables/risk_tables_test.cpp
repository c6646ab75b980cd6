// The risk name table and the nDPI risk code map.

#include "tables/risk_tables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "tables/vocabulary_parse.h"
#include "tables/vocabulary_text.h"

namespace {
kvRisk::Id R(uint32_t v) {
  return static_cast<kvRisk::Id>(v);
}

std::string NameOf(kvRisk::Id id) {
  auto it = kvRisk::Names.find(id);
  return it == kvRisk::Names.end() ? std::string("<missing>") : std::string(it->second);
}

TEST(RiskNames, HoldsEveryListedNameAndNothingElse) {
  auto rows = vocabulary::TableRows(vocabulary::kRiskNames);
  ASSERT_EQ(rows.size(), 56u);  // the numbered rows; the all-ones row is checked below
  for (const auto& [id, name] : rows) EXPECT_EQ(NameOf(R(id)), name) << "risk " << id;
  EXPECT_EQ(kvRisk::Names.size(), 57u);
}

TEST(RiskNames, ZeroIsNoneAndAllOnesIsTodo) {
  EXPECT_STREQ(kvRisk::Names.at(kvRisk::RISK_NONE), "None");
  EXPECT_STREQ(kvRisk::Names.at(R(0xffffffffu)), "TODO Add Risk");
  EXPECT_STREQ(kvRisk::Names.at(kvRisk::RISK_TODO), "TODO Add Risk");
}

TEST(RiskNames, GapsHaveNoName) {
  for (uint32_t id : {18u, 34u, 54u, 59u, 60u, 0xfffffffeu, 0x7fffffffu}) {
    EXPECT_EQ(kvRisk::Names.find(R(id)), kvRisk::Names.end()) << "risk " << id;
  }
  // Exactly 0..58 less 18, 34, 54, and the all-ones value.
  for (uint32_t id = 0; id <= 58; ++id) {
    bool gap = id == 18 || id == 34 || id == 54;
    EXPECT_EQ(kvRisk::Names.count(R(id)), gap ? 0u : 1u) << "risk " << id;
  }
}

TEST(RiskNames, NamesAreTheExactTexts) {
  EXPECT_STREQ(kvRisk::Names.at(R(6)), "Large DNS Packet (512+ bytes)");
  EXPECT_STREQ(kvRisk::Names.at(R(57)), "Malicous Fingerprint");  // spelled as listed
  EXPECT_STREQ(kvRisk::Names.at(R(27)), "Suspicious DGA Domain name");
}

TEST(RiskNdpiMap, HoldsEveryListedRow) {
  std::string text = vocabulary::Slice(vocabulary::kRiskNdpiMap, "construction order):", ". Codes");
  auto rows = vocabulary::NumberPairs(text);
  ASSERT_EQ(rows.size(), 55u);
  for (const auto& [code, id] : rows) {
    auto it = kvRisk::NdpiMap.find(static_cast<uint16_t>(code));
    ASSERT_NE(it, kvRisk::NdpiMap.end()) << "code " << code;
    EXPECT_EQ(static_cast<uint32_t>(it->second), id) << "code " << code;
  }
  EXPECT_EQ(kvRisk::NdpiMap.size(), 55u);
}

TEST(RiskNdpiMap, SameNumberCodes) {
  std::set<uint16_t> same;
  for (const auto& [code, id] : kvRisk::NdpiMap) {
    if (static_cast<uint32_t>(id) == code) same.insert(code);
  }
  EXPECT_EQ(same, (std::set<uint16_t>{0, 13, 17, 32, 46}));
}

TEST(RiskNdpiMap, Code53GivesUnnamedRisk54) {
  EXPECT_EQ(kvRisk::NdpiMap.at(53), R(54));
  EXPECT_EQ(kvRisk::Names.count(R(54)), 0u);
  // 54 is the only target without a name.
  for (const auto& [code, id] : kvRisk::NdpiMap) {
    if (code != 53) {
      EXPECT_EQ(kvRisk::Names.count(id), 1u) << "code " << code;
    }
  }
}

TEST(RiskNdpiMap, RisksWithoutCode) {
  std::set<uint32_t> reached;
  for (const auto& entry : kvRisk::NdpiMap) reached.insert(static_cast<uint32_t>(entry.second));
  for (const auto& entry : kvRisk::Names) {
    uint32_t id = static_cast<uint32_t>(entry.first);
    bool without = id == 38 || id == 52 || id == 0xffffffffu;
    EXPECT_EQ(reached.count(id), without ? 0u : 1u) << "risk " << id;
  }
}

TEST(RiskNdpiMap, MissingCodeHasNoEntry) {
  // The listed codes are 0 to 56 less 21 and 51.
  for (uint16_t code : {21, 51, 57, 58, 0xffff}) {
    EXPECT_EQ(kvRisk::NdpiMap.find(code), kvRisk::NdpiMap.end()) << "code " << code;
  }
}
}  // namespace

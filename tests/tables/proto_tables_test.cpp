// The protocol name, application tag and TLS port tables.

#include "tables/proto_tables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tables/vocabulary_parse.h"
#include "tables/vocabulary_text.h"

namespace {
kvProto::Id P(uint32_t v) {
  return static_cast<kvProto::Id>(v);
}

std::string NameOf(kvProto::Id id) {
  auto it = kvProto::Names.find(id);
  return it == kvProto::Names.end() ? std::string("<missing>") : std::string(it->second);
}

TEST(ProtoNames, HoldsEveryListedNameAndNothingElse) {
  std::string text = vocabulary::kProtoNames;
  auto rows = vocabulary::NumberedTexts(text);
  ASSERT_EQ(rows.size(), 300u);  // the numbered rows; the all-ones row is checked below
  for (const auto& [id, name] : rows) EXPECT_EQ(NameOf(P(id)), name) << "protocol " << id;
  ASSERT_NE(text.find("all bits set \"TODO\""), std::string::npos);
  EXPECT_EQ(kvProto::Names.size(), 301u);
}

TEST(ProtoNames, NamedValuesLieBetween0And435) {
  size_t finite = 0;
  for (const auto& entry : kvProto::Names) {
    if (entry.first == kvProto::PROTO_TODO) continue;
    EXPECT_LE(static_cast<uint32_t>(entry.first), 435u);
    ++finite;
  }
  EXPECT_EQ(finite, 300u);
}

TEST(ProtoNames, SentinelsAndKnownValues) {
  EXPECT_STREQ(kvProto::Names.at(kvProto::PROTO_UNKNOWN), "Unknown");
  EXPECT_STREQ(kvProto::Names.at(P(0xffffffffu)), "TODO");
  EXPECT_STREQ(kvProto::Names.at(kvProto::PROTO_TLS), "TLS");
  EXPECT_STREQ(kvProto::Names.at(kvProto::PROTO_SSDP), "SSDP");
  EXPECT_STREQ(kvProto::Names.at(kvProto::PROTO_QUIC), "QUIC");
  EXPECT_STREQ(kvProto::Names.at(P(277)), "IEC/60870/5/104");
  EXPECT_STREQ(kvProto::Names.at(P(428)), "paltalk");
}

TEST(ProtoNames, MissingValuesHaveNoName) {
  for (uint32_t id : {22u, 256u, 262u, 278u, 387u, 415u, 419u, 436u, 0xfffffffeu}) {
    EXPECT_EQ(kvProto::Names.find(P(id)), kvProto::Names.end()) << "protocol " << id;
  }
}

TEST(ProtoAppTags, HoldsEveryListedTagUnderTheListedName) {
  auto rows = vocabulary::TableRows(vocabulary::kAppTags);  // "| id | "name" |" of each row
  ASSERT_EQ(rows.size(), 29u);
  std::string text = vocabulary::kAppTags;
  for (const auto& [id, name] : rows) {
    EXPECT_EQ(NameOf(P(id)), name) << "protocol " << id;
    auto it = kvProto::AppTags.find(P(id));
    ASSERT_NE(it, kvProto::AppTags.end()) << "protocol " << id;
    std::string row = "| " + std::to_string(id) + " | \"" + name + "\" | \"" + it->second + "\" |";
    EXPECT_NE(text.find(row), std::string::npos) << row;
  }
  EXPECT_EQ(kvProto::AppTags.size(), 29u);
}

TEST(ProtoAppTags, UntaggedProtocolsHaveNoEntry) {
  EXPECT_STREQ(kvProto::AppTags.at(P(327)), "korvel.meta");
  EXPECT_STREQ(kvProto::AppTags.at(P(191)), "korvel.speedtest");
  for (uint32_t id : {0u, 7u, 91u, 0xffffffffu}) {
    EXPECT_EQ(kvProto::AppTags.find(P(id)), kvProto::AppTags.end()) << "protocol " << id;
  }
}

TEST(ProtoPortMap, OnlyTlsHasAList) {
  EXPECT_EQ(kvProto::PortMap.size(), 1u);
  EXPECT_EQ(kvProto::PortMap.count(kvProto::PROTO_TLS), 1u);
  for (uint32_t id : {0u, 7u, 188u, 196u, 244u, 0xffffffffu}) {
    EXPECT_EQ(kvProto::PortMap.find(P(id)), kvProto::PortMap.end()) << "protocol " << id;
  }
}

TEST(ProtoPortMap, TlsListIsTheListedPairsInOrder) {
  std::string text = vocabulary::Slice(vocabulary::kPortMap, "in this order:", ". Protocol 256");
  std::vector<std::pair<uint16_t, kvProto::Id>> expected;
  for (const auto& [port, id] : vocabulary::NumberPairs(text)) {
    expected.emplace_back(static_cast<uint16_t>(port), P(id));
  }
  ASSERT_EQ(expected.size(), 16u);
  EXPECT_EQ(kvProto::PortMap.at(kvProto::PROTO_TLS), expected);
}

TEST(ProtoPortMap, PortsGivingTheSameProtocol) {
  const auto& list = kvProto::PortMap.at(kvProto::PROTO_TLS);
  auto result = [&](uint16_t port) {
    for (const auto& [p, id] : list) {
      if (p == port) return NameOf(id);
    }
    return std::string("<no port>");
  };
  EXPECT_EQ(result(853), "DoT");
  EXPECT_EQ(result(53), "DoT");
  EXPECT_EQ(result(1883), "MQTT/S");
  EXPECT_EQ(result(8883), "MQTT/S");
  EXPECT_EQ(result(443), "HTTP/S");
  EXPECT_EQ(result(989), "<missing>");  // 989 gives 256, which has no name
  EXPECT_EQ(result(80), "<no port>");
  // Every other result is named.
  for (const auto& [p, id] : list) {
    if (p != 989) {
      EXPECT_EQ(kvProto::Names.count(id), 1u) << "port " << p;
    }
  }
}
}  // namespace

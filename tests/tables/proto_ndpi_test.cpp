// The nDPI protocol code map and the list of codes that map to no protocol.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "tables/proto_tables.h"

namespace {
kvProto::Id P(uint32_t v) {
  return static_cast<kvProto::Id>(v);
}

TEST(ProtoNdpiMap, Holds288Codes) {
  EXPECT_EQ(kvProto::NdpiMap.size(), 288u);
}

TEST(ProtoNdpiMap, SameNumberAndOtherNumberCounts) {
  size_t same = 0, other = 0;
  for (const auto& [code, id] : kvProto::NdpiMap) {
    (static_cast<uint32_t>(id) == code ? same : other)++;
  }
  EXPECT_EQ(same, 152u);
  EXPECT_EQ(other, 136u);
}

TEST(ProtoNdpiMap, ListedRows) {
  for (uint16_t code : {0, 5, 7, 91}) EXPECT_EQ(kvProto::NdpiMap.at(code), P(code));
  const std::pair<uint16_t, uint32_t> listed[] = {{306, 301}, {69, 263},  {311, 21},
                                                  {370, 127}, {30, 244},  {269, 39},
                                                  {45, 246},  {189, 248}, {368, 342}};
  for (const auto& [code, id] : listed) {
    auto it = kvProto::NdpiMap.find(code);
    ASSERT_NE(it, kvProto::NdpiMap.end()) << "code " << code;
    EXPECT_EQ(it->second, P(id)) << "code " << code;
  }
}

TEST(ProtoNdpiMap, ListedTargetsHaveTheirNames) {
  auto name = [](uint16_t code) {
    return std::string(kvProto::Names.at(kvProto::NdpiMap.at(code)));
  };
  EXPECT_EQ(name(0), "Unknown");
  EXPECT_EQ(name(5), "DNS");
  EXPECT_EQ(name(7), "HTTP");
  EXPECT_EQ(name(91), "TLS");
  EXPECT_EQ(name(306), "Alibaba/Cloud");
  EXPECT_EQ(name(69), "AmongUs");
  EXPECT_EQ(name(311), "FTP/S");
  EXPECT_EQ(name(370), "DCE/RPC");
  EXPECT_EQ(name(30), "DTLS");
  EXPECT_EQ(name(269), "SignalCall");
  EXPECT_EQ(name(45), "WhatsApp/Call");
  EXPECT_EQ(name(189), "ZOOM");
  EXPECT_EQ(name(368), "Ether/S/Bus");
}

TEST(ProtoNdpiMap, RepeatedCode368IsOneEntry) {
  EXPECT_EQ(kvProto::NdpiMap.count(368), 1u);
  EXPECT_EQ(kvProto::NdpiMap.at(368), P(342));
}

TEST(ProtoNdpiMap, EveryTargetIsNamed) {
  for (const auto& [code, id] : kvProto::NdpiMap) {
    EXPECT_EQ(kvProto::Names.count(id), 1u) << "code " << code;
    EXPECT_NE(id, kvProto::PROTO_TODO) << "code " << code;
  }
}

TEST(ProtoNdpiMap, PortOnlyProtocolsHaveNoCode) {
  for (const auto& [code, id] : kvProto::NdpiMap) {
    for (uint32_t port_only : {196u, 258u, 260u, 256u}) {
      EXPECT_NE(id, P(port_only)) << "code " << code;
    }
  }
}

// Not a rule of the vocabulary but of the rows chosen for the open codes: no protocol is reached by two
// codes (the repeated 368 is one code).
TEST(ProtoNdpiMap, NoProtocolHasTwoCodes) {
  std::set<kvProto::Id> targets;
  for (const auto& entry : kvProto::NdpiMap) targets.insert(entry.second);
  EXPECT_EQ(targets.size(), kvProto::NdpiMap.size());
}

TEST(ProtoNdpiMap, MissingCodesHaveNoEntry) {
  for (uint16_t code : {21, 25, 34, 59, 124, 136, 258, 280, 295, 448, 0xffff}) {
    EXPECT_EQ(kvProto::NdpiMap.find(code), kvProto::NdpiMap.end()) << "code " << code;
  }
}

TEST(ProtoNdpiUnmapped, Holds160DistinctCodesFrom21To447) {
  const auto& list = kvProto::NdpiUnmapped;
  EXPECT_EQ(list.size(), 160u);
  EXPECT_EQ(std::set<uint16_t>(list.begin(), list.end()).size(), 160u);
  for (uint16_t code : list) {
    EXPECT_GE(code, 21);
    EXPECT_LE(code, 447);
  }
}

TEST(ProtoNdpiUnmapped, BeginsAndEndsAsListed) {
  const auto& list = kvProto::NdpiUnmapped;
  ASSERT_GE(list.size(), 10u);
  EXPECT_EQ(std::vector<uint16_t>(list.begin(), list.begin() + 6),
            (std::vector<uint16_t>{295, 280, 258, 59, 107, 108}));
  EXPECT_EQ(std::vector<uint16_t>(list.end() - 4, list.end()),
            (std::vector<uint16_t>{34, 25, 124, 136}));
}

TEST(ProtoNdpiUnmapped, TogetherWithTheMapCoverEveryCodeOnce) {
  std::vector<int> seen(448, 0);
  for (const auto& entry : kvProto::NdpiMap) {
    ASSERT_LT(entry.first, 448) << "code " << entry.first;
    ++seen[entry.first];
  }
  for (uint16_t code : kvProto::NdpiUnmapped) {
    ASSERT_LT(code, 448) << "code " << code;
    EXPECT_EQ(kvProto::NdpiMap.count(code), 0u) << "code " << code << " is in both";
    ++seen[code];
  }
  for (int code = 0; code < 448; ++code) EXPECT_EQ(seen[code], 1) << "code " << code;
}
}  // namespace

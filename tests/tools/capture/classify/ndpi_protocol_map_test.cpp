// The nDPI 4.2 protocol map: every protocol nDPI knows maps by name to a named identifier of the
// vocabulary or is listed as unmapped, and the spelling table names real protocols on both sides.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "tables/proto_tables.h"
#include "tools/capture/classify/ndpi_module.h"
#include "tools/capture/classify/ndpi_protocol_map.h"

namespace {

using capture::kNdpiSpellingCount;
using capture::kNdpiSpellings;
using capture::kNdpiUnmappedCount;
using capture::kNdpiUnmappedNames;

TEST(NdpiProtocolMapTest, EveryNdpiProtocolIsMappedOrListedAsUnmapped) {
  capture::NdpiModule module;
  capture::NdpiProtocolMap map(module);
  ASSERT_EQ(module.Protocols(), 282u) << "nDPI 4.2 has codes 0 to 281";
  std::set<std::string> unmapped(kNdpiUnmappedNames, kNdpiUnmappedNames + kNdpiUnmappedCount);
  EXPECT_EQ(unmapped.size(), kNdpiUnmappedCount) << "a name listed twice";
  size_t mapped = 0;
  std::set<std::string> seen_unmapped;
  for (uint16_t code = 0; code < module.Protocols(); code++) {
    const std::string name = module.Name(code);
    SCOPED_TRACE(std::to_string(code) + " " + name);
    if (map.Mapped(code)) {
      mapped++;
      EXPECT_EQ(unmapped.count(name), 0u) << "mapped and listed as unmapped";
      EXPECT_EQ(kvProto::Names.count(map.Map(code)), 1u) << "mapped to an unnamed identifier";
    } else {
      EXPECT_EQ(unmapped.count(name), 1u) << "neither mapped nor listed as unmapped";
      EXPECT_EQ(map.Map(code), kvProto::PROTO_UNKNOWN);
      seen_unmapped.insert(name);
    }
  }
  EXPECT_EQ(seen_unmapped, unmapped) << "the unmapped list names a protocol nDPI 4.2 lacks";
  EXPECT_EQ(mapped + kNdpiUnmappedCount, module.Protocols());
  EXPECT_EQ(map.Map(282), kvProto::PROTO_UNKNOWN);
  EXPECT_FALSE(map.Mapped(282));
}

TEST(NdpiProtocolMapTest, SpellingsNameAnNdpiProtocolAndAVocabularyName) {
  capture::NdpiModule module;
  std::set<std::string> ndpi_names;
  for (uint16_t code = 0; code < module.Protocols(); code++) ndpi_names.insert(module.Name(code));
  std::set<std::string> vocabulary;
  for (const auto& entry : kvProto::Names) vocabulary.insert(entry.second);
  for (size_t i = 0; i < kNdpiSpellingCount; i++) {
    const capture::NdpiSpelling& row = kNdpiSpellings[i];
    SCOPED_TRACE(row.ndpi);
    EXPECT_EQ(ndpi_names.count(row.ndpi), 1u) << "not an nDPI 4.2 protocol";
    EXPECT_EQ(vocabulary.count(row.vocabulary), 1u) << "not a vocabulary name";
    EXPECT_EQ(vocabulary.count(row.ndpi), 0u) << "spelt the same: needs no row";
  }
}

TEST(NdpiProtocolMapTest, SameNameDifferentNumberAndSpellingDifferences) {
  capture::NdpiModule module;
  capture::NdpiProtocolMap map(module);
  struct Case {
    uint16_t code;
    const char* ndpi_name;
    uint32_t id;
  };
  const Case cases[] = {
      {0, "Unknown", 0},       {1, "FTP_CONTROL", 1}, {5, "DNS", 5},
      {7, "HTTP", 7},          {10, "NetBIOS", 10},   {17, "Syslog", 17},
      {19, "PostgreSQL", 19},  {91, "TLS", 91},       {188, "QUIC", 188},
      {196, "DoH_DoT", 243},   {68, "Nats", 281},     {189, "Zoom", 248},
      {269, "SignalVoip", 39}, {271, "GTP_U", 274},   {45, "WhatsAppCall", 246},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(module.Name(c.code), c.ndpi_name);
    EXPECT_EQ(static_cast<uint32_t>(map.Map(c.code)), c.id) << c.ndpi_name;
  }
  // Same number, another protocol: 4.2's 21 is Hotmail, which the vocabulary lacks (its 21 is
  // "FTP/S").
  EXPECT_EQ(module.Name(21), "Hotmail");
  EXPECT_FALSE(map.Mapped(21));
}

}  // namespace

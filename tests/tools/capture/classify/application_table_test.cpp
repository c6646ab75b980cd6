// The application table against nDPI 4.2: every protocol nDPI knows is an application or listed
// as not one, identifiers and tags follow their rules, and docs/capture.md lists the table.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>

#include "tables/proto_tables.h"
#include "tools/capture/classify/application_table.h"

namespace {

using namespace capture;

struct Tables {
  NdpiModule module;
  NdpiProtocolMap map{module};
  ApplicationTable apps{module, map};
};

TEST(ApplicationTableTest, EveryNdpiProtocolIsAnApplicationOrListedAsNotOne) {
  Tables t;
  std::set<std::string> ndpi, rows, not_apps;
  for (uint16_t code = 0; code < t.module.Protocols(); code++) ndpi.insert(t.module.Name(code));
  for (size_t i = 0; i < kApplicationRowCount; i++) rows.insert(kApplicationRows[i].ndpi);
  for (size_t i = 0; i < kNotApplicationRowCount; i++) not_apps.insert(kNotApplicationRows[i].ndpi);
  EXPECT_EQ(rows.size() + not_apps.size(), kApplicationRowCount + kNotApplicationRowCount);
  for (const auto* list : {&rows, &not_apps}) {
    for (const std::string& name : *list) EXPECT_EQ(ndpi.count(name), 1u) << name << ": unknown";
  }
  size_t tagged = 0;
  for (uint16_t code = 0; code < t.module.Protocols(); code++) {
    const std::string name = t.module.Name(code);
    const bool by_tag = t.map.Map(code) != kvProto::PROTO_UNKNOWN &&
                        kvProto::AppTags.count(t.map.Map(code)) == 1;
    tagged += by_tag;
    EXPECT_EQ(by_tag + rows.count(name) + not_apps.count(name), 1u)
        << code << " " << name << ": one of a row, a vocabulary tag, not an application";
    EXPECT_EQ(t.apps.Of(code).tag != nullptr, not_apps.count(name) == 0) << name;
  }
  EXPECT_EQ(tagged, 15u) << "the vocabulary tags 15 of nDPI 4.2's protocols";
  EXPECT_EQ(t.apps.ByName().size(), kApplicationRowCount + tagged);
  EXPECT_EQ(t.apps.Of(t.module.Protocols()).tag, nullptr);
}

TEST(ApplicationTableTest, IdentifiersAndTagsFollowTheirRules) {
  Tables t;
  const std::regex style("korvel\\.[a-z0-9]+(-[a-z0-9]+)*");
  std::map<uint32_t, std::string> owners;
  for (const auto& [name, app] : t.apps.ByName()) {
    EXPECT_TRUE(std::regex_match(app.tag, style)) << name << " " << app.tag;
    EXPECT_NE(app.id, 0u) << name << ": a vocabulary row the vocabulary lacks";
    EXPECT_TRUE(owners.emplace(app.id, name).second) << app.id << " " << name << owners[app.id];
    // Vocabulary identifiers are named ones, ours are not; tagged ones keep their tag.
    EXPECT_NE(kvProto::Names.count(kvProto::Id(app.id)) == 1, app.id >= kFirstOwnApplication);
    auto tag = kvProto::AppTags.find(kvProto::Id(app.id));
    if (tag != kvProto::AppTags.end()) {
      EXPECT_STREQ(app.tag, tag->second) << name;
    }
  }
  for (const auto& entry : kvProto::Names) {
    EXPECT_TRUE(entry.first < kFirstOwnApplication || entry.first == kvProto::PROTO_TODO);
  }
  const std::map<std::string, std::string> cases = {
      {"Google", "10028 korvel.google"},   {"NetFlix", "10029 korvel.netflix"},
      {"WhatsApp", "142 korvel.whatsapp"}, {"WhatsAppCall", "246 korvel.whatsapp"},
      {"NTP", "9 korvel.ntp"},             {"Skype_Teams", "247 korvel.teams"},
      {"Teams", "10082 korvel.teams"},     {"FacebookVoip", "327 korvel.meta"},
  };
  for (const auto& [name, want] : cases) {
    const Application app = t.apps.ByName().at(name);
    EXPECT_EQ(std::to_string(app.id) + " " + app.tag, want);
  }
  for (const char* protocol : {"TLS", "DNS", "QUIC", "HTTP", "DoH_DoT", "BitTorrent"}) {
    EXPECT_EQ(t.apps.ByName().count(protocol), 0u) << protocol;
  }
}

// docs/capture.md's rows "| `NAME` | ID | `TAG` |", and the paragraph "Not applications: ...".
TEST(ApplicationTableTest, TheDocumentationListsTheTable) {
  Tables t;
  std::ifstream in(std::string(KORVEL_SOURCE_DIR) + "/docs/capture.md");
  const std::regex row("\\| `([^`]+)` \\| (\\d+) \\| `([^`]+)` \\|");
  const std::string left_out = "Not applications: ";
  std::map<std::string, std::string> documented, table;
  std::string line, documented_left_out, listed, expected;
  bool in_left_out = false;
  for (std::smatch m; std::getline(in, line);) {
    if (std::regex_match(line, m, row)) documented[m[1]] = m[2].str() + " | `" + m[3].str();
    if (line.rfind(left_out, 0) == 0) {
      in_left_out = true;
      line = line.substr(left_out.size());
    }
    in_left_out = in_left_out && !line.empty();
    if (in_left_out) documented_left_out += (documented_left_out.empty() ? "" : " ") + line;
  }
  for (const auto& [name, app] : t.apps.ByName()) {
    table[name] = std::to_string(app.id) + " | `" + app.tag;
  }
  for (const auto& [name, cells] : table) expected += "| `" + name + "` | " + cells + "` |\n";
  EXPECT_EQ(documented, table) << "docs/capture.md should list:\n" << expected;
  std::set<std::string> names;
  for (size_t i = 0; i < kNotApplicationRowCount; i++) names.insert(kNotApplicationRows[i].ndpi);
  for (const std::string& name : names) listed += (listed.empty() ? "`" : ", `") + name + "`";
  EXPECT_EQ(documented_left_out, listed + ".");
}

}  // namespace

// The application table against nDPI 4.2: every protocol nDPI knows is an application or listed
// as not one, identifiers and tags follow their rules, and docs/capture.md lists the table.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "tables/proto_tables.h"
#include "tools/capture/classify/application_table.h"

namespace {

using capture::Application;
using capture::kApplicationRowCount;
using capture::kApplicationRows;
using capture::kNotApplicationRowCount;
using capture::kNotApplicationRows;

struct Tables {
  capture::NdpiModule module;
  capture::NdpiProtocolMap map{module};
  capture::ApplicationTable apps{module, map};
};

TEST(ApplicationTableTest, EveryNdpiProtocolIsAnApplicationOrListedAsNotOne) {
  Tables t;
  std::set<std::string> ndpi;
  for (uint16_t code = 0; code < t.module.Protocols(); code++) ndpi.insert(t.module.Name(code));
  std::set<std::string> rows, not_apps;
  for (size_t i = 0; i < kApplicationRowCount; i++) {
    EXPECT_TRUE(rows.insert(kApplicationRows[i].ndpi).second) << kApplicationRows[i].ndpi;
  }
  for (size_t i = 0; i < kNotApplicationRowCount; i++) {
    EXPECT_TRUE(not_apps.insert(kNotApplicationRows[i].ndpi).second) << kNotApplicationRows[i].ndpi;
  }
  for (const std::string& name : rows) EXPECT_EQ(ndpi.count(name), 1u) << name << ": not nDPI's";
  for (const std::string& name : not_apps) EXPECT_EQ(ndpi.count(name), 1u) << name << ": not nDPI's";

  size_t tagged = 0;
  for (uint16_t code = 0; code < t.module.Protocols(); code++) {
    const std::string name = t.module.Name(code);
    SCOPED_TRACE(std::to_string(code) + " " + name);
    const bool by_tag = kvProto::AppTags.count(t.map.Map(code)) == 1 && t.map.Mapped(code) &&
                        t.map.Map(code) != kvProto::PROTO_UNKNOWN;
    tagged += by_tag;
    const int places = by_tag + static_cast<int>(rows.count(name) + not_apps.count(name));
    EXPECT_EQ(places, 1) << "an application row, a vocabulary tag and not an application: one";
    EXPECT_EQ(t.apps.Of(code).tag != nullptr, not_apps.count(name) == 0);
  }
  EXPECT_EQ(tagged, 15u) << "the vocabulary tags 15 of nDPI 4.2's protocols";
  EXPECT_EQ(t.apps.ByName().size(), kApplicationRowCount + tagged);
  EXPECT_EQ(t.apps.Of(t.module.Protocols()).tag, nullptr);
}

TEST(ApplicationTableTest, IdentifiersAndTagsFollowTheirRules) {
  Tables t;
  const std::regex style("korvel\\.[a-z0-9]+(-[a-z0-9]+)*");
  std::map<uint32_t, std::string> owners;
  std::set<std::string> vocabulary_tags;
  for (const auto& entry : kvProto::AppTags) vocabulary_tags.insert(entry.second);
  for (const auto& [name, app] : t.apps.ByName()) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(std::regex_match(app.tag, style)) << app.tag;
    EXPECT_NE(app.id, 0u) << "a vocabulary row whose protocol the vocabulary lacks";
    EXPECT_TRUE(owners.emplace(app.id, name).second) << app.id << " also " << owners[app.id];
    const bool own = app.id >= capture::kFirstOwnApplication;
    EXPECT_NE(kvProto::Names.count(kvProto::Id(app.id)) == 1, own) << app.id;
    // The vocabulary's tagged protocols keep their tags; a tag of ours never takes one of them
    // over for another product.
    auto tag = kvProto::AppTags.find(kvProto::Id(app.id));
    if (tag != kvProto::AppTags.end()) {
      EXPECT_STREQ(app.tag, tag->second);
    }
  }
  // Own identifiers are below the vocabulary's "TODO" and every vocabulary name is below them.
  for (const auto& entry : kvProto::Names) {
    if (entry.first != kvProto::PROTO_TODO) {
      EXPECT_LT(entry.first, capture::kFirstOwnApplication);
    }
  }
  struct Case {
    const char* ndpi;
    uint32_t id;
    const char* tag;
  };
  const Case cases[] = {
      {"Google", 10028, "korvel.google"},   {"NetFlix", 10029, "korvel.netflix"},
      {"WhatsApp", 142, "korvel.whatsapp"}, {"WhatsAppCall", 246, "korvel.whatsapp"},
      {"Zoom", 248, "korvel.zoom"},         {"NTP", 9, "korvel.ntp"},
      {"Skype_Teams", 247, "korvel.teams"}, {"Teams", 10082, "korvel.teams"},
      {"SkypeCall", 38, "korvel.teams"},    {"FacebookVoip", 327, "korvel.meta"},
  };
  for (const Case& c : cases) {
    auto it = t.apps.ByName().find(c.ndpi);
    ASSERT_NE(it, t.apps.ByName().end()) << c.ndpi;
    EXPECT_EQ(it->second.id, c.id) << c.ndpi;
    EXPECT_STREQ(it->second.tag, c.tag) << c.ndpi;
  }
  for (const char* protocol : {"TLS", "DNS", "QUIC", "HTTP", "DoH_DoT", "BitTorrent"}) {
    EXPECT_EQ(t.apps.ByName().count(protocol), 0u) << protocol;
  }
}

// The rows of docs/capture.md's application table ("| `NAME` | ID | `TAG` |") and the paragraph
// that begins "Not applications: ".
std::map<std::string, std::string> DocumentedApplications(std::string& not_applications) {
  std::ifstream in(std::string(KORVEL_SOURCE_DIR) + "/docs/capture.md");
  std::map<std::string, std::string> rows;
  const std::regex row("\\| `([^`]+)` \\| (\\d+) \\| `([^`]+)` \\|");
  const std::string left_out = "Not applications: ";
  std::string line;
  std::smatch m;
  bool in_left_out = false;
  while (std::getline(in, line)) {
    if (std::regex_match(line, m, row)) rows[m[1]] = m[2].str() + " " + m[3].str();
    if (line.rfind(left_out, 0) == 0) {
      in_left_out = true;
      line = line.substr(left_out.size());
    }
    if (line.empty()) in_left_out = false;
    if (in_left_out) not_applications += (not_applications.empty() ? "" : " ") + line;
  }
  return rows;
}

TEST(ApplicationTableTest, TheDocumentationListsTheTable) {
  Tables t;
  std::string documented_left_out;
  const auto documented = DocumentedApplications(documented_left_out);
  std::map<std::string, std::string> table;
  for (const auto& [name, app] : t.apps.ByName()) {
    table[name] = std::to_string(app.id) + " " + app.tag;
  }
  std::ostringstream expected;
  for (const auto& [name, row] : table) {
    const size_t space = row.find(' ');
    expected << "| `" << name << "` | " << row.substr(0, space) << " | `" << row.substr(space + 1)
             << "` |\n";
  }
  EXPECT_EQ(documented, table) << "docs/capture.md should list:\n" << expected.str();
  std::set<std::string> names;
  for (size_t i = 0; i < kNotApplicationRowCount; i++) names.insert(kNotApplicationRows[i].ndpi);
  std::string listed;
  for (const std::string& name : names) listed += (listed.empty() ? "`" : ", `") + name + "`";
  EXPECT_EQ(documented_left_out, listed + ".");
}

}  // namespace

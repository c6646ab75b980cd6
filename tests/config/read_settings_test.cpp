// kppReadSettings on its own: the settings value a file reads into, with no plugin to install it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "config/read_settings.h"
#include "config_test_support.h"
#include "kv/exception.h"

namespace {

using korvel_test::Record;
using korvel_test::ScratchDir;

TEST(ReadSettingsTest, AFileReadsIntoDefaultsSinksTypesFiltersAndLimit) {
  ScratchDir dir;
  const std::string path = dir.Write("c.json", R"({
    // defaults
    "types": ["legacy-socket"], "compressor": "gz",
    "flow_filters": ["local_port == 53", "ip_protocol == 6"],
    "flow_queue_limit": 1000,
    "sinks": {"s": {"on": {"types": ["stream-stats"], "format": "msgpack"},
                    "off": {"enable": false, "types": ["legacy-http"]}},
              "t": {"plain": {}}}})");
  const kppSettings settings = kppReadSettings("tag", path);
  EXPECT_EQ(settings.defaults, Record(2, 1, true));
  const kppSinks sinks{{"s", {{"on", Record(10, 2, true)}}},
                       {"t", {{"plain", Record(2, 1, true)}}}};
  EXPECT_EQ(settings.sinks, sinks);
  // The disabled channel's legacy-http is not in the union.
  EXPECT_EQ(settings.channel_types, 10);
  ASSERT_TRUE(settings.flow_filters.has_value());
  EXPECT_EQ(*settings.flow_filters,
            (std::vector<std::string>{"local_port == 53", "ip_protocol == 6"}));
  EXPECT_EQ(settings.flow_queue_limit, 1000u);
}

// Without a "flow_filters" array the settings hold none, so the list in force stays; an empty
// array is a list, which clears it. A limit that is no positive integer is no limit.
TEST(ReadSettingsTest, AbsentFiltersAreNoneAndAnEmptyArrayIsAList) {
  ScratchDir dir;
  const kppSettings empty = kppReadSettings("tag", dir.Write("a.json", "{}"));
  EXPECT_FALSE(empty.flow_filters.has_value());
  EXPECT_EQ(empty.flow_queue_limit, kpp::kNoQueueLimit);
  EXPECT_EQ(empty.channel_types, 0);
  EXPECT_TRUE(empty.sinks.empty());
  EXPECT_EQ(empty.defaults, Record(0));

  const kppSettings cleared =
      kppReadSettings("tag", dir.Write("b.json", R"({"flow_filters": [], "flow_queue_limit": 0})"));
  ASSERT_TRUE(cleared.flow_filters.has_value());
  EXPECT_TRUE(cleared.flow_filters->empty());
  EXPECT_EQ(cleared.flow_queue_limit, kpp::kNoQueueLimit);

  const kppSettings not_array = kppReadSettings(
      "tag", dir.Write("c.json", R"({"flow_filters": "x", "flow_queue_limit": -3})"));
  EXPECT_FALSE(not_array.flow_filters.has_value());
  EXPECT_EQ(not_array.flow_queue_limit, kpp::kNoQueueLimit);
}

TEST(ReadSettingsTest, FailuresAreExceptionsWithTheTagAndPath) {
  ScratchDir dir;
  const std::string missing = dir.Path("missing.json");
  try {
    kppReadSettings("proc", missing);
    ADD_FAILURE() << "no exception";
  } catch (const kvException& e) {
    EXPECT_EQ(std::string(e.what()), "proc: " + missing + ": " + strerror(ENOENT));
  }
  const std::string bad = dir.Write("bad.json", R"({"types": ["legacy-ftp"]})");
  try {
    kppReadSettings("proc", bad);
    ADD_FAILURE() << "no exception";
  } catch (const kvException& e) {
    EXPECT_EQ(std::string(e.what()),
              std::string("void kppChannelConfig::Load(const string &, const json &): type: "
                          "legacy-ftp: ") +
                  strerror(EINVAL));
  }
  EXPECT_THROW(kppReadSettings("proc", dir.Write("sinks.json", R"({"sinks": []})")),
               json::type_error);
}

}  // namespace

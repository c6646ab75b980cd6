// Tests of the command line: every option in both spellings, defaults, and the usage errors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/replay_options.h"

namespace {

using replay::ParseReplayOptions;
using replay::ReplayOptions;

TEST(ReplayOptions, DefaultsWithoutArguments) {
  ReplayOptions options;
  ASSERT_EQ(ParseReplayOptions({}, options), "");
  EXPECT_EQ(options.plugin_path, "");
  EXPECT_EQ(options.config_path, "");
  EXPECT_EQ(options.tag, "proc-core");
  EXPECT_TRUE(options.params.empty());
  EXPECT_EQ(options.buckets, 16u);
  EXPECT_EQ(options.output_path, "");
  EXPECT_EQ(options.sink_dir, "");
  EXPECT_FALSE(options.debug);
  EXPECT_FALSE(options.quiet);
  EXPECT_EQ(options.sync_timeout_seconds, 10u);
  EXPECT_EQ(options.scenario_path, "");
}

TEST(ReplayOptions, ReadsEveryOption) {
  ReplayOptions options;
  ASSERT_EQ(ParseReplayOptions(
                {"--plugin", "p.so", "--config=c.json", "--tag", "core-2", "--param", "type=2",
                 "--param=x=a=b", "--buckets", "0", "-o", "out.jsonl", "--sink-dir", "dir",
                 "--sync-timeout", "3", "--debug", "-q", "scenario.jsonl"},
                options),
            "");
  EXPECT_EQ(options.plugin_path, "p.so");
  EXPECT_EQ(options.config_path, "c.json");
  EXPECT_EQ(options.tag, "core-2");
  ASSERT_EQ(options.params.size(), 2u);
  EXPECT_EQ(options.params[0], (std::pair<std::string, std::string>("type", "2")));
  EXPECT_EQ(options.params[1], (std::pair<std::string, std::string>("x", "a=b")));
  EXPECT_EQ(options.buckets, 0u);
  EXPECT_EQ(options.output_path, "out.jsonl");
  EXPECT_EQ(options.sink_dir, "dir");
  EXPECT_EQ(options.sync_timeout_seconds, 3u);
  EXPECT_TRUE(options.debug);
  EXPECT_TRUE(options.quiet);
  EXPECT_EQ(options.scenario_path, "scenario.jsonl");
}

TEST(ReplayOptions, DashMeansTheStandardStreams) {
  ReplayOptions options;
  ASSERT_EQ(ParseReplayOptions({"--output", "-", "-"}, options), "");
  EXPECT_EQ(options.output_path, "");
  EXPECT_EQ(options.scenario_path, "");
}

TEST(ReplayOptions, AfterDoubleDashEverythingIsTheScenario) {
  ReplayOptions options;
  ASSERT_EQ(ParseReplayOptions({"--", "--odd-name.jsonl"}, options), "");
  EXPECT_EQ(options.scenario_path, "--odd-name.jsonl");
}

TEST(ReplayOptions, HelpAndVersion) {
  ReplayOptions help;
  ASSERT_EQ(ParseReplayOptions({"-h"}, help), "");
  EXPECT_TRUE(help.help);
  ReplayOptions version;
  ASSERT_EQ(ParseReplayOptions({"--version"}, version), "");
  EXPECT_TRUE(version.version);
}

TEST(ReplayOptions, UsageErrors) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--bogus"}, "unknown option --bogus"},
      {{"-x"}, "unknown option -x"},
      {{"--plugin"}, "--plugin needs a value"},
      {{"--plugin="}, "--plugin needs a path"},
      {{"--config", ""}, "--config needs a path"},
      {{"-o", ""}, "-o needs a path"},
      {{"--sink-dir="}, "--sink-dir needs a path"},
      {{"--param", "novalue"}, "--param needs KEY=VALUE, got \"novalue\""},
      {{"--param", "=v"}, "--param needs KEY=VALUE, got \"=v\""},
      {{"--buckets", "x"}, "--buckets needs a number from 0 to 1048576, got \"x\""},
      {{"--buckets", "1048577"}, "--buckets needs a number from 0 to 1048576, got \"1048577\""},
      {{"--buckets", "-1"}, "--buckets needs a number from 0 to 1048576, got \"-1\""},
      {{"--buckets", "99999999999999999999999"},
       "--buckets needs a number from 0 to 1048576, got \"99999999999999999999999\""},
      {{"--sync-timeout", "0"},
       "--sync-timeout needs a number of seconds from 1 to 86400, got \"0\""},
      {{"--debug=yes"}, "--debug takes no value"},
      {{"a.jsonl", "b.jsonl"}, "only one scenario can be played, got \"b.jsonl\" as well"},
  };
  for (const auto& c : cases) {
    ReplayOptions options;
    EXPECT_EQ(ParseReplayOptions(c.first, options), c.second) << c.first[0];
  }
}

}  // namespace

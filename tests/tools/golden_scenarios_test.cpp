// The golden scenarios of tests/scenarios replayed against the built plugin, and the comparison
// that ignores only status timestamps and the order of hash-ordered arrays.
// A scenario is NAME.jsonl, or the arguments in NAME.args ("{source}" standing for the source
// tree, lines starting with "#" skipped; the tool runs in the source tree, so relative paths
// name its files); NAME.expected.jsonl is its output. Runs that play captures (--pcap) also
// ignore the agent status's process figures, which are the tool's own usage.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "replay_support.h"

namespace {

using korvel_test::CompareReplayOutputs;
using korvel_test::NormalizeSinkRecord;
using korvel_test::WithoutProcessFigures;

const std::string kScenarioDir = std::string(KORVEL_SOURCE_DIR) + "/tests/scenarios/";
const std::string kExpected = ".expected.jsonl";

std::vector<std::string> GoldenNames() {
  std::vector<std::string> names;
  DIR* dir = opendir(kScenarioDir.c_str());
  while (const dirent* entry = dir != nullptr ? readdir(dir) : nullptr) {
    const std::string file = entry->d_name;
    const size_t size = file.size() - kExpected.size();
    if (file.size() > kExpected.size() && file.compare(size, kExpected.size(), kExpected) == 0)
      names.push_back(file.substr(0, size));
  }
  if (dir != nullptr) closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> ScenarioArguments(const std::string& name) {
  const std::string text = korvel_test::ReadFileText(kScenarioDir + name + ".args");
  if (text.empty()) return {kScenarioDir + name + ".jsonl"};
  std::vector<std::string> args;
  for (const std::string& line : korvel_test::SplitLines(text)) {
    if (line.rfind('#', 0) == 0) continue;
    std::istringstream in(line);
    for (std::string arg; in >> arg; args.push_back(arg)) {
      const size_t mark = arg.find("{source}");
      if (mark != std::string::npos) arg.replace(mark, 8, KORVEL_SOURCE_DIR);
    }
  }
  return args;
}

class GoldenScenario : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenScenario, ReplaysAsCheckedIn) {
  std::vector<std::string> args = {"--plugin", KORVEL_PLUGIN_PATH, "-q"};
  for (const std::string& arg : ScenarioArguments(GetParam())) args.push_back(arg);
  const korvel_test::ToolRun run = korvel_test::RunReplayTool(args, "", KORVEL_SOURCE_DIR);
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string expected = korvel_test::ReadFileText(kScenarioDir + GetParam() + kExpected);
  ASSERT_FALSE(expected.empty());
  if (std::find(args.begin(), args.end(), "--pcap") != args.end()) {
    EXPECT_EQ(CompareReplayOutputs(WithoutProcessFigures(expected), WithoutProcessFigures(run.out)),
              "");
  } else {
    EXPECT_EQ(CompareReplayOutputs(expected, run.out), "");
  }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, GoldenScenario, ::testing::ValuesIn(GoldenNames()),
                         [](const auto& param) { return param.param; });

TEST(GoldenScenarios, TheRequiredScenariosAreCheckedIn) {
  const std::vector<std::string> names = GoldenNames();
  for (const char* required : {"demo", "filters", "legacy_only", "reload", "stream_only"}) {
    EXPECT_NE(std::find(names.begin(), names.end(), required), names.end()) << required;
  }
}

json Record(const std::string& payload) {
  return json::parse(R"({"sink":"s","channel":"c","flags":1,"payload":)" + payload + "}");
}

TEST(GoldenCompare, IgnoresTheStatusTimestampAndHashOrderOnly) {
  const std::pair<const char*, const char*> cases[] = {
      {R"({"type":"agent_status","timestamp":5,"uptime":1})",
       R"({"type":"agent_status","uptime":1})"},
      // A member of that name deeper down is data; arrays in the plugin's own order stay.
      {R"({"type":"flow","flow":{"timestamp":5,"digest_prev":["b","a"]}})",
       R"({"type":"flow","flow":{"timestamp":5,"digest_prev":["b","a"]}})"},
      {R"({"type":"interfaces","e":{"addr":["b","a"]}})",
       R"({"type":"interfaces","e":{"addr":["a","b"]}})"},
      {R"({"type":"endpoints","m":["2","1"]})", R"({"type":"endpoints","m":["1","2"]})"},
      {R"({"version":1.9,"timestamp":1,"interfaces":{"e":{"addr":["y","x"]}},)"
       R"("devices":{"m":["2","1"]},"flows":{"e":[{"digest":"b"},{"digest":"a"}]}})",
       R"({"version":1.9,"interfaces":{"e":{"addr":["x","y"]}},)"
       R"("devices":{"m":["1","2"]},"flows":{"e":[{"digest":"a"},{"digest":"b"}]}})"},
  };
  for (const auto& [input, normalized] : cases) {
    EXPECT_EQ(NormalizeSinkRecord(Record(input)), Record(normalized)) << input;
  }
}

TEST(GoldenCompare, CaptureRunsIgnoreTheProcessFiguresOfStatusDocuments) {
  const std::string figures =
      R"("cpu_user":1.5,"cpu_user_prev":1,"cpu_system":2,"cpu_system_prev":3,"maxrss_kb":4,)"
      R"("maxrss_kb_prev":5,"memrss_kb":6,"memrss_kb_prev":7)";
  const std::string zeros =
      R"("cpu_system":0,"cpu_system_prev":0,"cpu_user":0,"cpu_user_prev":0,"maxrss_kb":0,)"
      R"("maxrss_kb_prev":0,"memrss_kb":0,"memrss_kb_prev":0)";
  const std::pair<std::string, std::string> cases[] = {
      {R"({"type":"agent_status","flow_count":3,)" + figures + "}",
       R"({"flow_count":3,)" + zeros + R"(,"type":"agent_status"})"},
      {R"({"version":1.9,"flow_count":3,)" + figures + "}",
       R"({"flow_count":3,)" + zeros + R"(,"version":1.9})"},
      // Flow documents keep members of those names.
      {R"({"type":"flow_stats","maxrss_kb":4})", R"({"maxrss_kb":4,"type":"flow_stats"})"},
  };
  for (const auto& [input, masked] : cases) {
    EXPECT_EQ(WithoutProcessFigures(Record(input).dump() + "\n"), Record(masked).dump() + "\n")
        << input;
  }
}

TEST(GoldenCompare, ReportsTheFirstDifferenceWithItsLine) {
  const std::string a = Record(R"({"type":"x","timestamp":1})").dump();
  const std::string b = Record(R"({"type":"x","timestamp":2})").dump();
  const std::string c = Record(R"({"type":"y"})").dump();
  EXPECT_EQ(CompareReplayOutputs(a + "\n" + c + "\n", b + "\n" + c + "\n"), "");
  EXPECT_EQ(CompareReplayOutputs(a + "\n" + c + "\n", b + "\n" + a + "\n"),
            "line 2: expected " + c + "\n     got " + NormalizeSinkRecord(json::parse(a)).dump());
  EXPECT_EQ(CompareReplayOutputs(a + "\n", a + "\n" + c + "\n"),
            "line 2: unexpected extra line " + c);
  EXPECT_EQ(CompareReplayOutputs(a + "\n" + c + "\n", a + "\n"), "line 2: missing line " + c);
  EXPECT_EQ(CompareReplayOutputs(a, "not json\n").rfind("line 1: output line is not JSON: ", 0),
            0u);
}

}  // namespace

// The golden scenarios of tests/scenarios, replayed against the built plugin.
// Each output must equal NAME.expected.jsonl but for status timestamps and the order of
// hash-ordered arrays.
// A scenario is NAME.jsonl, or the command-line arguments in NAME.args ("{source}" standing for
// the source tree, lines starting with "#" skipped), which name the scenario themselves.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "golden_compare.h"
#include "tool_runner.h"

namespace {

const std::string kScenarioDir = std::string(KORVEL_SOURCE_DIR) + "/tests/scenarios";
constexpr const char* kExpectedSuffix = ".expected.jsonl";
constexpr const char* kSourceMark = "{source}";
constexpr const char* kCommentMark = "#";

std::vector<std::string> GoldenNames() {
  std::vector<std::string> names;
  DIR* dir = opendir(kScenarioDir.c_str());
  if (dir == nullptr) return names;
  const std::string suffix = kExpectedSuffix;
  while (const dirent* entry = readdir(dir)) {
    const std::string file = entry->d_name;
    if (file.size() > suffix.size() &&
        file.compare(file.size() - suffix.size(), suffix.size(), suffix) == 0) {
      names.push_back(file.substr(0, file.size() - suffix.size()));
    }
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> ScenarioArguments(const std::string& name) {
  const std::string args_text = korvel_test::ReadFileText(kScenarioDir + "/" + name + ".args");
  if (args_text.empty()) return {kScenarioDir + "/" + name + ".jsonl"};
  std::vector<std::string> args;
  std::istringstream lines(args_text);
  std::string words;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(kCommentMark, 0) != 0) words += line + "\n";
  }
  std::istringstream in(words);
  for (std::string arg; in >> arg;) {
    const size_t mark = arg.find(kSourceMark);
    if (mark != std::string::npos)
      arg.replace(mark, std::string(kSourceMark).size(), KORVEL_SOURCE_DIR);
    args.push_back(arg);
  }
  return args;
}

class GoldenScenario : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenScenario, ReplaysAsCheckedIn) {
  const std::string& name = GetParam();
  std::vector<std::string> args = {"--plugin", KORVEL_PLUGIN_PATH, "-q"};
  for (const std::string& arg : ScenarioArguments(name)) args.push_back(arg);
  const korvel_test::ToolRun run = korvel_test::RunReplayTool(args);
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string expected =
      korvel_test::ReadFileText(kScenarioDir + "/" + name + kExpectedSuffix);
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(korvel_test::CompareReplayOutputs(expected, run.out), "") << name;
}

INSTANTIATE_TEST_SUITE_P(Scenarios, GoldenScenario, ::testing::ValuesIn(GoldenNames()),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                           return param.param;
                         });

TEST(GoldenScenarios, TheRequiredScenariosAreCheckedIn) {
  const std::vector<std::string> names = GoldenNames();
  for (const char* required : {"demo", "filters", "legacy_only", "reload", "stream_only"}) {
    EXPECT_NE(std::find(names.begin(), names.end(), required), names.end()) << required;
  }
}

}  // namespace

// Tests of the scenario reader: skipped lines, line numbers and the line-level errors.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "tools/scenario_error.h"
#include "tools/scenario_reader.h"

namespace {

using replay::ScenarioError;
using replay::ScenarioOp;
using replay::ScenarioReader;

TEST(ScenarioReader, SkipsBlankAndCommentLinesAndCountsEveryLine) {
  std::istringstream in(
      "# a comment\n"
      "\n"
      "   \t\r\n"
      "{\"op\":\"sync\"}\n"
      "  # indented comment\n"
      "{\"op\":\"sleep\",\"ms\":5}\r\n"
      "{\"op\":\"walk\"}");  // no newline at the end
  ScenarioReader reader(in);
  ScenarioOp op;
  ASSERT_TRUE(reader.Next(op));
  EXPECT_EQ(op.line, 4u);
  EXPECT_EQ(op.name, "sync");
  ASSERT_TRUE(reader.Next(op));
  EXPECT_EQ(op.line, 6u);
  EXPECT_EQ(op.name, "sleep");
  EXPECT_EQ(op.object["ms"], 5);
  ASSERT_TRUE(reader.Next(op));
  EXPECT_EQ(op.line, 7u);
  EXPECT_EQ(op.name, "walk");
  EXPECT_FALSE(reader.Next(op));
  EXPECT_EQ(reader.LineNumber(), 7u);
}

TEST(ScenarioReader, LineErrorsNameTheLine) {
  std::string parse_error;
  try {
    const json parsed = json::parse("{\"op\":");
    ADD_FAILURE() << parsed.dump();
  } catch (const json::exception& e) {
    parse_error = e.what();
  }
  const std::pair<std::string, std::string> cases[] = {
      {"{\"op\":", "invalid JSON: " + parse_error},     {"[1,2]", "an op must be a JSON object"},
      {"\"sync\"", "an op must be a JSON object"},      {"{\"ms\":1}", "missing member \"op\""},
      {"{\"op\":7}", "member \"op\" must be a string"},
  };
  for (const auto& c : cases) {
    std::istringstream in("# first\n" + c.first + "\n{\"op\":\"sync\"}\n");
    ScenarioReader reader(in);
    ScenarioOp op;
    try {
      reader.Next(op);
      ADD_FAILURE() << "no error for " << c.first;
    } catch (const ScenarioError& e) {
      EXPECT_EQ(std::string(e.what()), c.second);
      EXPECT_EQ(reader.LineNumber(), 2u);
    }
  }
}

TEST(ScenarioReader, DeeplyNestedLinesAreReadWithoutRecursion) {
  const size_t depth = 100000;
  std::string deep =
      "{\"op\":\"config\",\"json\":" + std::string(depth, '[') + std::string(depth, ']') + "}";
  std::istringstream in(deep);
  ScenarioReader reader(in);
  ScenarioOp op;
  ASSERT_TRUE(reader.Next(op));
  EXPECT_EQ(op.name, "config");
}

}  // namespace

// Tests of the golden comparison: what it ignores (timestamps, hash order) and what it does not.
#include <gtest/gtest.h>

#include <string>

#include "golden_compare.h"

namespace {

using korvel_test::CompareReplayOutputs;
using korvel_test::NormalizeSinkRecord;

json Record(const std::string& payload) {
  return json::parse(R"({"sink":"s","channel":"c","flags":1,"payload":)" + payload + "}");
}

TEST(GoldenCompare, DropsTheStatusTimestampOnly) {
  EXPECT_EQ(NormalizeSinkRecord(Record(R"({"type":"agent_status","timestamp":5,"uptime":1})")),
            Record(R"({"type":"agent_status","uptime":1})"));
  // A member of that name deeper down is data, not the status time.
  EXPECT_EQ(NormalizeSinkRecord(Record(R"({"type":"flow","flow":{"timestamp":5}})")),
            Record(R"({"type":"flow","flow":{"timestamp":5}})"));
}

TEST(GoldenCompare, SortsTheHashOrderedArrays) {
  EXPECT_EQ(NormalizeSinkRecord(Record(R"({"type":"interfaces","e":{"addr":["b","a"]}})")),
            Record(R"({"type":"interfaces","e":{"addr":["a","b"]}})"));
  EXPECT_EQ(NormalizeSinkRecord(Record(R"({"type":"endpoints","m":["2","1"]})")),
            Record(R"({"type":"endpoints","m":["1","2"]})"));
  EXPECT_EQ(NormalizeSinkRecord(Record(
                R"({"version":1.9,"timestamp":1,"interfaces":{"e":{"addr":["y","x"]}},)"
                R"("devices":{"m":["2","1"]},"flows":{"e":[{"digest":"b"},{"digest":"a"}]}})")),
            Record(R"({"version":1.9,"interfaces":{"e":{"addr":["x","y"]}},)"
                   R"("devices":{"m":["1","2"]},"flows":{"e":[{"digest":"a"},{"digest":"b"}]}})"));
  // Arrays whose order is the plugin's own stay as they are.
  EXPECT_EQ(NormalizeSinkRecord(Record(R"({"type":"flow","flow":{"digest_prev":["b","a"]}})")),
            Record(R"({"type":"flow","flow":{"digest_prev":["b","a"]}})"));
}

TEST(GoldenCompare, ReportsTheFirstDifferenceWithItsLine) {
  const std::string a = Record(R"({"type":"x","timestamp":1})").dump() + "\n";
  const std::string b = Record(R"({"type":"x","timestamp":2})").dump() + "\n";
  const std::string c = Record(R"({"type":"y"})").dump() + "\n";
  EXPECT_EQ(CompareReplayOutputs(a + c, b + c), "");
  EXPECT_EQ(CompareReplayOutputs(a + c, b + a),
            "line 2: expected " + NormalizeSinkRecord(json::parse(c)).dump() + "\n     got " +
                NormalizeSinkRecord(json::parse(a)).dump());
  EXPECT_EQ(CompareReplayOutputs(a, a + c),
            "line 2: unexpected extra line " + c.substr(0, c.size() - 1));
  EXPECT_EQ(CompareReplayOutputs(a + c, a), "line 2: missing line " + c.substr(0, c.size() - 1));
  EXPECT_EQ(CompareReplayOutputs(a, "not json\n").rfind("line 1: output line is not JSON: ", 0),
            0u);
}

}  // namespace

// Tests of the counters section of kvFlow::Encode: keys by lower-map, rates and the "tcp" object.
#include <gtest/gtest.h>

#include "flow_samples.h"

namespace korvel_test {
namespace {

json EncodeCounters(uint8_t lower_map, uint8_t ip_protocol, const kvFlowStats& stats) {
  kvFlow flow;
  FillPlainFlow(flow);
  flow.lower_map = lower_map;
  flow.ip_protocol = ip_protocol;
  json doc;
  flow.Encode(doc, stats, Flags(4));
  doc.erase("digest");
  doc.erase("digest_prev");
  doc.erase("last_seen_at");
  return doc;
}

kvFlowStats BytesOnly() {
  kvFlowStats stats;
  stats.lower_bytes = 10;
  stats.upper_bytes = 20;
  stats.lower_total_bytes = 100;
  stats.upper_total_bytes = 200;
  stats.lower_packets = 1;
  stats.upper_packets = 2;
  stats.lower_total_packets = 3;
  stats.upper_total_packets = 4;
  stats.total_packets = 3;
  stats.total_bytes = 30;
  stats.detection_packets = 255;
  return stats;
}

constexpr const char kLowerLocal[] = R"({
  "local_bytes": 10, "other_bytes": 20, "total_local_bytes": 100, "total_other_bytes": 200,
  "local_packets": 1, "other_packets": 2, "total_local_packets": 3, "total_other_packets": 4,
  "total_packets": 3, "total_bytes": 30, "detection_packets": 255,
  "local_rate": 0.0, "other_rate": 0.0})";

using FlowCounters = FlowEncodeTest;

TEST_F(FlowCounters, LowerMapOneAndZeroNameTheLowerEndpointLocal) {
  EXPECT_EQ(EncodeCounters(1, 17, BytesOnly()), json::parse(kLowerLocal));
  EXPECT_EQ(EncodeCounters(0, 17, BytesOnly()), json::parse(kLowerLocal));
}

TEST_F(FlowCounters, LowerMapTwoNamesTheLowerEndpointOther) {
  EXPECT_EQ(EncodeCounters(2, 17, BytesOnly()), json::parse(R"({
    "other_bytes": 10, "local_bytes": 20, "total_other_bytes": 100, "total_local_bytes": 200,
    "other_packets": 1, "local_packets": 2, "total_other_packets": 3, "total_local_packets": 4,
    "total_packets": 3, "total_bytes": 30, "detection_packets": 255,
    "local_rate": 0.0, "other_rate": 0.0})"));
}

TEST_F(FlowCounters, RatesFollowTheLowerMap) {
  kvFlowStats stats;
  stats.lower_rate = 1.5f;
  stats.upper_rate = 3.0f;
  const json lower_local = EncodeCounters(1, 17, stats);
  const json lower_other = EncodeCounters(2, 17, stats);
  EXPECT_EQ(Pick(lower_local, {"local_rate", "other_rate"}),
            json::parse(R"({"local_rate": 1.5, "other_rate": 3.0})"));
  EXPECT_EQ(Pick(lower_other, {"local_rate", "other_rate"}),
            json::parse(R"({"local_rate": 3.0, "other_rate": 1.5})"));
}

TEST_F(FlowCounters, RateIsWidenedToDoubleAtFullPrecision) {
  kvFlowStats stats;
  stats.lower_rate = 0.1f;
  const json doc = EncodeCounters(1, 17, stats);
  EXPECT_TRUE(doc.at("local_rate").is_number_float());
  EXPECT_EQ(doc.at("local_rate").dump(), "0.10000000149011612");
  EXPECT_EQ(doc.at("other_rate").dump(), "0.0");
}

TEST_F(FlowCounters, LargestValuesStayUnsigned) {
  kvFlowStats stats;
  stats.lower_bytes = 18446744073709551615ull;
  stats.lower_packets = 4294967295u;
  const json doc = EncodeCounters(1, 17, stats);
  EXPECT_EQ(doc.at("local_bytes").dump(), "18446744073709551615");
  EXPECT_EQ(doc.at("local_packets").dump(), "4294967295");
}

TEST_F(FlowCounters, TcpObjectOnlyForTcp) {
  kvFlowStats stats = BytesOnly();
  stats.tcp_seq_errors = 4;
  stats.tcp_resets = 5;
  stats.tcp_retrans = 6;
  EXPECT_FALSE(EncodeCounters(1, 17, stats).contains("tcp"));
  EXPECT_EQ(EncodeCounters(1, 6, stats).at("tcp"),
            json::parse(R"({"seq_errors": 4, "resets": 5, "retrans": 6})"));
}

TEST_F(FlowCounters, TcpWithZeroCountersStillWritesThem) {
  EXPECT_EQ(EncodeCounters(1, 6, BytesOnly()).at("tcp"),
            json::parse(R"({"seq_errors": 0, "resets": 0, "retrans": 0})"));
}

}  // namespace
}  // namespace korvel_test

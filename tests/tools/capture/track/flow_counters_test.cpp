// Counters at the edges of their widths: a flow's counters stop at their largest value instead of
// wrapping, and the status keeps capture times beyond 32 bits of seconds.
#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <string>
#include <vector>

#include "tests/tools/capture/recorder.h"
#include "tools/capture/track/flow_counters.h"
#include "tools/capture/track/update_cycle.h"

namespace {

constexpr uint64_t k32 = uint64_t{1} << 32;
constexpr uint64_t kMax64 = std::numeric_limits<uint64_t>::max();

struct CounterCase {
  const char* name;
  uint64_t lower_bytes;  // per walk and in total, before a packet of one byte from the lower side
  uint32_t lower_packets;
  uint64_t upper_bytes;
  uint32_t upper_packets;
  uint32_t tcp_resets;   // before one more reset
  const char* expected;  // lower bytes/packets, the sums total_bytes/total_packets, TCP resets
};

TEST(FlowCountersTest, CountsStopAtTheirLargestValue) {
  const uint64_t half = uint64_t{1} << 63;
  const CounterCase cases[] = {
      {"bytes pass 32 bits", k32 - 1, 0, 0, 0, 0, "4294967296/1 sums 4294967296/1 resets 1"},
      {"packets reach their largest value", 0, 4294967294u, 0, 0, 4294967294u,
       "1/4294967295 sums 1/4294967295 resets 4294967295"},
      {"packets and resets stay there", 0, 4294967295u, 0, 0, 4294967295u,
       "1/4294967295 sums 1/4294967295 resets 4294967295"},
      {"the packet sum stops", 0, 4294967290u, 0, 5, 0, "1/4294967291 sums 1/4294967295 resets 1"},
      {"bytes stop at 2^64-1", kMax64, 0, 0, 0, 0,
       "18446744073709551615/1 sums 18446744073709551615/1 resets 1"},
      {"the byte sum reaches 2^64-1", half - 2, 0, half, 0, 0,
       "9223372036854775807/1 sums 18446744073709551615/1 resets 1"},
      {"the byte sum stops", half, 0, half, 0, 0,
       "9223372036854775809/1 sums 18446744073709551615/1 resets 1"},
  };
  for (const CounterCase& c : cases) {
    SCOPED_TRACE(c.name);
    capture::FlowState state;
    state.lower =
        capture::SideCounters{c.lower_bytes, c.lower_bytes, c.lower_packets, c.lower_packets};
    state.upper =
        capture::SideCounters{c.upper_bytes, c.upper_bytes, c.upper_packets, c.upper_packets};
    state.tcp_resets = c.tcp_resets;
    capture::CountPacket(state.lower, 1);
    capture::CountOne(state.tcp_resets);
    kvFlowStats s;
    capture::FillFlowStats(state, 15, s);
    EXPECT_EQ(std::to_string(s.lower_total_bytes) + "/" + std::to_string(s.lower_total_packets) +
                  " sums " + std::to_string(s.total_bytes) + "/" + std::to_string(s.total_packets) +
                  " resets " + std::to_string(s.tcp_resets),
              c.expected);
    EXPECT_EQ(s.lower_bytes, s.lower_total_bytes);
    EXPECT_EQ(s.lower_packets, s.lower_total_packets);
  }
}

TEST(FlowCountersTest, StatusTimesKeepEveryBitAndTheUptimeStops) {
  const struct {
    uint64_t first_s, last_s;
    const char* expected;  // start, now, uptime
  } cases[] = {
      {0, k32 - 1, "0 4294967295 4294967295"},
      {0, k32, "0 4294967296 4294967295"},
      {k32, k32 + 5, "4294967296 4294967301 5"},
      {uint64_t{1} << 40, (uint64_t{1} << 40) + k32 + 1, "1099511627776 1103806595073 4294967295"},
  };
  for (const auto& c : cases) {
    kvFlowMap flow_map(1);
    std::map<std::string, std::shared_ptr<kvInterface>> interfaces;
    std::vector<capture::TrackedInterface> tracked;
    capture::FlowTracker tracker({}, flow_map, tracked);
    capture::UpdateCycle cycle(4294967295u, tracker, flow_map, interfaces, tracked);
    capture_test::Recorder recorder;
    cycle.Frame(c.first_s * 1000000, recorder);
    cycle.Finish(c.last_s * 1000000, recorder);
    ASSERT_EQ(recorder.Of(capture_test::Delivered::kUpdate).size(), 1u);
    const kvInstanceStatus& s = recorder.Of(capture_test::Delivered::kUpdate)[0]->status;
    EXPECT_EQ(std::to_string(s.ts_epoch) + " " + std::to_string(s.ts_now) + " " +
                  std::to_string(s.uptime),
              c.expected);
  }
}

}  // namespace

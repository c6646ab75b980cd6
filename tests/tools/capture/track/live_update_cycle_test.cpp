// The update cycle of a live capture on a clock the test moves: every boundary brings an update,
// packets or not; the capture's losses join each update's counters; when the next one is due.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "tests/tools/capture/recorder.h"
#include "tools/capture/constants.h"
#include "tools/capture/track/flow_tracker.h"
#include "tools/capture/track/update_cycle.h"

namespace capture_test {
namespace {

constexpr uint64_t kStart = uint64_t{1700000000} * capture::kMicrosPerSecond;
constexpr uint64_t kSecond = capture::kMicrosPerSecond;

TEST(LiveUpdateCycleTest, EveryBoundaryBringsAnUpdateWithTheLossesSinceTheLastOne) {
  kvFlowMap map(16);
  auto record = std::make_shared<kvInterface>("lo", kvInterface::ROLE_LAN);
  std::map<std::string, std::shared_ptr<kvInterface>> interfaces{{"lo", record}};
  std::vector<capture::TrackedInterface> tracked(1);
  tracked[0].record = record;
  capture::TrackerSettings settings;
  settings.update_interval_s = 2;
  capture::FlowTracker tracker(settings, map, tracked);
  capture::UpdateCycle cycle(2, tracker, map, interfaces, tracked);
  uint64_t losses = 0;
  cycle.SetBeforeUpdate([&] { tracked[0].stats.pkt_capture_dropped += ++losses; });
  Recorder recorder;

  cycle.StartLive(kStart);
  EXPECT_EQ(cycle.NextDueUs(), kStart + 2 * kSecond);
  cycle.Advance(kStart + 2 * kSecond - 1, recorder);
  EXPECT_TRUE(recorder.delivered.empty());
  // Seven seconds without a packet: the boundaries at 2, 4 and 6 s each bring an update.
  cycle.Advance(kStart + 7 * kSecond, recorder);
  EXPECT_EQ(cycle.NextDueUs(), kStart + 8 * kSecond);
  // The stop: a last update at the clock's time.
  cycle.Finish(kStart + 7 * kSecond + kSecond / 2, recorder);

  // (milliseconds after the start, raw frames, capture drops, uptime)
  std::vector<std::tuple<uint64_t, uint64_t, uint64_t, uint32_t>> updates;
  for (const Delivered& d : recorder.delivered) {
    ASSERT_EQ(d.kind, Delivered::kUpdate);
    ASSERT_EQ(d.interface_stats.size(), 1u);
    const kvPacketStats& stats = d.interface_stats[0].second;
    EXPECT_EQ(d.global_stats.pkt_capture_dropped, stats.pkt_capture_dropped);
    updates.emplace_back(d.time_ms - kStart / 1000, stats.pkt_raw, stats.pkt_capture_dropped,
                         d.status.uptime);
  }
  const std::vector<std::tuple<uint64_t, uint64_t, uint64_t, uint32_t>> expected = {
      {2000, 0, 1, 2}, {4000, 0, 2, 4}, {6000, 0, 3, 6}, {7500, 0, 4, 7}};
  EXPECT_EQ(updates, expected);
}

}  // namespace
}  // namespace capture_test

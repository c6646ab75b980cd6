// The daemon's events: which are queued, which are gated by the channel types, and what the
// flow-map walk takes.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>

#include "kv/flow_map.h"
#include "kv/global_config.h"
#include "kv/instance_status.h"
#include "kv/packet_stats.h"
#include "plugin/plugin.h"
#include "plugin/worker_constants.h"
#include "support/flows.h"
#include "support/temp_file.h"

namespace {

using korvel_test::MakeFlow;

class IntakeTest : public ::testing::Test {
 protected:
  IntakeTest() { kvGlobalConfig::Create(); }

  void Single(uint32_t event, std::shared_ptr<kvFlow>& flow) {
    plugin.DispatchProcessorEvent(static_cast<kvPluginProcessor::Event>(event), flow);
  }
  void Walk(uint32_t event, kvFlowMap& map) {
    plugin.DispatchProcessorEvent(static_cast<kvPluginProcessor::Event>(event), &map);
  }
  std::vector<uint16_t> TakeQueuedKinds() {
    std::vector<uint16_t> kinds;
    for (const kppFlowEvent& event : plugin.event_queue) kinds.push_back(event.event);
    plugin.event_queue.clear();
    return kinds;
  }

  korvel_test::TempFile config;
  kppPlugin plugin{"proc", {{"conf_filename", config.Path()}}};
  std::shared_ptr<kvInterface> iface = korvel_test::MakeInterface("eth0", kvInterface::ROLE_LAN);
};

// Single-flow events need a socket or flow-stream channel; the walk a periodic or socket one.
TEST_F(IntakeTest, FlowEventsAreQueuedOnlyForChannelsThatTakeThem) {
  auto flow = MakeFlow(iface, 1);
  kvFlowMap map(4);
  map.Insert("a", flow);
  const std::pair<uint8_t, std::vector<uint16_t>> cases[] = {
      {0, {}}, {1, {1}}, {2, {4, 6, 7, 8, 1}}, {4, {4, 6, 7, 8}}, {8, {1}}, {9, {1}}};
  for (const auto& [types, queued] : cases) {
    plugin.channel_types.store(types);
    for (uint32_t event : {4u, 6u, 7u, 8u}) Single(event, flow);
    Walk(1, map);
    EXPECT_EQ(TakeQueuedKinds(), queued) << int(types);
  }
  // Other event values, a null flow, empty and null maps are ignored.
  plugin.channel_types.store(0x0f);
  for (uint32_t event : {0u, 1u, 2u, 3u, 5u, 9u, 13u, 300u}) Single(event, flow);
  for (uint32_t event : {0u, 4u, 5u, 8u, 13u}) Walk(event, map);
  std::shared_ptr<kvFlow> none;
  Single(8, none);
  kvFlowMap no_buckets(0);
  Walk(1, no_buckets);
  plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_MAP,
                                static_cast<kvFlowMap*>(nullptr));
  EXPECT_TRUE(plugin.event_queue.empty());
}

TEST_F(IntakeTest, SingleFlowEventSnapshotsTheCountersAndKeepsAForgottenFlowAlive) {
  plugin.channel_types.store(kppChannelConfig::TYPE_STREAM_FLOWS);
  {
    auto flow = MakeFlow(iface, 1);
    flow->stats.lower_bytes = 10;
    flow->stats_ready = false;  // no flag is tested for single-flow events
    flow->stats.lower_packets = flow->stats.upper_packets = 0;
    Single(7, flow);
    flow->stats.lower_bytes = 99;
  }
  ASSERT_EQ(plugin.event_queue.size(), 1u);
  EXPECT_EQ(plugin.event_queue[0].stats.lower_bytes, 10u);
  EXPECT_EQ(plugin.event_queue[0].flow.use_count(), 1);
  EXPECT_EQ(plugin.event_queue[0].flow->digest, 1u);
}

TEST_F(IntakeTest, WalkQueuesReadyFlowsWithTrafficAndUnlocksEveryBucket) {
  plugin.channel_types.store(kppChannelConfig::TYPE_LEGACY_HTTP);
  kvFlowMap map(3);
  auto flow = [&](uint64_t digest) {
    auto made = MakeFlow(iface, digest);
    map.Insert(std::to_string(digest), made);
    return made;
  };
  flow(1);                       // ready, with traffic
  flow(2)->stats_ready = false;  // not ready
  flow(3)->stats_hold = true;    // held
  auto silent = flow(4);         // no packets
  silent->stats.lower_packets = silent->stats.upper_packets = 0;
  flow(5)->stats.lower_packets = 0;  // only upper packets
  flow(6)->stats.upper_packets = 0;  // only lower packets
  Walk(1, map);
  std::multiset<uint64_t> digests;
  for (const kppFlowEvent& event : plugin.event_queue) {
    EXPECT_EQ(event.event, 1);
    EXPECT_EQ(event.flow.use_count(), 2);  // the map's and the queue's
    digests.insert(event.flow->digest);
  }
  EXPECT_EQ(digests, (std::multiset<uint64_t>{1, 5, 6}));
  for (size_t i = 0; i < map.GetBuckets(); i++) {
    map.Acquire(i);
    map.Release(i);
  }
}

// With a limit, a single-flow event that finds the queue full is counted instead of queued, and
// a walk queues until the queue is full and counts the qualifying rest. Null entries of the map
// are passed over.
TEST_F(IntakeTest, QueueLimitTurnsAwayAndCountsWhatDoesNotFit) {
  plugin.channel_types.store(0x0f);
  plugin.flow_queue_limit = 3;
  auto flow = MakeFlow(iface, 1);
  kvFlowMap map(4);
  for (uint64_t digest = 2; digest <= 5; digest++) {
    map.Insert(std::to_string(digest), MakeFlow(iface, digest));
  }
  map.Insert("not ready", MakeFlow(iface, 6));
  map.Find("not ready")->stats_ready = false;
  map.Insert("freed", nullptr);
  Single(6, flow);
  Single(7, flow);
  Walk(1, map);
  Single(8, flow);
  EXPECT_EQ(plugin.flow_events_dropped, 4u);
  EXPECT_EQ(plugin.dropped_at_limit, 3u);
  EXPECT_EQ(TakeQueuedKinds(), (std::vector<uint16_t>{6, 7, 1}));
  EXPECT_EQ(flow.use_count(), 1);

  // Without a limit every qualifying flow is queued; the null entry is still passed over.
  plugin.flow_queue_limit = kpp::kNoQueueLimit;
  Walk(1, map);
  EXPECT_EQ(TakeQueuedKinds(), (std::vector<uint16_t>{1, 1, 1, 1}));
  EXPECT_EQ(plugin.flow_events_dropped, 4u);
}

TEST_F(IntakeTest, DocumentEventsTakeOnlyTheirOwnValueAndAreNotGated) {
  kvPacketStats stats;
  stats.pkt_raw = 5;
  kvInstanceStatus status;
  kppPlugin::Interfaces interfaces{{"eth0", iface}};
  plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_PKT_INTERFACE_STATS, &stats);
  plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_INTERFACES, "eth0", &stats);
  plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_INSTANCE_STATUS, &interfaces);
  plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_PKT_GLOBAL_STATS, &status);
  plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_MAP);
  for (const json* stored : {&plugin.json_interfaces, &plugin.json_interface_stats,
                             &plugin.json_global_stats, &plugin.json_status}) {
    EXPECT_TRUE(stored->is_null()) << stored->dump();
  }
  EXPECT_FALSE(plugin.dispatch_pending.load());

  interfaces["gone"] = nullptr;  // passed over
  plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_INTERFACES, &interfaces);
  plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_PKT_INTERFACE_STATS, "eth0", &stats);
  plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_INSTANCE_STATUS, &status);
  plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_PKT_GLOBAL_STATS, &stats);
  plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_UPDATE_COMPLETE);
  EXPECT_EQ(plugin.json_interfaces.size(), 1u);
  EXPECT_EQ(plugin.json_interface_stats.size(), 1u);
  EXPECT_EQ(plugin.json_status.size(), 24u);
  EXPECT_EQ(plugin.json_global_stats.at("raw"), 5);
  EXPECT_TRUE(plugin.dispatch_pending.load());
  EXPECT_TRUE(plugin.event_queue.empty());
}

}  // namespace

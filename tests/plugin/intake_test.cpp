// The daemon's events: which are queued, which are gated by the channel types, and what the
// flow-map walk takes.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "kv/flow_map.h"
#include "kv/global_config.h"
#include "kv/instance_status.h"
#include "kv/packet_stats.h"
#include "plugin/plugin.h"
#include "support/flows.h"
#include "support/temp_file.h"

namespace {

using korvel_test::MakeFlow;
using korvel_test::MakeInterface;

class IntakeTest : public ::testing::Test {
 protected:
  IntakeTest() : plugin("proc", {{"conf_filename", config.Path()}}) { kvGlobalConfig::Create(); }

  void Single(uint32_t event, std::shared_ptr<kvFlow>& flow) {
    plugin.DispatchProcessorEvent(static_cast<kvPluginProcessor::Event>(event), flow);
  }
  void Walk(uint32_t event, kvFlowMap& map) {
    plugin.DispatchProcessorEvent(static_cast<kvPluginProcessor::Event>(event), &map);
  }
  std::vector<uint16_t> QueuedKinds() const {
    std::vector<uint16_t> kinds;
    for (const kppFlowEvent& event : plugin.event_queue) kinds.push_back(event.event);
    return kinds;
  }

  korvel_test::TempFile config;
  kppPlugin plugin;
  std::shared_ptr<kvInterface> iface = MakeInterface("eth0", kvInterface::ROLE_LAN);
};

TEST_F(IntakeTest, NothingIsQueuedBeforeAConfigurationIsInstalled) {
  auto flow = MakeFlow(iface, 1);
  kvFlowMap map(4);
  map.Insert("a", flow);
  for (uint32_t event : {4u, 6u, 7u, 8u}) Single(event, flow);
  Walk(1, map);
  EXPECT_TRUE(plugin.event_queue.empty());

  // Documents and the end of an update are not gated.
  kvPacketStats stats;
  stats.pkt_raw = 5;
  plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_PKT_GLOBAL_STATS, &stats);
  EXPECT_EQ(plugin.json_global_stats.at("raw"), 5);
  plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_UPDATE_COMPLETE);
  EXPECT_TRUE(plugin.dispatch_pending.load());
}

TEST_F(IntakeTest, SingleFlowEventsNeedASocketOrFlowStreamChannel) {
  auto flow = MakeFlow(iface, 1);
  for (uint8_t types : {1, 8, 9}) {
    plugin.channel_types.store(types);
    for (uint32_t event : {4u, 6u, 7u, 8u}) Single(event, flow);
    EXPECT_TRUE(plugin.event_queue.empty()) << int(types);
  }
  for (uint8_t types : {2, 4}) {
    plugin.channel_types.store(types);
    for (uint32_t event : {4u, 6u, 7u, 8u}) Single(event, flow);
  }
  EXPECT_EQ(QueuedKinds(), (std::vector<uint16_t>{4, 6, 7, 8, 4, 6, 7, 8}));
}

TEST_F(IntakeTest, SingleFlowOverloadIgnoresOtherValues) {
  plugin.channel_types.store(0x0f);
  auto flow = MakeFlow(iface, 1);
  for (uint32_t event : {0u, 1u, 2u, 3u, 5u, 9u, 13u, 300u}) Single(event, flow);
  std::shared_ptr<kvFlow> none;
  Single(8, none);
  EXPECT_TRUE(plugin.event_queue.empty());
}

TEST_F(IntakeTest, SingleFlowEventSnapshotsTheCountersWhenQueued) {
  plugin.channel_types.store(kppChannelConfig::TYPE_STREAM_FLOWS);
  auto flow = MakeFlow(iface, 1);
  flow->stats.lower_bytes = 10;
  flow->stats_ready = false;  // no flag is tested for single-flow events
  flow->stats.lower_packets = flow->stats.upper_packets = 0;
  Single(7, flow);
  flow->stats.lower_bytes = 99;
  ASSERT_EQ(plugin.event_queue.size(), 1u);
  EXPECT_EQ(plugin.event_queue[0].stats.lower_bytes, 10u);
  EXPECT_EQ(plugin.event_queue[0].flow, flow);
}

TEST_F(IntakeTest, WalkQueuesReadyFlowsWithTraffic) {
  plugin.channel_types.store(kppChannelConfig::TYPE_LEGACY_HTTP);
  kvFlowMap map(3);
  auto ready = MakeFlow(iface, 1);
  auto not_ready = MakeFlow(iface, 2);
  not_ready->stats_ready = false;
  auto held = MakeFlow(iface, 3);
  held->stats_hold = true;
  auto silent = MakeFlow(iface, 4);
  silent->stats.lower_packets = silent->stats.upper_packets = 0;
  auto only_upper = MakeFlow(iface, 5);
  only_upper->stats.lower_packets = 0;
  auto only_lower = MakeFlow(iface, 6);
  only_lower->stats.upper_packets = 0;
  map.Insert("ready", ready);
  map.Insert("not-ready", not_ready);
  map.Insert("held", held);
  map.Insert("silent", silent);
  map.Insert("only-upper", only_upper);
  map.Insert("only-lower", only_lower);

  Walk(1, map);
  std::multiset<uint64_t> digests;
  for (const kppFlowEvent& event : plugin.event_queue) {
    EXPECT_EQ(event.event, 1);
    digests.insert(event.flow->digest);
  }
  EXPECT_EQ(digests, (std::multiset<uint64_t>{1, 5, 6}));
  // The walk leaves every bucket unlocked.
  for (size_t i = 0; i < map.GetBuckets(); i++) {
    map.Acquire(i);
    map.Release(i);
  }
}

TEST_F(IntakeTest, WalkNeedsAPeriodicOrSocketChannel) {
  kvFlowMap map(2);
  map.Insert("a", MakeFlow(iface, 1));
  for (uint8_t types : {0, 4}) {
    plugin.channel_types.store(types);
    Walk(1, map);
  }
  EXPECT_TRUE(plugin.event_queue.empty());
  for (uint8_t types : {1, 2, 8}) {
    plugin.channel_types.store(types);
    Walk(1, map);
  }
  EXPECT_EQ(plugin.event_queue.size(), 3u);
}

TEST_F(IntakeTest, WalkIgnoresOtherValuesAndEmptyMaps) {
  plugin.channel_types.store(0x0f);
  kvFlowMap map(2);
  map.Insert("a", MakeFlow(iface, 1));
  for (uint32_t event : {0u, 4u, 5u, 8u, 13u}) Walk(event, map);
  kvFlowMap no_buckets(0);
  Walk(1, no_buckets);
  plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_MAP,
                                static_cast<kvFlowMap*>(nullptr));
  EXPECT_TRUE(plugin.event_queue.empty());
}

TEST_F(IntakeTest, QueuedEventKeepsAForgottenFlowAlive) {
  plugin.channel_types.store(kppChannelConfig::TYPE_LEGACY_SOCKET);
  kvFlowMap map(1);
  {
    auto flow = MakeFlow(iface, 1);
    map.Insert("a", flow);
    Single(6, flow);
    Walk(1, map);
    map.Erase("a");
  }
  ASSERT_EQ(plugin.event_queue.size(), 2u);
  EXPECT_EQ(plugin.event_queue[0].flow.use_count(), 2);
  EXPECT_EQ(plugin.event_queue[0].flow->digest, 1u);
}

TEST_F(IntakeTest, DocumentEventsOnlyTakeTheirOwnValue) {
  kvPacketStats stats;
  kvInstanceStatus status;
  kppPlugin::Interfaces interfaces{{"eth0", iface}};
  plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_PKT_INTERFACE_STATS, &stats);
  plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_INTERFACES, "eth0", &stats);
  plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_INSTANCE_STATUS, &interfaces);
  plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_PKT_GLOBAL_STATS, &status);
  plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_MAP);
  EXPECT_TRUE(plugin.json_interfaces.is_null());
  EXPECT_TRUE(plugin.json_interface_stats.is_null());
  EXPECT_TRUE(plugin.json_global_stats.is_null());
  EXPECT_TRUE(plugin.json_status.is_null());
  EXPECT_FALSE(plugin.dispatch_pending.load());

  plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_INTERFACES, &interfaces);
  plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_PKT_INTERFACE_STATS, "eth0", &stats);
  plugin.DispatchProcessorEvent(kvPluginProcessor::EVENT_INSTANCE_STATUS, &status);
  EXPECT_EQ(plugin.json_interfaces.size(), 1u);
  EXPECT_EQ(plugin.json_interface_stats.size(), 1u);
  EXPECT_EQ(plugin.json_status.size(), 24u);
}

}  // namespace

// The worker loop on its own thread: loading, batches in arrival order, filters, termination and
// the end-of-update step.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "kv/global_config.h"
#include "kv/instance_status.h"
#include "kv/packet_stats.h"
#include "plugin/plugin.h"
#include "support/flows.h"
#include "support/log_capture.h"
#include "support/sink_recorder.h"
#include "support/temp_file.h"
#include "support/wait.h"

namespace {

using korvel_test::LogCapture;
using korvel_test::MakeFlow;
using korvel_test::MakeInterface;
using korvel_test::SinkCall;
using korvel_test::SinkRecorder;
using korvel_test::WaitUntil;

size_t CountLines(const std::vector<std::string>& lines, const std::string& text) {
  return static_cast<size_t>(std::count(lines.begin(), lines.end(), text));
}

std::vector<std::string> Types(const std::vector<SinkCall>& calls) {
  std::vector<std::string> types;
  for (const SinkCall& call : calls) {
    types.push_back(call.sink + "/" + *call.channels.begin() + ":" +
                    call.payload.value("type", std::string("-")));
  }
  return types;
}

class WorkerTest : public ::testing::Test {
 protected:
  void SetUp() override { kvGlobalConfig::Create(); }
  void TearDown() override { Stop(); }

  void Start(const std::string& configuration) {
    config.Write(configuration);
    plugin =
        std::make_unique<kppPlugin>("proc", kvPlugin::Params{{"conf_filename", config.Path()}});
    plugin->Create();
    ASSERT_TRUE(WaitUntil([this] { return !plugin->reload.load(); }));
  }

  void Stop() {
    if (!plugin) return;
    plugin->Terminate();
    plugin->Join();
    plugin.reset();
  }

  void Event(uint32_t event, std::shared_ptr<kvFlow>& flow) {
    plugin->DispatchProcessorEvent(static_cast<kvPluginProcessor::Event>(event), flow);
  }

  LogCapture log;
  SinkRecorder sink;
  korvel_test::TempFile config;
  std::unique_ptr<kppPlugin> plugin;
  std::shared_ptr<kvInterface> lan = MakeInterface("eth0", kvInterface::ROLE_LAN);
};

TEST_F(WorkerTest, PrintsItsBannerAndLoadsTheConfigurationFirst) {
  Start(R"({"sinks": {"s": {"c": {"types": ["stream-flows"]}}}})");
  const std::vector<std::string> lines = log.Lines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "proc: initialized\n");
  EXPECT_EQ(lines[1].rfind("proc: Korvel Core Processor Plugin v1.2.5", 0), 0u) << lines[1];
  EXPECT_EQ(lines[2], "proc: Loading configuration: " + config.Path() + "\n");
  EXPECT_EQ(plugin->channel_types.load(), kppChannelConfig::TYPE_STREAM_FLOWS);
}

TEST_F(WorkerTest, ReloadRequestWhileWaitingIsAppliedWithinTheWaitPeriod) {
  Start(R"({"sinks": {"s": {"c": {"types": ["stream-flows"]}}}})");
  config.Write(R"({"sinks": {"s": {"c": {"types": ["legacy-http"]}}}})");
  plugin->DispatchEvent(kvPlugin::EVENT_RELOAD);
  ASSERT_TRUE(WaitUntil(
      [this] { return plugin->channel_types.load() == kppChannelConfig::TYPE_LEGACY_HTTP; }));
  EXPECT_EQ(CountLines(log.Lines(), "proc: Loading configuration: " + config.Path() + "\n"), 2u);
}

TEST_F(WorkerTest, FailedReloadKeepsTheConfigurationInForce) {
  Start(R"({"sinks": {"s": {"c": {"types": ["stream-flows"]}}}})");
  config.Write("{ broken");
  plugin->DispatchEvent(kvPlugin::EVENT_RELOAD);
  ASSERT_TRUE(WaitUntil([this] { return log.PrintedLines().size() == 2; }));
  EXPECT_EQ(log.PrintedLines()[1].rfind(
                "proc: configuration not loaded: proc: " + config.Path() + ": JSON exception: ", 0),
            0u)
      << log.PrintedLines()[1];
  EXPECT_EQ(plugin->channel_types.load(), kppChannelConfig::TYPE_STREAM_FLOWS);
  EXPECT_EQ(plugin->sinks.size(), 1u);
}

TEST_F(WorkerTest, FlowEventsGoToSocketChannelsThenFlowStreamsInArrivalOrder) {
  Start(R"({"sinks": {
      "b": {"flows": {"types": ["stream-flows"], "format": "msgpack", "compressor": "gz"}},
      "a": {"socket": {"types": ["legacy-socket"]}}}})");
  auto first = MakeFlow(lan, 1);
  auto second = MakeFlow(lan, 2);
  Event(6, first);
  Event(8, second);
  Event(4, first);
  ASSERT_TRUE(WaitUntil([this] { return sink.Count() == 6; }));
  const std::vector<SinkCall> calls = sink.Calls();
  EXPECT_EQ(Types(calls),
            (std::vector<std::string>{"a/socket:flow", "b/flows:flow", "a/socket:flow_dpi_complete",
                                      "b/flows:flow_dpi_complete", "a/socket:flow_purge",
                                      "b/flows:flow_purge"}));
  EXPECT_EQ(calls[0].flags, 0x19);
  EXPECT_EQ(calls[1].flags, 0x24);
  EXPECT_EQ(calls[2].payload.at("flow").at("digest"), "0000000000000002");
  EXPECT_EQ(calls[0].payload, calls[1].payload);
}

TEST_F(WorkerTest, TerminateDrainsTheQueueBeforeTheWorkerReturns) {
  Start(R"({"sinks": {"s": {"c": {"types": ["stream-flows"]}}}})");
  auto flow = MakeFlow(lan, 1);
  plugin->Lock();  // hold the worker off until everything is queued
  for (int i = 0; i < 50; i++) plugin->event_queue.push_back(kppFlowEvent{flow, 6, flow->stats});
  plugin->Terminate();
  plugin->Unlock();
  plugin->Join();
  EXPECT_EQ(sink.Count(), 50u);
  EXPECT_TRUE(plugin->event_queue.empty());
  EXPECT_TRUE(plugin->work_queue.empty());
  EXPECT_EQ(flow.use_count(), 1);
}

TEST_F(WorkerTest, EmptyDocumentsAreNotDispatched) {
  Start(R"({"sinks": {"s": {"c": {"types": ["stream-flows", "legacy-socket"]}}}})");
  auto flow = MakeFlow(lan, 1);
  plugin->Lock();
  for (uint16_t kind : {2, 3, 5, 9, 6}) plugin->event_queue.push_back(kppFlowEvent{flow, kind, {}});
  plugin->Unlock();
  Event(13, flow);  // ignored by the single-flow overload
  ASSERT_TRUE(WaitUntil([this] { return sink.Count() >= 2; }));
  Stop();
  EXPECT_EQ(Types(sink.Calls()), (std::vector<std::string>{"s/c:flow", "s/c:flow"}));
  EXPECT_EQ(flow.use_count(), 1);
}

TEST_F(WorkerTest, FirstMatchingFilterPassesTheEvent) {
  Start(R"({"flow_filters": ["ip_protocol == 17", "ip_protocol == 6", "no_such_field == 1"],
            "sinks": {"s": {"c": {"types": ["stream-flows"]}}}})");
  auto tcp = MakeFlow(lan, 1);
  auto udp = MakeFlow(lan, 2);
  udp->ip_protocol = 17;
  auto icmp = MakeFlow(lan, 3);
  icmp->ip_protocol = 1;
  Event(6, tcp);
  Event(6, udp);
  Event(6, icmp);
  Event(7, tcp);
  ASSERT_TRUE(WaitUntil([this] { return sink.Count() == 3; }));
  Stop();
  const std::vector<SinkCall> calls = sink.Calls();
  EXPECT_EQ(calls[0].payload.at("flow").at("digest"), "0000000000000001");
  EXPECT_EQ(calls[1].payload.at("flow").at("digest"), "0000000000000002");
  EXPECT_EQ(calls[2].payload.at("type"), "flow_dpi_update");
  // Only the ICMP flow reached the third expression, which cannot be evaluated.
  size_t errors = 0;
  for (const std::string& line : log.Lines()) {
    if (line.rfind("proc: no_such_field == 1: ", 0) == 0) errors++;
  }
  EXPECT_EQ(errors, 1u);
}

TEST_F(WorkerTest, EveryFilterFailingDropsEveryEvent) {
  Start(R"({"flow_filters": ["bad ==", "(("],
            "sinks": {"s": {"c": {"types": ["stream-flows"]}}}})");
  auto flow = MakeFlow(lan, 1);
  Event(6, flow);
  Event(8, flow);
  Stop();
  EXPECT_EQ(sink.Count(), 0u);
  size_t bad = 0, open = 0;
  for (const std::string& line : log.Lines()) {
    if (line.rfind("proc: bad ==: ", 0) == 0) bad++;
    if (line.rfind("proc: ((: ", 0) == 0) open++;
  }
  EXPECT_EQ(bad, 2u);
  EXPECT_EQ(open, 2u);
}

class UpdateEndTest : public WorkerTest {
 protected:
  // Fills every stored document, ends the update and pushes one flow event through, so that the
  // worker examines the pending update.
  void FinishOneUpdate() {
    kvPacketStats stats;
    kvInstanceStatus status;
    kppPlugin::Interfaces interfaces{{"eth0", lan}};
    plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_INTERFACES, &interfaces);
    plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_PKT_INTERFACE_STATS, "eth0", &stats);
    plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_PKT_GLOBAL_STATS, &stats);
    plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_INSTANCE_STATUS, &status);
    plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_UPDATE_COMPLETE);
    auto flow = MakeFlow(lan, 1);
    plugin->Lock();
    plugin->event_queue.push_back(kppFlowEvent{flow, 6, flow->stats});
    plugin->Unlock();
    ASSERT_TRUE(WaitUntil([this] { return !plugin->dispatch_pending.load(); }));
    plugin->Terminate();
    plugin->Join();
  }
};

TEST_F(UpdateEndTest, StreamStatsOnlySendsTheStreamFamily) {
  Start(R"({"sinks": {"s": {"c": {"types": ["stream-stats"]}}}})");
  FinishOneUpdate();
  EXPECT_EQ(Types(sink.Calls()),
            (std::vector<std::string>{"s/c:agent_status", "s/c:interfaces", "s/c:endpoints",
                                      "s/c:interface_stats", "s/c:global_stats"}));
}

TEST_F(UpdateEndTest, FlowStreamsOnlySendsNoPeriodicPayloadButEmptiesTheDocuments) {
  Start(R"({"sinks": {"s": {"c": {"types": ["stream-flows"]}}}})");
  FinishOneUpdate();
  EXPECT_EQ(Types(sink.Calls()), (std::vector<std::string>{"s/c:flow"}));
  for (const json* stored : {&plugin->json_status, &plugin->json_interfaces,
                             &plugin->json_interface_stats, &plugin->json_global_stats}) {
    EXPECT_EQ(*stored, json::object());
  }
  // The interface had no endpoints, so that document was never written and stays null.
  EXPECT_TRUE(plugin->json_endpoints.is_null());
}

TEST_F(UpdateEndTest, PendingUpdateWaitsForAPassThatTookOverAnEvent) {
  Start(R"({"sinks": {"s": {"c": {"types": ["stream-stats"]}}}})");
  plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_UPDATE_COMPLETE);
  // Idle passes go straight to the wait; the flag stays set until a batch has been handled.
  const uint64_t passes = plugin->GetThreadLockCount();
  ASSERT_TRUE(WaitUntil([&] { return plugin->GetThreadLockCount() >= passes + 2; }));
  EXPECT_TRUE(plugin->dispatch_pending.load());
  EXPECT_EQ(sink.Count(), 0u);
}

TEST_F(UpdateEndTest, StoredDocumentsAreEmptiedInPlace) {
  Start(R"({"sinks": {"s": {"c": {"types": ["stream-flows"]}}}})");
  kvPacketStats stats;
  plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_PKT_GLOBAL_STATS, &stats);
  plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_UPDATE_COMPLETE);
  auto flow = MakeFlow(lan, 1);
  Event(6, flow);
  ASSERT_TRUE(WaitUntil([this] { return !plugin->dispatch_pending.load(); }));
  plugin->Terminate();
  plugin->Join();
  EXPECT_EQ(plugin->json_global_stats, json::object());
  EXPECT_TRUE(plugin->json_status.is_null());
  EXPECT_TRUE(plugin->json_interfaces.is_null());
}

}  // namespace

// The worker loop on its own thread: loading, batches in arrival order, filters, termination and
// the end-of-update step.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "kv/flow_map.h"
#include "kv/global_config.h"
#include "kv/instance_status.h"
#include "kv/packet_stats.h"
#include "kv/standin.h"
#include "plugin/plugin.h"
#include "support/flows.h"
#include "support/log_capture.h"
#include "support/sink_recorder.h"
#include "support/temp_file.h"
#include "support/wait.h"

namespace {

using korvel_test::MakeFlow;
using korvel_test::SinkCall;
using korvel_test::WaitUntil;

constexpr const char* kFlowChannel = R"({"sinks": {"s": {"c": {"types": ["stream-flows"]}}}})";

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
  }

  void Event(uint32_t event, std::shared_ptr<kvFlow>& flow) {
    plugin->DispatchProcessorEvent(static_cast<kvPluginProcessor::Event>(event), flow);
  }

  // "sink/channel:type" of every call so far.
  std::vector<std::string> Types() const {
    std::vector<std::string> types;
    for (const SinkCall& call : sink.Calls()) {
      types.push_back(call.sink + "/" + *call.channels.begin() + ":" +
                      call.payload.value("type", std::string("-")));
    }
    return types;
  }

  // How many lines logged so far start with `head`.
  size_t LinesStartingWith(const std::string& head) const {
    const std::vector<std::string> lines = log.Lines();
    return std::count_if(lines.begin(), lines.end(),
                         [&](const std::string& line) { return line.rfind(head, 0) == 0; });
  }

  korvel_test::LogCapture log;
  korvel_test::SinkRecorder sink;
  korvel_test::TempFile config;
  std::unique_ptr<kppPlugin> plugin;
  std::shared_ptr<kvInterface> lan = korvel_test::MakeInterface("eth0", kvInterface::ROLE_LAN);
};

// Banner and first load; a reload request while waiting is applied within the wait period, and
// a failed one keeps the configuration in force.
TEST_F(WorkerTest, LoadsFirstAndReloadsOnRequest) {
  Start(kFlowChannel);
  const std::vector<std::string> lines = log.Lines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "proc: initialized\n");
  EXPECT_EQ(lines[1].rfind("proc: Korvel Core Processor Plugin v1.2.5", 0), 0u) << lines[1];
  EXPECT_EQ(lines[2], "proc: Loading configuration: " + config.Path() + "\n");
  EXPECT_EQ(plugin->channel_types.load(), kppChannelConfig::TYPE_STREAM_FLOWS);

  config.Write(R"({"sinks": {"s": {"c": {"types": ["legacy-http"]}}}})");
  plugin->DispatchEvent(kvPlugin::EVENT_RELOAD);
  ASSERT_TRUE(WaitUntil([this] { return plugin->channel_types.load() == 1; }));
  EXPECT_EQ(LinesStartingWith("proc: Loading configuration: " + config.Path() + "\n"), 2u);

  config.Write("{ broken");
  plugin->DispatchEvent(kvPlugin::EVENT_RELOAD);
  ASSERT_TRUE(WaitUntil([this] { return log.PrintedLines().size() == 2; }));
  EXPECT_EQ(log.PrintedLines()[1].rfind(
                "proc: configuration not loaded: proc: " + config.Path() + ": JSON exception: ", 0),
            0u)
      << log.PrintedLines()[1];
  EXPECT_EQ(plugin->channel_types.load(), 1);
  EXPECT_EQ(plugin->sinks.size(), 1u);
}

// Terminate drains the queue before the worker returns; events that make no document are not
// dispatched, and every flow reference is returned.
TEST_F(WorkerTest, TerminateDrainsTheQueueAndSkipsEmptyDocuments) {
  Start(R"({"sinks": {"s": {"c": {"types": ["stream-flows", "legacy-socket"]}}}})");
  auto flow = MakeFlow(lan, 1);
  plugin->Lock();  // hold the worker off until everything is queued
  for (int i = 0; i < 50; i++) plugin->event_queue.push_back(kppFlowEvent{flow, 6, flow->stats});
  for (uint16_t kind : {2, 3, 5, 9}) plugin->event_queue.push_back(kppFlowEvent{flow, kind, {}});
  plugin->Terminate();
  plugin->Unlock();
  plugin->Join();
  EXPECT_EQ(Types(), std::vector<std::string>(100, "s/c:flow"));  // each to both types
  EXPECT_TRUE(plugin->event_queue.empty());
  EXPECT_TRUE(plugin->work_queue.empty());
  EXPECT_EQ(flow.use_count(), 1);
}

// The first filter that matches passes the event; one that cannot be evaluated is logged and
// counts as no match, so an event no filter passes is dropped.
TEST_F(WorkerTest, FirstMatchingFilterPassesTheEvent) {
  Start(R"({"flow_filters": ["ip_protocol == 17", "ip_protocol == 6", "no_such_field == 1",
                             "(("], "sinks": {"s": {"c": {"types": ["stream-flows"]}}}})");
  auto tcp = MakeFlow(lan, 1);
  auto udp = MakeFlow(lan, 2);
  udp->ip_protocol = 17;
  auto icmp = MakeFlow(lan, 3);
  icmp->ip_protocol = 1;
  Event(6, tcp);
  Event(6, udp);
  Event(6, icmp);
  Event(7, tcp);
  Event(8, icmp);
  Stop();
  const std::vector<SinkCall> calls = sink.Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].payload.at("flow").at("digest"), "0000000000000001");
  EXPECT_EQ(calls[1].payload.at("flow").at("digest"), "0000000000000002");
  EXPECT_EQ(calls[2].payload.at("type"), "flow_dpi_update");
  // Only the ICMP flow's two events reached the expressions that cannot be evaluated.
  EXPECT_EQ(LinesStartingWith("proc: no_such_field == 1: "), 2u);
  EXPECT_EQ(LinesStartingWith("proc: ((: "), 2u);
}

// While the worker is held in a sink call the queue fills up to its limit; the events turned away
// are logged once at the end of their update, and the queued ones are sent as usual.
TEST_F(WorkerTest, EventsTurnedAwayByTheQueueLimitAreLoggedOncePerUpdate) {
  std::atomic<bool> entered{false};
  std::atomic<bool> go{false};
  std::mutex received_lock;
  std::vector<std::string> received;  // guarded by received_lock
  auto received_now = [&] {
    std::lock_guard<std::mutex> guard(received_lock);
    return received;
  };
  kvStandIn::SetSinkHandler([&](const std::string&, const std::set<std::string>&,
                                const json& payload, uint8_t) {
    entered.store(true);
    while (!go.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::lock_guard<std::mutex> guard(received_lock);
    received.push_back(payload.contains("flow") ? payload["flow"].value("digest", "") : "legacy");
  });
  Start(R"({"flow_queue_limit": 2,
            "sinks": {"s": {"c": {"types": ["stream-flows", "legacy-http"]}}}})");
  std::vector<std::shared_ptr<kvFlow>> flows;
  for (uint64_t digest = 1; digest <= 9; digest++) flows.push_back(MakeFlow(lan, digest));
  kvFlowMap map(2);
  for (size_t i = 6; i < 9; i++) map.Insert(std::to_string(i), flows[i]);

  // Holds the worker in the sink with the first event, queues `count` more events (and the
  // walk, when asked), ends the update and lets the worker go.
  auto update = [&](size_t count, bool walk, size_t calls) {
    entered.store(false);
    go.store(false);
    Event(6, flows[0]);
    ASSERT_TRUE(WaitUntil([&] { return entered.load(); }));
    for (size_t i = 1; i <= count; i++) Event(6, flows[i]);
    if (walk) plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_MAP, &map);
    plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_UPDATE_COMPLETE);
    go.store(true);
    ASSERT_TRUE(WaitUntil([&] { return received_now().size() == calls; }));
  };
  update(5, true, 4);    // 3 single events and the walk's 3 flows turned away
  update(3, false, 8);   // 1 turned away
  update(0, false, 10);  // none
  Stop();

  const std::string d1 = "0000000000000001", d2 = "0000000000000002", d3 = "0000000000000003";
  EXPECT_EQ(received_now(),
            (std::vector<std::string>{d1, "legacy", d2, d3, d1, "legacy", d2, d3, d1, "legacy"}));
  const std::vector<std::string> printed = log.PrintedLines();
  ASSERT_EQ(printed.size(), 3u);
  EXPECT_EQ(printed[1], "proc: 6 flow events dropped: flow_queue_limit 2 reached\n");
  EXPECT_EQ(printed[2], "proc: 1 flow event dropped: flow_queue_limit 2 reached\n");
  for (const auto& flow : flows) EXPECT_LE(flow.use_count(), 2);
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
    Event(6, flow);
    ASSERT_TRUE(WaitUntil([this] { return !plugin->dispatch_pending.load(); }));
    Stop();
  }
};

// The stored documents are emptied in place; the interface had no endpoints, so that document
// was never written and stays null.
TEST_F(UpdateEndTest, FlowStreamsOnlySendsNoPeriodicPayloadButEmptiesTheDocuments) {
  Start(kFlowChannel);
  FinishOneUpdate();
  EXPECT_EQ(Types(), (std::vector<std::string>{"s/c:flow"}));
  for (const json* stored : {&plugin->json_status, &plugin->json_interfaces,
                             &plugin->json_interface_stats, &plugin->json_global_stats}) {
    EXPECT_EQ(*stored, json::object());
  }
  EXPECT_TRUE(plugin->json_endpoints.is_null());
}

// The daemon ends after an update with no flow event after it: the worker sends its payloads
// before it ends, once.
TEST_F(UpdateEndTest, PendingUpdateIsSentWhenTheWorkerEnds) {
  Start(R"({"sinks": {"s": {"c": {"types": ["stream-stats"]}}}})");
  kvPacketStats stats;
  stats.pkt_raw = 3;
  stats.pkt_discard = 3;
  kppPlugin::Interfaces interfaces{{"eth0", lan}};
  plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_INTERFACES, &interfaces);
  plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_PKT_INTERFACE_STATS, "eth0", &stats);
  plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_PKT_GLOBAL_STATS, &stats);
  plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_UPDATE_COMPLETE);
  Stop();
  EXPECT_EQ(Types(),
            (std::vector<std::string>{"s/c:agent_status", "s/c:interfaces", "s/c:endpoints",
                                      "s/c:interface_stats", "s/c:global_stats"}));
  EXPECT_FALSE(plugin->dispatch_pending.load());
  const json global_stats = sink.Calls().back().payload;
  EXPECT_EQ(global_stats.at("raw"), 3);
  EXPECT_EQ(global_stats.at("discarded"), 3);
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

}  // namespace

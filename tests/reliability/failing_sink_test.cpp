// A sink that throws: the worker ends with the daemon's log line, the daemon's threads go on
// delivering events without blocking, and termination and destruction stay clean.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "kv/flow_map.h"
#include "kv/global_config.h"
#include "kv/instance_status.h"
#include "kv/interface.h"
#include "kv/packet_stats.h"
#include "kv/standin.h"
#include "plugin/plugin.h"
#include "support/flows.h"
#include "support/log_capture.h"
#include "support/temp_file.h"
#include "support/wait.h"

namespace {

using korvel_test::LogCapture;
using korvel_test::MakeFlow;
using korvel_test::MakeInterface;
using korvel_test::TempFile;
using korvel_test::WaitUntil;

// Installs a sink that throws `thrown()` on every call, for the object's lifetime.
class ThrowingSink {
 public:
  template <typename Thrower>
  explicit ThrowingSink(Thrower thrower) {
    kvStandIn::SetSinkHandler(
        [this, thrower](const std::string&, const std::set<std::string>&, const json&, uint8_t) {
          calls++;
          thrower();
        });
  }
  ~ThrowingSink() { kvStandIn::SetSinkHandler(nullptr); }
  ThrowingSink(const ThrowingSink&) = delete;
  ThrowingSink& operator=(const ThrowingSink&) = delete;

  std::atomic<int> calls{0};
};

// Two channels of one sink that both take flow documents and the stream payloads.
const std::string kTwoChannels = R"({"sinks": {"s": {
    "a": {"types": ["stream-flows", "stream-stats"]},
    "b": {"types": ["stream-flows", "stream-stats"]}}}})";

class FailingSinkTest : public ::testing::Test {
 protected:
  void SetUp() override { kvGlobalConfig::Create(); }

  void Start(const std::string& tag, const std::string& text = kTwoChannels, uint8_t types = 12) {
    config.Write(text);
    plugin = std::make_unique<kppPlugin>(tag, kvPlugin::Params{{"conf_filename", config.Path()}});
    plugin->Create();
    ASSERT_TRUE(WaitUntil([this, types] { return plugin->channel_types.load() == types; }));
  }

  // After the worker has ended: every kind of daemon event is still taken without blocking, and
  // the flows queued meanwhile are held until the plugin is destroyed.
  void DeliverEverythingThenDestroy() {
    auto iface = MakeInterface("eth0", kvInterface::ROLE_LAN);
    auto flow = MakeFlow(iface, 2);
    kvFlowMap map(4);
    map.Insert("flow", flow);
    kppPlugin::Interfaces interfaces{{"eth0", iface}};
    kvPacketStats stats;
    kvInstanceStatus status;
    std::vector<std::thread> daemon;
    for (int t = 0; t < 4; t++) {
      daemon.emplace_back([&] {
        for (int i = 0; i < 250; i++) {
          plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_DPI_UPDATE, flow);
          plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_MAP, &map);
          plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_INTERFACES, &interfaces);
          plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_PKT_INTERFACE_STATS, "eth0",
                                         &stats);
          plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_PKT_GLOBAL_STATS, &stats);
          plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_INSTANCE_STATUS, &status);
          plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_UPDATE_COMPLETE);
          plugin->DispatchEvent(kvPlugin::EVENT_RELOAD);
        }
      });
    }
    for (std::thread& thread : daemon) thread.join();
    // Each walk and each single-flow event the configuration lets in queued one reference.
    const uint8_t types = plugin->channel_types.load();
    const long queued = ((types & 0x06) != 0 ? 1000 : 0) + ((types & 0x0b) != 0 ? 1000 : 0);
    EXPECT_EQ(flow.use_count(), queued + 2);
    plugin->Terminate();
    plugin->Join();
    plugin.reset();
    EXPECT_EQ(flow.use_count(), 2);  // this test's and the map's
  }

  TempFile config;
  std::unique_ptr<kppPlugin> plugin;
};

TEST_F(FailingSinkTest, ExceptionEndsTheWorkerWithItsTextAfterTheFirstChannel) {
  LogCapture log(false);
  ThrowingSink sink([] { throw std::runtime_error("sink s: connection refused"); });
  Start("proc");
  auto flow = MakeFlow(MakeInterface("eth0", kvInterface::ROLE_LAN), 1);
  plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_NEW, flow);
  plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_NEW, flow);
  ASSERT_TRUE(WaitUntil([&] { return log.PrintedLines().size() == 2; }));
  EXPECT_EQ(log.PrintedLines()[1], "proc: sink s: connection refused\n");
  // Channel "b" never saw the document, nor did anything see the second event.
  EXPECT_EQ(sink.calls.load(), 1);
  DeliverEverythingThenDestroy();
  EXPECT_EQ(sink.calls.load(), 1);
  EXPECT_EQ(log.PrintedLines().size(), 2u);
}

TEST_F(FailingSinkTest, ThrownTextAndUnknownExceptionsEndTheWorkerTheSameWay) {
  {
    LogCapture log(false);
    ThrowingSink sink([] { throw std::string("sink s: gone"); });
    Start("text");
    auto flow = MakeFlow(MakeInterface("eth0", kvInterface::ROLE_LAN), 1);
    plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_NEW, flow);
    ASSERT_TRUE(WaitUntil([&] { return log.PrintedLines().size() == 2; }));
    EXPECT_EQ(log.PrintedLines()[1], "text: sink s: gone\n");
    DeliverEverythingThenDestroy();
  }
  {
    LogCapture log(false);
    ThrowingSink sink([] { throw 42; });
    Start("other");
    auto flow = MakeFlow(MakeInterface("eth0", kvInterface::ROLE_LAN), 1);
    plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_NEW, flow);
    ASSERT_TRUE(WaitUntil([&] { return log.PrintedLines().size() == 2; }));
    EXPECT_EQ(log.PrintedLines()[1], "other: unknown exception\n");
    DeliverEverythingThenDestroy();
  }
}

// The periodic payloads fail the same way: the first stream document, to channel "a". With
// stream-stats channels alone the walk's flow documents go nowhere, so the sink's first call is
// the update's first stream document.
TEST_F(FailingSinkTest, ExceptionFromAPeriodicPayloadEndsTheWorker) {
  LogCapture log(false);
  ThrowingSink sink([] { throw std::runtime_error("sink s: full"); });
  Start("proc",
        R"({"sinks": {"s": {"a": {"types": ["stream-stats"]}, "b": {"types": ["stream-stats"]}}}})",
        8);
  auto flow = MakeFlow(MakeInterface("eth0", kvInterface::ROLE_LAN), 1);
  kvFlowMap map(1);
  map.Insert("flow", flow);
  plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_UPDATE_COMPLETE);
  plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_MAP, &map);
  ASSERT_TRUE(WaitUntil([&] { return log.PrintedLines().size() == 2; }));
  EXPECT_EQ(log.PrintedLines()[1], "proc: sink s: full\n");
  EXPECT_EQ(sink.calls.load(), 1);
  DeliverEverythingThenDestroy();
}

// --- The tag leads every message, whatever its length ---

// One run of a plugin under `tag`: banner, a failed load, a bad filter at debug level, and the
// end of the worker through a throwing sink; the refused plugin type closes.
void RunUnderTag(const std::string& tag) {
  kvGlobalConfig::Create();
  TempFile config;
  config.Write(
      R"({"flow_filters": ["bogus"], "sinks": {"s": {"c": {"types": ["stream-flows"]}}}})");
  LogCapture log(true);
  ThrowingSink sink([] { throw std::runtime_error("sink down"); });
  auto plugin =
      std::make_unique<kppPlugin>(tag, kvPlugin::Params{{"conf_filename", config.Path()}});
  plugin->Create();
  ASSERT_TRUE(WaitUntil([&] { return plugin->channel_types.load() == 4; }));
  config.Write("{");
  plugin->DispatchEvent(kvPlugin::EVENT_RELOAD);
  ASSERT_TRUE(WaitUntil([&] { return log.PrintedLines().size() == 2; }));
  // The bad filter drops the event; an empty list then lets the next one through to the sink.
  auto flow = MakeFlow(MakeInterface("eth0", kvInterface::ROLE_LAN), 1);
  plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_NEW, flow);
  config.Write(R"({"flow_filters": [], "sinks": {"s": {"c": {"types": ["stream-flows"]}}}})");
  ASSERT_TRUE(WaitUntil([&] {
    for (const std::string& line : log.Lines()) {
      if (line.find(": bogus: ") != std::string::npos) return true;
    }
    return false;
  }));
  plugin->DispatchEvent(kvPlugin::EVENT_RELOAD);
  ASSERT_TRUE(WaitUntil([&] { return log.PrintedLines().size() == 2 && !plugin->reload.load(); }));
  plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_NEW, flow);
  ASSERT_TRUE(WaitUntil([&] { return log.PrintedLines().size() == 3; }));
  plugin->Terminate();
  plugin->Join();
  plugin.reset();
  kvPlugin* refused = kvPluginInit(tag, {{"conf_filename", config.Path()}, {"type", "3"}});
  EXPECT_EQ(refused, nullptr);

  const std::vector<std::string> printed = log.PrintedLines();
  ASSERT_EQ(printed.size(), 4u);
  EXPECT_EQ(printed[0].rfind(tag + ": Korvel Core Processor Plugin v1.2.5", 0), 0u);
  EXPECT_EQ(printed[1], tag + ": configuration not loaded: " + tag + ": " + config.Path() +
                            ": JSON exception: [json.exception.parse_error.101] parse error at "
                            "line 1, column 2: syntax error while parsing object key - "
                            "unexpected end of input; expected string literal\n");
  EXPECT_EQ(printed[2], tag + ": sink down\n");
  EXPECT_EQ(printed[3], "Invalid plugin type: " + tag + " [3]\n");
  size_t filter_lines = 0;
  for (const std::string& line : log.Lines()) {
    if (line.rfind(tag + ": bogus: ", 0) == 0) filter_lines++;
  }
  EXPECT_EQ(filter_lines, 1u);
  EXPECT_EQ(log.Lines().back(), tag + ": destroyed\n");
}

TEST(TagTest, EmptyTagLeadsEveryMessage) {
  RunUnderTag("");
}

TEST(TagTest, TagOf64KilobytesLeadsEveryMessage) {
  RunUnderTag(std::string(65536, 'T'));
}

}  // namespace

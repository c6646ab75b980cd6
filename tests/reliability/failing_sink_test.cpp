// A sink that throws: the worker ends with the daemon's log line, the daemon's threads go on
// delivering events without blocking, and termination and destruction stay clean; the plugin's
// tag, whatever its length, leads every message.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
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
#include "reliability/plugin_runner.h"
#include "support/flows.h"
#include "support/log_capture.h"
#include "support/wait.h"

namespace {

using korvel_test::LogCapture;
using korvel_test::MakeFlow;
using korvel_test::MakeInterface;
using korvel_test::PluginRunner;
using korvel_test::WaitUntil;

// Installs a sink that calls `thrower` on every call, for the object's lifetime.
class ThrowingSink {
 public:
  explicit ThrowingSink(std::function<void()> thrower) {
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

// After the worker has ended: every kind of daemon event is still taken without blocking, and
// the flows queued meanwhile are held until the plugin is destroyed.
void DeliverEverythingThenDestroy(std::unique_ptr<PluginRunner>& plugin) {
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
        (*plugin)->DispatchProcessorEvent(kvPluginProcessor::EVENT_DPI_UPDATE, flow);
        (*plugin)->DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_MAP, &map);
        (*plugin)->DispatchProcessorEvent(kvPluginProcessor::EVENT_INTERFACES, &interfaces);
        (*plugin)->DispatchProcessorEvent(kvPluginProcessor::EVENT_PKT_INTERFACE_STATS, "eth0",
                                          &stats);
        (*plugin)->DispatchProcessorEvent(kvPluginProcessor::EVENT_PKT_GLOBAL_STATS, &stats);
        (*plugin)->DispatchProcessorEvent(kvPluginProcessor::EVENT_INSTANCE_STATUS, &status);
        (*plugin)->DispatchProcessorEvent(kvPluginProcessor::EVENT_UPDATE_COMPLETE);
        (*plugin)->DispatchEvent(kvPlugin::EVENT_RELOAD);
      }
    });
  }
  for (std::thread& thread : daemon) thread.join();
  // Each walk and each single-flow event the configuration lets in queued one reference.
  const uint8_t types = (*plugin)->channel_types.load();
  const long queued = ((types & 0x06) != 0 ? 1000 : 0) + ((types & 0x0b) != 0 ? 1000 : 0);
  EXPECT_EQ(flow.use_count(), queued + 2);
  plugin.reset();
  EXPECT_EQ(flow.use_count(), 2);  // this test's and the map's
}

// The first document, to channel "a" of two, ends the worker: for flow events, and for the
// periodic payloads (with stream-stats channels alone the walk's flow documents go nowhere, so
// the sink's first call is the update's first stream document).
TEST(FailingSink, ExceptionEndsTheWorkerWithItsTextAfterTheFirstChannel) {
  kvGlobalConfig::Create();
  const std::string both = R"({"sinks": {"s": {
      "a": {"types": ["stream-flows", "stream-stats"]},
      "b": {"types": ["stream-flows", "stream-stats"]}}}})";
  const std::string stats =
      R"({"sinks": {"s": {"a": {"types": ["stream-stats"]}, "b": {"types": ["stream-stats"]}}}})";
  const struct {
    std::string tag;
    std::function<void()> thrower;
    std::string config;
    std::string line;
  } cases[] = {
      {"proc", [] { throw std::runtime_error("sink s: refused"); }, both,
       "proc: sink s: refused\n"},
      {"text", [] { throw std::string("sink s: gone"); }, both, "text: sink s: gone\n"},
      {"other", [] { throw 42; }, both, "other: unknown exception\n"},
      {"stats", [] { throw std::runtime_error("sink s: full"); }, stats, "stats: sink s: full\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tag);
    LogCapture log(false);
    ThrowingSink sink(c.thrower);
    auto plugin = std::make_unique<PluginRunner>(c.config, c.tag);
    auto flow = MakeFlow(MakeInterface("eth0", kvInterface::ROLE_LAN), 1);
    kvFlowMap map(1);
    map.Insert("flow", flow);
    if (c.config == stats) {
      (*plugin)->DispatchProcessorEvent(kvPluginProcessor::EVENT_UPDATE_COMPLETE);
      (*plugin)->DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_MAP, &map);
    } else {
      (*plugin)->DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_NEW, flow);
      (*plugin)->DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_NEW, flow);
    }
    ASSERT_TRUE(WaitUntil([&] { return log.PrintedLines().size() == 2; }));
    EXPECT_EQ(log.PrintedLines()[1], c.line);
    DeliverEverythingThenDestroy(plugin);
    // Channel "b" never saw the document, nor did anything see a later event.
    EXPECT_EQ(sink.calls.load(), 1);
    EXPECT_EQ(log.PrintedLines().size(), 2u);
  }
}

// One run of a plugin under each tag: banner, a failed load, a bad filter at debug level, and the
// end of the worker through a throwing sink; the refused plugin type closes.
TEST(FailingSink, TagOfAnyLengthLeadsEveryMessage) {
  kvGlobalConfig::Create();
  for (const std::string& tag : {std::string(), std::string(65536, 'T')}) {
    SCOPED_TRACE(tag.size());
    LogCapture log(true);
    ThrowingSink sink([] { throw std::runtime_error("sink down"); });
    auto plugin = std::make_unique<PluginRunner>(
        R"({"flow_filters": ["bogus"], "sinks": {"s": {"c": {"types": ["stream-flows"]}}}})", tag);
    const std::string path = plugin->Config().Path();
    plugin->Config().Write("{");
    (*plugin)->DispatchEvent(kvPlugin::EVENT_RELOAD);
    ASSERT_TRUE(WaitUntil([&] { return log.PrintedLines().size() == 2; }));
    // The bad filter drops the event; an empty list then lets the next one through to the sink.
    auto flow = MakeFlow(MakeInterface("eth0", kvInterface::ROLE_LAN), 1);
    (*plugin)->DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_NEW, flow);
    auto filter_lines = [&] {
      size_t count = 0;
      for (const std::string& line : log.Lines()) count += line.rfind(tag + ": bogus: ", 0) == 0;
      return count;
    };
    ASSERT_TRUE(WaitUntil([&] { return filter_lines() == 1; }));
    plugin->Config().Write(
        R"({"flow_filters": [], "sinks": {"s": {"c": {"types": ["stream-flows"]}}}})");
    (*plugin)->DispatchEvent(kvPlugin::EVENT_RELOAD);
    ASSERT_TRUE(WaitUntil([&] { return !(*plugin)->reload.load(); }));
    (*plugin)->DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_NEW, flow);
    ASSERT_TRUE(WaitUntil([&] { return log.PrintedLines().size() == 3; }));
    plugin.reset();
    EXPECT_EQ(kvPluginInit(tag, {{"conf_filename", path}, {"type", "3"}}), nullptr);

    const std::vector<std::string> printed = log.PrintedLines();
    ASSERT_EQ(printed.size(), 4u);
    EXPECT_EQ(printed[0].rfind(tag + ": Korvel Core Processor Plugin v1.2.5", 0), 0u);
    EXPECT_EQ(printed[1], tag + ": configuration not loaded: " + tag + ": " + path +
                              ": JSON exception: [json.exception.parse_error.101] parse error at "
                              "line 1, column 2: syntax error while parsing object key - "
                              "unexpected end of input; expected string literal\n");
    EXPECT_EQ(printed[2], tag + ": sink down\n");
    EXPECT_EQ(printed[3], "Invalid plugin type: " + tag + " [3]\n");
    EXPECT_EQ(filter_lines(), 1u);
    EXPECT_EQ(log.Lines().front(), tag + ": initialized\n");
    EXPECT_EQ(log.Lines().back(), tag + ": destroyed\n");
  }
}

}  // namespace

// A sink that throws: the refused document's event alone is lost, the worker logs it and goes on;
// the plugin's tag, whatever its length, leads every message.
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
#include "reliability/scripted_sink.h"
#include "support/flows.h"
#include "support/log_capture.h"
#include "support/wait.h"

namespace {

using korvel_test::LogCapture;
using korvel_test::MakeFlow;
using korvel_test::MakeInterface;
using korvel_test::PluginRunner;
using korvel_test::ScriptedSink;
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

// A refused call costs its one flow event: the channel before the refusing one keeps the
// document, the one after it does not get it, and every later event reaches both channels once,
// in order. The first refusal is logged at once, the second (same text) in the update's
// summary; after an update without refusals the text is forgotten and logged at once again.
TEST(FailingSink, ARefusedDocumentCostsOnlyItsOwnEvent) {
  kvGlobalConfig::Create();
  const struct {
    std::function<void()> thrower;
    std::string text;
  } cases[] = {
      {[] { throw std::runtime_error("sink s: refused"); }, "sink s: refused"},
      {[] { throw std::string("sink s: gone"); }, "sink s: gone"},
      {[] { throw 42; }, "unknown exception"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    LogCapture log(false);
    const std::set<std::string> refused = {"a:flow:2", "b:flow:4", "a:flow:9"};
    ScriptedSink sink([&](const std::string& label) { return refused.count(label) == 1; },
                      c.thrower);
    PluginRunner plugin(R"({"sinks": {"s": {"a": {"types": ["stream-flows"]},
                                             "b": {"types": ["stream-flows"]}}}})");
    auto iface = MakeInterface("eth0", kvInterface::ROLE_LAN);
    std::vector<std::shared_ptr<kvFlow>> flows;
    auto send = [&](uint64_t digest) {
      flows.push_back(MakeFlow(iface, digest));
      plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_NEW, flows.back());
    };
    // Waits until `calls` sink calls have been made, then ends the update with one more event.
    auto end_update = [&](size_t calls, uint64_t digest) {
      ASSERT_TRUE(WaitUntil([&] { return sink.Calls() == calls; }));
      plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_UPDATE_COMPLETE);
      send(digest);
      ASSERT_TRUE(WaitUntil([&] { return !plugin->dispatch_pending.load(); }));
    };
    for (uint64_t digest = 1; digest <= 5; digest++) send(digest);
    end_update(9, 6);
    end_update(11, 7);  // an update without refusals
    send(8);
    send(9);
    send(10);
    ASSERT_TRUE(WaitUntil([&] { return sink.Calls() == 18; }));
    plugin.Stop();

    EXPECT_EQ(sink.Accepted(), (std::vector<std::string>{
                                   "a:flow:1", "b:flow:1", "a:flow:3", "b:flow:3", "a:flow:4",
                                   "a:flow:5", "b:flow:5", "a:flow:6", "b:flow:6", "a:flow:7",
                                   "b:flow:7", "a:flow:8", "b:flow:8", "a:flow:10", "b:flow:10"}));
    EXPECT_EQ(sink.Refused(), (std::vector<std::string>{"a:flow:2", "b:flow:4", "a:flow:9"}));
    const std::vector<std::string> printed = log.PrintedLines();
    ASSERT_EQ(printed.size(), 4u);
    EXPECT_EQ(printed[1], "tag: flow event not sent: " + c.text + "\n");
    EXPECT_EQ(printed[2], "tag: 1 document not sent since the last update: " + c.text + "\n");
    EXPECT_EQ(printed[3], "tag: flow event not sent: " + c.text + "\n");
    for (const auto& flow : flows) EXPECT_EQ(flow.use_count(), 1);
  }
}

// One run of a plugin under each tag: banner, a failed load, a bad filter at debug level, and a
// document a throwing sink refuses; the refused plugin type closes.
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
    // The bad filter drops the event; an empty list then lets the next one through to the sink,
    // which refuses it.
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
    EXPECT_EQ(printed[2], tag + ": flow event not sent: sink down\n");
    EXPECT_EQ(printed[3], "Invalid plugin type: " + tag + " [3]\n");
    EXPECT_EQ(filter_lines(), 1u);
    EXPECT_EQ(log.Lines().front(), tag + ": initialized\n");
    EXPECT_EQ(log.Lines().back(), tag + ": destroyed\n");
  }
}

}  // namespace

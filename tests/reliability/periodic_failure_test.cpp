// Failures inside the periodic payloads and while the daemon's global configuration is missing:
// each costs the documents it hit, is logged first at once and then in one line per update, and
// the following events and updates reach every channel whole, once and in order.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "kv/flow_map.h"
#include "kv/global_config.h"
#include "kv/instance_status.h"
#include "kv/interface.h"
#include "kv/standin.h"
#include "plugin/plugin.h"
#include "plugin/worker_constants.h"
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

// One channel of each periodic kind: "h" legacy-http, "k" legacy-socket, "st" stream-stats.
constexpr const char* kPeriodicChannels = R"({"sinks": {"s": {
    "h": {"types": ["legacy-http"]}, "k": {"types": ["legacy-socket"]},
    "st": {"types": ["stream-stats"]}}}})";

const char kNoGlobalConfig[] =
    "static kvGlobalConfig &kvGlobalConfig::GetInstance(): instance not found";

// Every call the channels of kPeriodicChannels get for update `u`, whose walk reports the flow
// of digest `u` and whose status reports flow_count `u`; interfaces (a list of names) only when
// the update's interfaces event named some.
std::vector<std::string> UpdateCalls(int u, const std::string& interfaces = "") {
  const std::string n = std::to_string(u);
  return {"k:flow_stats:" + n,    "h:legacy:" + n + " flows " + n + " interfaces " + interfaces,
          "k:agent_hello",        "k:agent_status:" + n,
          "st:agent_status:" + n, "st:interfaces " + interfaces,
          "st:endpoints",         "st:interface_stats",
          "st:global_stats"};
}

class PeriodicFailureTest : public ::testing::Test {
 protected:
  void SetUp() override { kvGlobalConfig::Create(); }

  // Update `u`: the status (and the interfaces, when asked), the end of the update, then a walk
  // that finds the one flow of digest `u`; returns once `calls` sink calls have been made.
  void Update(PluginRunner& plugin, const ScriptedSink& sink, int u, size_t calls,
              bool with_interfaces = false) {
    if (with_interfaces) {
      kppPlugin::Interfaces interfaces{{"eth0", eth0}, {"gone", nullptr}};
      plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_INTERFACES, &interfaces);
    }
    kvInstanceStatus status;
    status.flow_count = static_cast<uint64_t>(u);
    plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_INSTANCE_STATUS, &status);
    plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_UPDATE_COMPLETE);
    kvFlowMap map(2);
    auto flow = MakeFlow(eth0, static_cast<uint64_t>(u));
    map.Insert("flow", flow);
    map.Insert("freed", nullptr);
    plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_MAP, &map);
    ASSERT_TRUE(WaitUntil([&] { return sink.Calls() == calls; })) << sink.Calls();
  }

  std::shared_ptr<kvInterface> eth0 = MakeInterface("eth0", kvInterface::ROLE_LAN);
};

// A refusal ends its family for the update: the documents after it in that family are not sent,
// the other family is, and the next update starts from emptied documents and flows. Null
// entries in the interface map and the flow map are passed over.
TEST_F(PeriodicFailureTest, ARefusedDocumentEndsItsFamilyForTheUpdateOnly) {
  LogCapture log(false);
  // The update being played, and the index in UpdateCalls of the call refused in it (0: none).
  std::atomic<int> update{0};
  const std::map<int, size_t> refused_call = {{1, 1}, {2, 5}, {3, 2}, {5, 8}};
  ScriptedSink sink(
      [&](const std::string& label) {
        auto found = refused_call.find(update.load());
        return found != refused_call.end() &&
               UpdateCalls(found->first, found->first == 1 ? "eth0" : "")[found->second] == label;
      },
      [] { throw std::runtime_error("sink s: full"); });
  PluginRunner plugin(kPeriodicChannels);

  std::vector<std::string> accepted;
  std::vector<std::string> refused;
  size_t attempted = 0;
  for (int u = 1; u <= 6; u++) {
    SCOPED_TRACE(u);
    update.store(u);
    const std::vector<std::string> all = UpdateCalls(u, u == 1 ? "eth0" : "");
    auto found = refused_call.find(u);
    // The family of the refused call ends with it: legacy calls 1 to 3, stream calls 4 to 8.
    const size_t skip_from = found == refused_call.end() ? all.size() : found->second;
    const size_t family_end = skip_from < 4 ? 4 : all.size();
    for (size_t i = 0; i < all.size(); i++) {
      if (i > skip_from && i < family_end) continue;
      attempted++;
      (i == skip_from ? refused : accepted).push_back(all[i]);
    }
    Update(plugin, sink, u, attempted, u == 1);
  }
  plugin.Stop();

  EXPECT_EQ(sink.Accepted(), accepted);
  EXPECT_EQ(sink.Refused(), refused);
  EXPECT_EQ(
      log.PrintedLines(),
      (std::vector<std::string>{log.PrintedLines().at(0),  // the banner
                                "tag: legacy payload not sent: sink s: full\n",
                                "tag: 4 documents not sent since the last update: sink s: full\n",
                                "tag: 2 documents not sent since the last update: sink s: full\n",
                                "tag: stream payloads not sent: sink s: full\n"}));
}

// Documents the families cannot be built from (a status that is no object, as no encoder makes
// it) cost both whole families, and the update's filed flows are still emptied; the next update
// is built and sent as usual.
TEST_F(PeriodicFailureTest, AFamilyThatCannotBeBuiltCostsItsDocuments) {
  LogCapture log(false);
  ScriptedSink sink([](const std::string&) { return false; }, [] {});
  PluginRunner plugin(kPeriodicChannels);
  {
    std::lock_guard<std::mutex> guard(plugin->documents_lock);
    plugin->json_status = json::array({1});
  }
  plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_UPDATE_COMPLETE);
  kvFlowMap map(1);
  auto flow = MakeFlow(eth0, 1);
  map.Insert("flow", flow);
  plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_MAP, &map);
  // Both families have failed once the update's summary is out.
  ASSERT_TRUE(WaitUntil([&] { return log.PrintedLines().size() == 3; }));
  {
    // Emptied in place, the status would stay an array; the encoder starts a fresh one.
    std::lock_guard<std::mutex> guard(plugin->documents_lock);
    plugin->json_status = nullptr;
  }
  Update(plugin, sink, 2, 10);
  plugin.Stop();

  std::vector<std::string> expected = {"k:flow_stats:1"};
  for (const std::string& call : UpdateCalls(2)) expected.push_back(call);
  EXPECT_EQ(sink.Accepted(), expected);
  const std::string text =
      "[json.exception.type_error.305] cannot use operator[] with a string argument with array";
  EXPECT_EQ(log.PrintedLines(),
            (std::vector<std::string>{
                log.PrintedLines().at(0), "tag: legacy payload not sent: " + text + "\n",
                "tag: 5 documents not sent since the last update: " + text + "\n"}));
}

// Without the daemon's global configuration every flow event whose document holds metadata
// fails and is dropped (a purge, which holds none, is sent); with the configuration back, the
// next events are sent as usual.
TEST_F(PeriodicFailureTest, MissingGlobalConfigurationCostsTheEventsThatNeedIt) {
  LogCapture log(false);
  ScriptedSink sink([](const std::string&) { return false; }, [] {});
  PluginRunner plugin(R"({"sinks": {"s": {"c": {"types": ["stream-flows"]}}}})");
  std::vector<std::shared_ptr<kvFlow>> flows;
  auto send = [&](uint32_t event, uint64_t digest) {
    flows.push_back(MakeFlow(eth0, digest));
    plugin->DispatchProcessorEvent(static_cast<kvPluginProcessor::Event>(event), flows.back());
  };
  kvGlobalConfig::Destroy();
  send(6, 1);
  send(7, 2);
  send(4, 3);
  send(8, 4);
  // The worker is done with an event once it has let go of its flow; only then may the
  // configuration come back, or the last event could still be encoded with it.
  ASSERT_TRUE(WaitUntil([&] {
    for (const auto& flow : flows)
      if (flow.use_count() != 1) return false;
    return true;
  }));
  ASSERT_EQ(sink.Calls(), 1u);
  // The encoder let go of each flow's lock as its exception left.
  for (const auto& flow : flows) {
    ASSERT_TRUE(flow->lock.try_lock());
    flow->lock.unlock();
  }
  kvGlobalConfig::Create();
  send(6, 5);
  ASSERT_TRUE(WaitUntil([&] { return sink.Calls() == 2; }));
  plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_UPDATE_COMPLETE);
  send(8, 6);
  ASSERT_TRUE(WaitUntil([&] { return !plugin->dispatch_pending.load(); }));
  plugin.Stop();

  EXPECT_EQ(sink.Accepted(),
            (std::vector<std::string>{"c:flow_purge:3", "c:flow:5", "c:flow_dpi_complete:6"}));
  EXPECT_EQ(
      log.PrintedLines(),
      (std::vector<std::string>{log.PrintedLines().at(0),
                                std::string("tag: flow event not sent: ") + kNoGlobalConfig + "\n",
                                std::string("tag: 2 documents not sent since the last update: ") +
                                    kNoGlobalConfig + "\n"}));
  for (const auto& flow : flows) EXPECT_EQ(flow.use_count(), 1);
}

// More kinds of failure than are listed one by one: the first kinds are logged at once, the
// others are counted together in one line.
TEST_F(PeriodicFailureTest, KindsBeyondTheListedAreCountedTogether) {
  LogCapture log(false);
  // Refuses every flow but the one of digest 99, each with a text of its own.
  std::atomic<size_t> calls{0};
  kvStandIn::SetSinkHandler(
      [&](const std::string&, const std::set<std::string>&, const json& payload, uint8_t) {
        calls++;
        const std::string digest = payload["flow"].value("digest", "");
        if (digest != "0000000000000063") throw std::runtime_error("refused " + digest);
      });
  PluginRunner plugin(R"({"sinks": {"s": {"c": {"types": ["stream-flows"]}}}})");
  std::vector<std::shared_ptr<kvFlow>> flows;
  auto send = [&](uint64_t digest) {
    flows.push_back(MakeFlow(eth0, digest));
    plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_NEW, flows.back());
  };
  const size_t kinds = kpp::kFailureKinds + 3;
  for (uint64_t digest = 1; digest <= kinds; digest++) send(digest);
  send(1);
  ASSERT_TRUE(WaitUntil([&] { return calls.load() == kinds + 1; }));
  plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_UPDATE_COMPLETE);
  send(99);
  ASSERT_TRUE(WaitUntil([&] { return !plugin->dispatch_pending.load(); }));
  plugin.Stop();
  kvStandIn::SetSinkHandler(nullptr);

  std::vector<std::string> expected = {log.PrintedLines().at(0)};
  for (uint64_t digest = 1; digest <= kpp::kFailureKinds; digest++) {
    char text[17];
    snprintf(text, sizeof(text), "%016llx", static_cast<unsigned long long>(digest));
    expected.push_back(std::string("tag: flow event not sent: refused ") + text + "\n");
  }
  expected.push_back("tag: 1 document not sent since the last update: refused 0000000000000001\n");
  expected.push_back("tag: 3 documents not sent since the last update for other reasons\n");
  EXPECT_EQ(log.PrintedLines(), expected);
  EXPECT_EQ(calls.load(), kinds + 2);
}

}  // namespace

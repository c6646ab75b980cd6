// The built plugin loaded as the daemon loads it (dlopen, factory, worker thread, termination,
// unloading): one update reaching channels of all four types on two sinks, each document in full
// and in sending order; events from several daemon threads; a reload that drops a channel.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "kv/flow_map.h"
#include "payload/payload_fixture.h"
#include "support/log_capture.h"
#include "support/wait.h"

namespace korvel_test {
namespace {

// The daemon's side of the loaded plugin; the destructor terminates and unloads it.
class LoadedPlugin {
 public:
  LoadedPlugin(const std::string& tag, const std::string& conf) {
    handle = dlopen(KORVEL_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) throw std::runtime_error(dlerror());
    auto init = reinterpret_cast<kvPluginInitFunction>(dlsym(handle, "kvPluginInit"));
    if (init == nullptr) throw std::runtime_error("no factory");
    plugin.reset(init(tag, {{"conf_filename", conf}}));
    processor = dynamic_cast<kvPluginProcessor*>(plugin.get());
    if (processor == nullptr) throw std::runtime_error("not a processor");
    plugin->Create();
    // The configuration is installed under the thread lock before the worker's first pass takes
    // it: after two acquisitions it is in force.
    if (!WaitUntil([&] { return plugin->GetThreadLockCount() >= 2; }))
      throw std::runtime_error("the worker did not start");
  }
  ~LoadedPlugin() {
    Stop();
    plugin.reset();
    dlclose(handle);
  }
  void Stop() {
    plugin->Terminate();
    plugin->Join();
  }

  void* handle;
  std::unique_ptr<kvPlugin> plugin;
  kvPluginProcessor* processor;
};

json FlowDocument(const char* envelope, const json& flow) {
  json document = json::parse(envelope);
  document["flow"] = flow;
  return document;
}

TEST(LoadedPlugin, OneUpdateReachesEveryChannelInOrder) {
  kvGlobalConfig::Create();
  LogCapture log;
  SinkRecorder sink;
  TempFile config;
  config.Write(R"({
    "sinks": {
      "bus": {"flows": {"types": ["stream-flows"], "format": "msgpack"},
              "stats": {"types": ["stream-stats"], "format": "msgpack", "compressor": "gz"}},
      "archive": {"http": {"types": ["legacy-http"], "compressor": "gz"},
                  "socket": {"types": ["legacy-socket"]}}
    }})");
  LoadedPlugin loaded("daemon", config.Path());

  auto eth0 = Eth0();
  auto wan0 = MakeInterface("wan0", kvInterface::ROLE_WAN);
  auto a1 = SampleFlow(eth0, 0xa1);
  a1->stats = SampleStats();
  a1->tcp_closed = 1;
  auto b2 = SampleFlow(wan0, 0xb2);
  b2->stats = SampleStats();
  auto held = SampleFlow(eth0, 0xc3);
  held->stats_hold = true;
  auto idle = SampleFlow(eth0, 0xd4);
  idle->stats = kvFlowStats();

  // Flow events of one update: single-flow events, then a walk with two qualifying flows.
  for (auto kind : {kvPluginProcessor::EVENT_FLOW_NEW, kvPluginProcessor::EVENT_DPI_UPDATE,
                    kvPluginProcessor::EVENT_DPI_COMPLETE, kvPluginProcessor::EVENT_FLOW_PURGE}) {
    loaded.processor->DispatchProcessorEvent(kind, a1);
  }
  kvFlowMap map(4);
  map.Insert("a1", a1);
  map.Insert("b2", b2);
  map.Insert("c3", held);
  map.Insert("d4", idle);
  loaded.processor->DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_MAP, &map);
  ASSERT_TRUE(WaitUntil([&] { return sink.Count() == 12; }));
  // Let the worker finish that pass, so the end of the update is seen after the next event only.
  const uint64_t passes = loaded.plugin->GetThreadLockCount();
  ASSERT_TRUE(WaitUntil([&] { return loaded.plugin->GetThreadLockCount() > passes; }));

  // The update's documents, its end and one more flow event; then the daemon stops the plugin.
  kppPlugin::Interfaces interfaces{{"eth0", eth0}, {"wan0", wan0}};
  loaded.processor->DispatchProcessorEvent(kvPluginProcessor::EVENT_INTERFACES, &interfaces);
  kvPacketStats eth0_stats = PacketStats(100);
  kvPacketStats wan0_stats = PacketStats(101);
  kvPacketStats global_stats = PacketStats(200);
  loaded.processor->DispatchProcessorEvent(kvPluginProcessor::EVENT_PKT_INTERFACE_STATS, "eth0",
                                           &eth0_stats);
  loaded.processor->DispatchProcessorEvent(kvPluginProcessor::EVENT_PKT_INTERFACE_STATS, "wan0",
                                           &wan0_stats);
  loaded.processor->DispatchProcessorEvent(kvPluginProcessor::EVENT_PKT_GLOBAL_STATS,
                                           &global_stats);
  kvInstanceStatus status;
  status.cpu_cores = 2;
  status.flow_count = 5;
  const long before = static_cast<long>(time(nullptr));
  loaded.processor->DispatchProcessorEvent(kvPluginProcessor::EVENT_INSTANCE_STATUS, &status);
  loaded.processor->DispatchProcessorEvent(kvPluginProcessor::EVENT_UPDATE_COMPLETE);
  loaded.processor->DispatchProcessorEvent(kvPluginProcessor::EVENT_DPI_COMPLETE, b2);
  loaded.Stop();
  const long after = static_cast<long>(time(nullptr));

  std::vector<SinkCall> calls = sink.Calls();
  std::vector<std::string> routes;
  for (const SinkCall& call : calls) {
    ASSERT_EQ(call.channels.size(), 1u);
    routes.push_back(call.sink + "/" + *call.channels.begin() + " " + std::to_string(call.flags));
  }
  std::vector<std::string> expected_routes;
  for (int event = 0; event < 7; event++) {
    expected_routes.insert(expected_routes.end(), {"archive/socket 25", "bus/flows 4"});
  }
  expected_routes.insert(expected_routes.end(),
                         {"archive/http 33", "archive/socket 25", "archive/socket 25"});
  expected_routes.insert(expected_routes.end(), 5, "bus/stats 36");
  ASSERT_EQ(routes, expected_routes);

  // Every flow-event document goes to the socket channel and the flow stream alike.
  for (size_t i = 0; i < 14; i += 2) EXPECT_EQ(calls[i].payload, calls[i + 1].payload) << i;
  const json a1_stats =
      FlowDocument(R"({"type": "flow_stats", "interface": "eth0", "internal": true})",
                   Blocks({kIdentity, kCounters}));
  json b2_counters = Blocks({kCounters});
  b2_counters.update(Identity("00000000000000b2"));
  const json b2_stats = FlowDocument(
      R"({"type": "flow_stats", "interface": "wan0", "internal": false})", b2_counters);
  const std::vector<json> flow_documents = {
      FlowDocument(R"({"type": "flow", "interface": "eth0", "internal": true})",
                   Blocks({kIdentity, kMetadata, kTunnel})),
      FlowDocument(R"({"type": "flow_dpi_update", "interface": "eth0", "internal": true})",
                   FullFlow("00000000000000a1")),
      FlowDocument(R"({"type": "flow_dpi_complete", "interface": "eth0", "internal": true})",
                   FullFlow("00000000000000a1")),
      FlowDocument(R"({"type": "flow_purge", "reason": "closed", "interface": "eth0",
                       "internal": true})",
                   Blocks({kIdentity, kCounters})),
  };
  for (size_t i = 0; i < flow_documents.size(); i++) {
    EXPECT_EQ(calls[2 * i].payload, flow_documents[i]) << "event " << i;
  }
  // The walk's two events come in the flow table's order.
  const bool a1_first = calls[8].payload.at("interface") == "eth0";
  EXPECT_EQ(calls[a1_first ? 8 : 10].payload, a1_stats);
  EXPECT_EQ(calls[a1_first ? 10 : 8].payload, b2_stats);
  EXPECT_EQ(calls[12].payload,
            FlowDocument(R"({"type": "flow_dpi_complete", "interface": "wan0", "internal": false})",
                         FullFlow("00000000000000b2")));

  // The legacy family.
  json legacy = WithoutTimestamp(calls[14].payload, before, after);
  for (auto& member : legacy["flows"].items()) member.value() = ByDigest(member.value());
  json expected = json::parse(kStatusMembers);
  expected["version"] = 1.9;
  expected["flows"]["eth0"] = json::array({FullFlow("00000000000000a1")});
  expected["flows"]["wan0"] = json::array({FullFlow("00000000000000b2")});
  expected["interfaces"]["eth0"] = json::parse(kEth0);
  expected["interfaces"]["wan0"] = json::parse(R"({"role": "WAN", "capture_type": "UNKNOWN",
                                                   "mac": "00:00:00:00:00:00"})");
  expected["devices"] = json::parse(kEth0Endpoints);
  expected["stats"]["eth0"] = PacketCounters(100);
  expected["stats"]["wan0"] = PacketCounters(101);
  EXPECT_EQ(legacy, expected);
  EXPECT_EQ(calls[15].payload, json::parse(R"({"type": "agent_hello", "agent_version": "25.0.3",
    "build_version": "25.0.3/x86_64-pc-linux-gnu [conntrack;inotify;netlink;nfqueue;tpv3;zlib]",
    "json_version": 1.9})"));
  json socket_status = json::parse(kStatusMembers);
  socket_status["type"] = "agent_status";
  EXPECT_EQ(WithoutTimestamp(calls[16].payload, before, after), socket_status);

  // The stream family.
  json stream_status = json::parse(kStatusMembers);
  stream_status.update(json::parse(R"({"type": "agent_status", "agent_version": "25.0.3",
    "build_version": "25.0.3/x86_64-pc-linux-gnu [conntrack;inotify;netlink;nfqueue;tpv3;zlib]"})"));
  EXPECT_EQ(WithoutTimestamp(calls[17].payload, before, after), stream_status);
  json stream_interfaces = expected["interfaces"];
  stream_interfaces["type"] = "interfaces";
  EXPECT_EQ(calls[18].payload, stream_interfaces);
  json endpoints = json::parse(kEth0Endpoints);
  endpoints["type"] = "endpoints";
  EXPECT_EQ(calls[19].payload, endpoints);
  json interface_stats = expected["stats"];
  interface_stats["type"] = "interface_stats";
  EXPECT_EQ(calls[20].payload, interface_stats);
  json global = PacketCounters(200);
  global["type"] = "global_stats";
  EXPECT_EQ(calls[21].payload, global);

  EXPECT_EQ(log.PrintedLines().size(), 1u);  // the banner alone: nothing failed
}

TEST(LoadedPlugin, EventsFromSeveralThreadsReachEveryChannelOnceInOrderThenAReload) {
  kvGlobalConfig::Create();
  LogCapture log;
  SinkRecorder sink;
  TempFile config;
  config.Write(R"({
    // one socket channel and one flow stream, on two sinks
    "sinks": {
      "sock": {"legacy": {"types": ["legacy-socket"], "compressor": "gz"}},
      "bus": {"flows": {"types": ["stream-flows"], "format": "msgpack"}}
    }})");
  LoadedPlugin loaded("daemon", config.Path());
  auto lan = MakeInterface("eth0", kvInterface::ROLE_LAN);
  auto flow = MakeFlow(lan, 0xa1);
  loaded.processor->DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_NEW, flow);
  ASSERT_TRUE(WaitUntil([&] { return sink.Count() == 2; }));
  const std::vector<SinkCall> first = sink.Calls();
  EXPECT_EQ(first[0].sink + " " + std::to_string(first[0].flags), "sock 57");
  EXPECT_EQ(first[1].sink + " " + std::to_string(first[1].flags), "bus 4");
  EXPECT_EQ(first[0].payload, first[1].payload);
  sink.Clear();

  // Four daemon threads, each with flows of its own: every event reaches both channels exactly
  // once, and each thread's events keep their order.
  constexpr int kThreads = 4;
  constexpr int kEventsPerThread = 500;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; t++) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEventsPerThread; i++) {
        auto own = MakeFlow(lan, static_cast<uint64_t>(t) << 32 | static_cast<uint64_t>(i));
        loaded.processor->DispatchProcessorEvent(kvPluginProcessor::EVENT_DPI_UPDATE, own);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  ASSERT_TRUE(WaitUntil([&] { return sink.Count() == 2 * kThreads * kEventsPerThread; }));
  std::map<std::string, std::vector<int>> next_per_channel_thread;
  std::map<std::string, int> seen;
  for (const SinkCall& call : sink.Calls()) {
    const std::string digest = call.payload.at("flow").at("digest");
    const int thread = std::stoi(digest.substr(0, 8), nullptr, 16);
    const int index = std::stoi(digest.substr(8), nullptr, 16);
    const std::string channel = *call.channels.begin();
    auto& next = next_per_channel_thread[channel];
    next.resize(kThreads, 0);
    EXPECT_EQ(index, next[thread]) << channel << " thread " << thread;
    next[thread] = index + 1;
    seen[channel]++;
  }
  EXPECT_EQ(seen, (std::map<std::string, int>{{"flows", kThreads * kEventsPerThread},
                                              {"legacy", kThreads * kEventsPerThread}}));
  sink.Clear();

  // A reload that drops the socket channel: later events reach the flow stream only.
  config.Write(R"({"sinks": {"bus": {"flows": {"types": ["stream-flows"]}}}})");
  loaded.plugin->DispatchEvent(kvPlugin::EVENT_RELOAD);
  ASSERT_TRUE(WaitUntil([&] {
    size_t loads = 0;
    for (const std::string& line : log.Lines()) {
      if (line == "daemon: Loading configuration: " + config.Path() + "\n") loads++;
    }
    return loads == 2;
  }));
  // The event below is taken over after this load has installed, in the same pass at the latest.
  loaded.processor->DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_NEW, flow);
  ASSERT_TRUE(WaitUntil([&] { return sink.Count() == 1; }));
  EXPECT_EQ(sink.Calls()[0].sink, "bus");
  EXPECT_EQ(sink.Calls()[0].flags, 0x01);
  EXPECT_EQ(sink.Calls()[0].payload, first[0].payload);
  EXPECT_EQ(log.PrintedLines().size(), 1u);  // the banner alone: nothing failed
}

}  // namespace
}  // namespace korvel_test

// The built plugin loaded as the daemon loads it: dlopen, ABI check, factory, worker thread,
// events from several daemon threads, a reload, termination and unloading.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "kv/flow_map.h"
#include "kv/global_config.h"
#include "kv/plugin.h"
#include "support/flows.h"
#include "support/log_capture.h"
#include "support/sink_recorder.h"
#include "support/temp_file.h"
#include "support/wait.h"

namespace {

using korvel_test::MakeFlow;
using korvel_test::MakeInterface;
using korvel_test::SinkCall;
using korvel_test::WaitUntil;

// The daemon's side of one loaded plugin.
class LoadedPlugin {
 public:
  LoadedPlugin(const std::string& tag, const std::string& conf) {
    handle = dlopen(KORVEL_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) throw std::runtime_error(dlerror());
    const auto* abi = static_cast<const uint8_t*>(dlsym(handle, "kv_plugin_abi"));
    if (abi == nullptr || std::memcmp(abi, "BAPK", 4) != 0 || abi[8] != 25) {
      throw std::runtime_error("ABI record refused");
    }
    auto init = reinterpret_cast<kvPluginInitFunction>(dlsym(handle, "kvPluginInit"));
    plugin.reset(init(tag, {{"conf_filename", conf}}));
    if (!plugin) throw std::runtime_error("factory refused");
    processor = dynamic_cast<kvPluginProcessor*>(plugin.get());
  }
  ~LoadedPlugin() {
    plugin->Terminate();
    plugin->Join();
    plugin.reset();
    dlclose(handle);
  }

  void* handle;
  std::unique_ptr<kvPlugin> plugin;
  kvPluginProcessor* processor;
};

const char* kNewFlowDocument = R"({
  "type": "flow", "interface": "eth0", "internal": true,
  "flow": {
    "digest": "00000000000000a1", "digest_prev": ["00000000000000a1"],
    "last_seen_at": 1700000005000, "first_seen_at": 1700000000000,
    "ip_nat": false, "soft_dissector": false, "app_ip_override": false, "app_proto_twins": false,
    "ip_version": 4, "ip_dscp": 0, "ip_protocol": 6, "vlan_id": 0,
    "other_type": "unknown", "local_origin": true,
    "local_mac": "00:11:22:33:44:55", "other_mac": "66:77:88:99:aa:bb",
    "local_ip": "192.0.2.10", "other_ip": "198.51.100.20", "local_port": 50000, "other_port": 443,
    "detected_protocol": 7, "detected_protocol_name": "HTTP",
    "detected_application": 0, "detected_application_name": "Unknown",
    "detection_guessed": false, "detection_updated": false,
    "category": {"application": 0, "protocol": 0, "domain": 0,
                 "local_network": 0, "other_network": 0, "overlay": 0},
    "risks": {"ndpi_risk_score": 0, "ndpi_risk_score_client": 0, "ndpi_risk_score_server": 0}
  }})";

const char* kPurgeDocument = R"({
  "type": "flow_purge", "reason": "expired", "interface": "eth0", "internal": true,
  "flow": {
    "digest": "00000000000000a1", "digest_prev": ["00000000000000a1"],
    "last_seen_at": 1700000005000,
    "local_bytes": 300, "other_bytes": 400, "total_local_bytes": 0, "total_other_bytes": 0,
    "local_packets": 3, "other_packets": 4, "total_local_packets": 0, "total_other_packets": 0,
    "total_packets": 0, "total_bytes": 0, "detection_packets": 0,
    "local_rate": 0.0, "other_rate": 0.0,
    "tcp": {"seq_errors": 0, "resets": 0, "retrans": 0}
  }})";

TEST(DaemonLoad, EventsFromSeveralThreadsReachEveryChannelOnceInOrder) {
  kvGlobalConfig::Create();
  korvel_test::LogCapture log;
  korvel_test::SinkRecorder sink;
  korvel_test::TempFile config;
  config.Write(R"({
    // one socket channel and one flow stream, on two sinks
    "sinks": {
      "sock": {"legacy": {"types": ["legacy-socket"], "compressor": "gz"}},
      "bus": {"flows": {"types": ["stream-flows"], "format": "msgpack"}}
    }})");
  LoadedPlugin loaded("daemon", config.Path());
  loaded.plugin->Create();
  // The worker takes the thread lock to install the configuration, then once per pass: after two
  // acquisitions the configuration is in force.
  ASSERT_TRUE(WaitUntil([&] { return loaded.plugin->GetThreadLockCount() >= 2; }));

  auto lan = MakeInterface("eth0", kvInterface::ROLE_LAN);
  auto flow = MakeFlow(lan, 0xa1);
  loaded.processor->DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_NEW, flow);
  loaded.processor->DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_PURGE, flow);
  ASSERT_TRUE(WaitUntil([&] { return sink.Count() == 4; }));
  {
    const std::vector<SinkCall> calls = sink.Calls();
    const std::vector<std::pair<std::string, int>> expected_routes = {
        {"sock/legacy", 0x39}, {"bus/flows", 0x04}, {"sock/legacy", 0x39}, {"bus/flows", 0x04}};
    for (size_t i = 0; i < calls.size(); i++) {
      EXPECT_EQ(calls[i].sink + "/" + *calls[i].channels.begin(), expected_routes[i].first);
      EXPECT_EQ(calls[i].flags, expected_routes[i].second);
    }
    EXPECT_EQ(calls[0].payload, json::parse(kNewFlowDocument));
    EXPECT_EQ(calls[1].payload, json::parse(kNewFlowDocument));
    EXPECT_EQ(calls[2].payload, json::parse(kPurgeDocument));
    EXPECT_EQ(calls[3].payload, json::parse(kPurgeDocument));
  }
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
  EXPECT_EQ(sink.Calls()[0].payload, json::parse(kNewFlowDocument));
  EXPECT_EQ(log.PrintedLines().size(), 1u);  // the banner alone: nothing failed
}

}  // namespace

// Tests of the scenario ops against a processor that records every call made on it.
// Covered: event values, arguments, when the worker starts, syncs and the error paths.
#include <gtest/gtest.h>
#include <stdio.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "kv/exception.h"
#include "kv/flow_map.h"
#include "kv/global_config.h"
#include "kv/instance_status.h"
#include "kv/interface.h"
#include "kv/log.h"
#include "kv/packet_stats.h"
#include "replay_support.h"
#include "tools/output/console.h"
#include "tools/output/sink_output.h"
#include "tools/player/scenario_player.h"
#include "tools/player/worker_driver.h"
#include "tools/scenario/daemon_state.h"
#include "tools/scenario/scenario_error.h"

namespace {

using replay::ScenarioError;
using replay::ScenarioOp;
using replay::SyncTimeout;

// A processor whose worker, once per millisecond while `answering` passes remain (-1: forever),
// takes its thread lock, lets go of the flows queued since its last pass and logs a configuration
// load when one was asked for; its event operations record what they were given (the records
// are written by the main thread only), and single-flow events are queued.
class RecordingProcessor : public kvPluginProcessor {
 public:
  explicit RecordingProcessor(int answering_ = -1)
      : kvPluginProcessor("rec", {{"conf_filename", "unused"}}), answering(answering_) {}
  ~RecordingProcessor() override {
    Terminate();
    Join();
  }

  void GetLibrary(std::string& s) override { s = "rec"; }
  void GetName(std::string& s) override { s = "rec"; }
  void GetVersion(std::string& s) override { s = "0"; }

  void* Entry() override {
    while (!ShouldTerminate()) {
      if (answering.load() != 0) {
        if (reload_due.exchange(false)) {
          kv_dprintf(replay::WorkerDriver::kLoadingFormat, "rec", "unused");
          loads++;
        }
        std::vector<std::shared_ptr<kvFlow>> taken;
        Lock();
        taken.swap(queued);
        Unlock();
        released += taken.size();
        taken.clear();
        if (answering.load() > 0) answering.fetch_sub(1);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return nullptr;
  }

  using kvPluginProcessor::DispatchProcessorEvent;
  void DispatchEvent(kvPlugin::Event event, void* arg) override {
    calls.push_back("event " + std::to_string(event) + (arg == nullptr ? " null" : " arg"));
    if (event == EVENT_RELOAD) reload_due.store(true);
  }
  void DispatchProcessorEvent(Event event, kvFlowMap* map) override {
    calls.push_back("flow-map " + std::to_string(event) + " buckets " +
                    std::to_string(map->GetBuckets()));
  }
  void DispatchProcessorEvent(Event event, std::shared_ptr<kvFlow>& flow) override {
    calls.push_back("flow " + std::to_string(event) + " digest " + std::to_string(flow->digest));
    Lock();
    queued.push_back(flow);
    Unlock();
  }
  void DispatchProcessorEvent(
      Event event, std::map<std::string, std::shared_ptr<kvInterface>>* ifaces) override {
    std::string names;
    for (const auto& entry : *ifaces) names += " " + entry.first + "=" + entry.second->name;
    calls.push_back("interfaces " + std::to_string(event) + names);
  }
  void DispatchProcessorEvent(Event event, const std::string& iface, kvPacketStats* s) override {
    calls.push_back("interface-stats " + std::to_string(event) + " " + iface + " raw " +
                    std::to_string(s->pkt_raw));
  }
  void DispatchProcessorEvent(Event event, kvPacketStats* s) override {
    calls.push_back("global-stats " + std::to_string(event) + " raw " + std::to_string(s->pkt_raw));
  }
  void DispatchProcessorEvent(Event event, kvInstanceStatus* s) override {
    if (event == EVENT_INSTANCE_STATUS && s->cpu_cores == 666) throw kvException("%s", "boom");
    calls.push_back("status " + std::to_string(event) + " cores " + std::to_string(s->cpu_cores));
  }
  void DispatchProcessorEvent(Event event) override {
    calls.push_back("update-end " + std::to_string(event));
  }

  std::vector<std::string> calls;
  std::atomic<int> answering;
  std::atomic<bool> reload_due{false};
  std::vector<std::shared_ptr<kvFlow>> queued;  // guarded by the thread lock
  std::atomic<uint64_t> released{0};            // flows let go of by the worker
  std::atomic<uint64_t> loads{0};               // configuration loads logged
};

// Collects what the player prints.
class MemoryStream {
 public:
  MemoryStream() : stream(open_memstream(&buffer, &size)) {}
  ~MemoryStream() {
    std::fclose(stream);
    free(buffer);
  }
  std::FILE* Get() { return stream; }
  std::string Text() {
    std::fflush(stream);
    return std::string(buffer, size);
  }

 private:
  char* buffer = nullptr;
  size_t size = 0;
  std::FILE* stream;
};

class Player : public ::testing::Test {
 protected:
  explicit Player(int answering = -1)
      : plugin(answering),
        console(false, printed.Get()),
        sinks(stdout, "<stdout>", nullptr, [](const std::string&) {}),
        state(4),
        worker(plugin, sinks, 1),
        player(plugin, state, console, sinks, worker, Settings()) {
    kvGlobalConfig::Create();
  }
  ~Player() override {
    // The worker thread tells the driver what it does until it has ended.
    plugin.Terminate();
    plugin.Join();
    kvGlobalConfig::Create();
  }

  replay::PlayerSettings Settings() {
    replay::PlayerSettings settings;
    settings.scenario_name = "test.jsonl";
    settings.config_path = config_dir.Path() + "/config.json";
    settings.sync_timeout_seconds = 1;
    return settings;
  }

  void Play(const std::string& line, size_t number = 1) {
    ScenarioOp op;
    op.line = number;
    op.object = json::parse(line);
    op.name = op.object.at("op").get<std::string>();
    player.Play(op);
  }

  std::string ErrorOf(const std::string& line) {
    try {
      Play(line);
    } catch (const ScenarioError& e) {
      return e.what();
    }
    return "";
  }

  std::string ConfigText() { return korvel_test::ReadFileText(Settings().config_path); }

  korvel_test::ScratchDir config_dir;
  RecordingProcessor plugin;
  MemoryStream printed;
  replay::Console console;
  replay::SinkOutput sinks;
  replay::DaemonState state;
  replay::WorkerDriver worker;
  replay::ScenarioPlayer player;
};

TEST_F(Player, DaemonOpsDoNotStartTheWorkerButPluginOpsDo) {
  Play(R"({"op":"config","json":{}})");
  Play(R"({"op":"global","dhc":true})");
  Play(R"({"op":"interface","name":"eth0"})");
  Play(R"({"op":"flow","id":"f","interface":"eth0"})");
  Play(R"({"op":"forget","id":"f"})");
  EXPECT_FALSE(player.Started());
  EXPECT_EQ(plugin.GetThreadLockCount(), 0u);
  Play(R"({"op":"update_end"})");
  EXPECT_TRUE(player.Started());
  // Started means the worker has been through its first pass.
  EXPECT_GE(plugin.GetThreadLockCount(), 1u);
  EXPECT_EQ(player.OpsPlayed(), 6u);
}

TEST_F(Player, EventOpsSendTheirValuesAndArguments) {
  Play(R"({"op":"interface","key":"k","name":"eth0"})");
  Play(R"({"op":"flow","id":"f","interface":"k","digest":77})");
  Play(R"({"op":"reload"})");
  Play(R"({"op":"event","event":6,"flow":"f"})");
  Play(R"({"op":"event","event":4294967295,"flow":"f"})");
  Play(R"({"op":"walk"})");
  Play(R"({"op":"walk","event":2})");
  Play(R"({"op":"interfaces"})");
  Play(R"({"op":"interface_stats","name":"eth0","stats":{"raw":5}})");
  Play(R"({"op":"interface_stats","name":"x","event":3})");
  Play(R"({"op":"global_stats","stats":{"raw":6}})");
  Play(R"({"op":"status","status":{"cpu_cores":8}})");
  Play(R"({"op":"status","event":0})");
  Play(R"({"op":"update_end"})");
  Play(R"({"op":"update_end","event":14})");
  EXPECT_EQ(plugin.calls, (std::vector<std::string>{
                              "event 0 null",
                              "flow 6 digest 77",
                              "flow 4294967295 digest 77",
                              "flow-map 1 buckets 4",
                              "flow-map 2 buckets 4",
                              "interfaces 9 k=eth0",
                              "interface-stats 10 eth0 raw 5",
                              "interface-stats 3 x raw 0",
                              "global-stats 11 raw 6",
                              "status 12 cores 8",
                              "status 0 cores 0",
                              "update-end 13",
                              "update-end 14",
                          }));
}

TEST_F(Player, ConfigWritesReplacesAndRemovesTheFile) {
  Play(R"({"op":"config","json":{"sinks":{"s":{"c":{}}},"types":["stream-flows"]}})");
  EXPECT_EQ(ConfigText(),
            "{\n  \"sinks\": {\n    \"s\": {\n      \"c\": {}\n    }\n  },\n"
            "  \"types\": [\n    \"stream-flows\"\n  ]\n}\n");
  Play(R"({"op":"config","text":"// a comment\n{\"sinks\": {"})");
  EXPECT_EQ(ConfigText(), "// a comment\n{\"sinks\": {");
  Play(R"({"op":"config","json":)" + std::string(512, '[') + std::string(512, ']') + "}");
  EXPECT_EQ(ConfigText().substr(0, 5), "[\n  [");  // the deepest nesting allowed
  Play(R"({"op":"config","json":[1]})");
  EXPECT_EQ(ConfigText(), "[\n  1\n]\n");
  Play(R"({"op":"config","remove":true})");
  EXPECT_EQ(access(Settings().config_path.c_str(), F_OK), -1);
  Play(R"({"op":"config","remove":true})");  // already gone: fine
}

TEST_F(Player, GlobalSetsRemovesAndRecreatesTheConfiguration) {
  Play(R"({"op":"global","dhc":true,"fhc":true,"update_interval":30,"update_imf":2})");
  ASSERT_TRUE(kvGlobalConfig::instance.load()->IsEnabled(kvGlobalConfig::OPTION_DHC));
  Play(R"({"op":"global","dhc":false})");
  kvGlobalConfig* config = kvGlobalConfig::instance.load();
  ASSERT_NE(config, nullptr);
  EXPECT_EQ(korvel_test::Join(config->IsEnabled(kvGlobalConfig::OPTION_DHC),
                              config->IsEnabled(kvGlobalConfig::OPTION_FHC),
                              config->update_interval.load(), config->update_imf.load()),
            "0 1 30 2");
  Play(R"({"op":"global","present":false})");
  EXPECT_EQ(kvGlobalConfig::instance.load(), nullptr);
  Play(R"({"op":"global","update_imf":5})");
  config = kvGlobalConfig::instance.load();
  ASSERT_NE(config, nullptr);
  EXPECT_EQ(korvel_test::Join(config->IsEnabled(kvGlobalConfig::OPTION_FHC),
                              config->update_interval.load(), config->update_imf.load()),
            "0 15 5");
}

TEST_F(Player, OpErrorsNameTheOpAndPlayNothing) {
  const std::string kOneOf =
      "config: needs exactly one of the members \"json\", \"text\" and \"remove\"";
  const std::pair<std::string, std::string> cases[] = {
      {R"({"op":"teleport"})", "unknown op \"teleport\""},
      {R"({"op":"config"})", kOneOf},
      {R"({"op":"config","json":{},"text":""})", kOneOf},
      {R"({"op":"config","remove":false})", "config: member \"remove\" must be true"},
      {R"({"op":"config","text":1})", "config: member \"text\" must be a string"},
      {R"({"op":"config","json":)" + std::string(513, '[') + std::string(513, ']') + "}",
       "config: member \"json\" is nested more than 512 levels deep"},
      {R"({"op":"global","present":false,"dhc":true})",
       "global: member \"present\" false takes no other member"},
      {R"({"op":"global","update_interval":-15})",
       "global: member \"update_interval\" must be an unsigned integer"},
      {R"({"op":"walk","flow":"f"})", "walk: unknown member \"flow\""},
      {R"({"op":"reload","now":true})", "reload: unknown member \"now\""},
      {R"({"op":"sync","ms":1})", "sync: unknown member \"ms\""},
      {R"({"op":"event","flow":"f"})", "event: missing member \"event\""},
      {R"({"op":"event","event":6})", "event: missing member \"flow\""},
      {R"({"op":"event","event":6,"flow":"nope"})", "event: no flow \"nope\""},
      {R"({"op":"forget","id":"nope"})", "forget: no flow \"nope\""},
      {R"({"op":"flow","interface":"x"})", "flow: missing member \"id\""},
      {R"({"op":"interface_stats"})", "interface_stats: missing member \"name\""},
      {R"({"op":"interface_stats","name":"e","stats":[]})",
       "interface_stats: member \"stats\" must be an object"},
      {R"({"op":"global_stats","stats":{"rx":1}})", "global_stats: unknown member \"stats.rx\""},
      {R"({"op":"status","status":{"cpu_user":"x"}})",
       "status: member \"status.cpu_user\" must be a number"},
      {R"({"op":"update_end","event":-1})",
       "update_end: member \"event\" must be an unsigned integer"},
      {R"({"op":"sleep"})", "sleep: missing member \"ms\""},
      {R"({"op":"sleep","ms":4294967296})",
       "sleep: member \"ms\" is out of range (0 to 4294967295): 4294967296"},
  };
  for (const auto& [line, message] : cases) EXPECT_EQ(ErrorOf(line), message) << line;
  EXPECT_EQ(player.OpsPlayed(), 0u);
  EXPECT_TRUE(plugin.calls.empty());
}

TEST_F(Player, WhatThePluginThrowsIsPrintedAndPlayingGoesOn) {
  Play(R"({"op":"status","status":{"cpu_cores":666}})", 7);
  Play(R"({"op":"status","status":{"cpu_cores":2}})", 8);
  EXPECT_EQ(printed.Text(), "korvel-replay: test.jsonl:7: status: the plugin threw: boom\n");
  EXPECT_EQ(plugin.calls, (std::vector<std::string>{"status 12 cores 2"}));
  EXPECT_EQ(player.OpsPlayed(), 2u);
}

TEST_F(Player, SyncWaitsUntilTheWorkerHasLetGoAndReloadedAndSleepSleeps) {
  Play(R"({"op":"interface","name":"eth0"})");
  Play(R"({"op":"flow","id":"f","interface":"eth0"})");
  Play(R"({"op":"event","event":6,"flow":"f"})");
  Play(R"({"op":"event","event":4,"flow":"f"})");
  Play(R"({"op":"forget","id":"f"})");
  Play(R"({"op":"sync"})");
  EXPECT_EQ(plugin.released.load(), 2u);
  Play(R"({"op":"reload"})");
  Play(R"({"op":"sync"})");
  EXPECT_EQ(plugin.loads.load(), 1u);
  Play(R"({"op":"sync"})");
  Play(R"({"op":"sleep","ms":30})");
  EXPECT_EQ(player.OpsPlayed(), 10u);
}

class SilentWorker : public Player {
 protected:
  SilentWorker() : Player(0) {}
};

TEST_F(SilentWorker, AWorkerThatNeverAnswersTimesOutTheStart) {
  try {
    Play(R"({"op":"sync"})");
    ADD_FAILURE() << "no timeout";
  } catch (const SyncTimeout& e) {
    EXPECT_STREQ(e.what(),
                 "the worker stopped responding before its first pass ended (no progress for 1 s)");
  }
}

class StoppingWorker : public Player {
 protected:
  StoppingWorker() : Player(3) {}
};

TEST_F(StoppingWorker, AWorkerThatStopsTimesOutTheSync) {
  Play(R"({"op":"update_end"})");  // starts the worker, which answers three times
  Play(R"({"op":"interface","name":"eth0"})");
  Play(R"({"op":"flow","id":"f","interface":"eth0"})");
  try {
    for (int pass = 0; pass < 4; pass++) {
      Play(R"({"op":"event","event":6,"flow":"f"})");
      Play(R"({"op":"sync"})");
    }
    ADD_FAILURE() << "no timeout";
  } catch (const SyncTimeout& e) {
    EXPECT_STREQ(e.what(), "sync: the worker stopped responding (no progress for 1 s)");
  }
}

}  // namespace

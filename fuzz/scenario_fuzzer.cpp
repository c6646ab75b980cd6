// Fuzzes the replay tool's scenario reader and the ops it plays: every line is read and played or
// refused with a scenario error; nothing else may escape, crash or hang. The ops reach a stand-in
// processor whose worker only takes its lock, so every input plays fast and the same way.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>

#include "kv/plugin.h"
#include "tools/output/console.h"
#include "tools/output/sink_output.h"
#include "tools/player/scenario_player.h"
#include "tools/player/worker_driver.h"
#include "tools/scenario/daemon_state.h"
#include "tools/scenario/scenario_error.h"
#include "tools/scenario/scenario_reader.h"

namespace {

// A processor that takes every event and does nothing with it; its worker takes the thread lock
// over and over, which is all the player's start looks for.
class IdleProcessor : public kvPluginProcessor {
 public:
  IdleProcessor() : kvPluginProcessor("fuzz", {{"conf_filename", "/dev/null"}}) {}
  ~IdleProcessor() override {
    Terminate();
    Join();
  }
  void* Entry() override {
    while (!ShouldTerminate()) {
      Lock();
      Unlock();
      usleep(20);
    }
    return nullptr;
  }
  void GetLibrary(std::string& library) override { library = "idle"; }
  void GetName(std::string& name) override { name = "idle"; }
  void GetVersion(std::string& version) override { version = "0"; }
};

// The file "config" ops write, removed when the fuzzer exits.
std::string scratch_path;

const std::string& ScratchConfigPath() {
  char pattern[] = "/tmp/korvel-fuzz-scenario-XXXXXX";
  const int fd = mkstemp(pattern);
  if (fd < 0) std::abort();
  close(fd);
  scratch_path = pattern;
  std::atexit([] { unlink(scratch_path.c_str()); });
  return scratch_path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string config_path = ScratchConfigPath();
  static std::FILE* null_output = std::fopen("/dev/null", "w");
  if (null_output == nullptr) std::abort();

  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  replay::ScenarioReader reader(in);
  IdleProcessor plugin;
  replay::DaemonState state(4);
  replay::Console console(false, null_output);
  replay::SinkOutput sinks(null_output, "/dev/null", nullptr, [](const std::string&) {});
  replay::PlayerSettings settings;
  settings.scenario_name = "fuzz";
  settings.config_path = config_path;
  settings.sync_timeout_seconds = 10;
  replay::WorkerDriver worker(plugin, sinks, settings.sync_timeout_seconds);
  {
    replay::ScenarioPlayer player(plugin, state, console, sinks, worker, settings);
    replay::ScenarioOp op;
    try {
      while (reader.Next(op)) {
        // Waiting is all these two do; they would only slow the search down.
        if (op.name == "sync" || op.name == "sleep") continue;
        player.Play(op);
      }
    } catch (const replay::ScenarioError&) {
      // The tool reports the line and stops playing: an expected outcome.
    }
  }
  // The worker tells the driver what it does until it has ended.
  plugin.Terminate();
  plugin.Join();
  return 0;
}

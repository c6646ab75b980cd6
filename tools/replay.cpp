// RunReplay: set-up, playing a scenario or captures, and the daemon's shutdown order for the
// plugin. The shutdown (terminate, delete, which joins, then unload) also runs after a scenario
// error, so that nothing already delivered is lost.
#include "tools/replay.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <future>
#include <iostream>
#include <memory>
#include <thread>

#include "kv/global_config.h"
#include "kv/standin.h"
#include "tools/capture/capture_error.h"
#include "tools/capture/capture_source.h"
#include "tools/constants.h"
#include "tools/output/console.h"
#include "tools/output/sink_files.h"
#include "tools/output/sink_output.h"
#include "tools/player/capture_player.h"
#include "tools/player/default_plugin_path.h"
#include "tools/player/plugin_library.h"
#include "tools/player/scenario_player.h"
#include "tools/player/worker_driver.h"
#include "tools/scenario/daemon_state.h"
#include "tools/scenario/scenario_error.h"
#include "tools/scenario/scenario_reader.h"
#include "tools/scenario/scenario_writer.h"
#include "tools/scenario/scratch_files.h"

namespace replay {

namespace {

constexpr const char* kStandardInputName = "<stdin>";
constexpr const char* kStandardOutputName = "<stdout>";

struct FileCloser {
  void operator()(std::FILE* file) const {
    if (file != nullptr && file != stdout) std::fclose(file);
  }
};
using OutputFile = std::unique_ptr<std::FILE, FileCloser>;

// Waits at most `limit` for the worker to end. True when it did (and was joined).
bool JoinWithin(kvThread& worker, std::chrono::seconds limit) {
  auto joined = std::make_shared<std::promise<void>>();
  std::future<void> done = joined->get_future();
  std::thread joiner([&worker, joined] {
    worker.Join();
    joined->set_value();
  });
  if (done.wait_for(limit) == std::future_status::ready) {
    joiner.join();
    return true;
  }
  joiner.detach();
  return false;
}

// Installs the stand-in's handlers for the tool's lifetime and removes them on the way out,
// after the plugin is gone.
class StandInHooks {
 public:
  StandInHooks(Console& console, SinkOutput& sinks, bool debug) {
    kvStandIn::SetDebug(debug);
    kvStandIn::SetLogHandler([&console](bool, const std::string& line) { console.Line(line); });
    kvStandIn::SetSinkHandler(
        [&sinks](const std::string& sink, const std::set<std::string>& channels,
                 const json& payload,
                 uint8_t flags) { sinks.Record(sink, channels, payload, flags); });
  }
  ~StandInHooks() {
    kvStandIn::SetSinkHandler(nullptr);
    kvStandIn::SetLogHandler(nullptr);
  }
  StandInHooks(const StandInHooks&) = delete;
  StandInHooks& operator=(const StandInHooks&) = delete;
};

// The capture source for the options' --pcap files, opened. Throws CaptureError.
std::unique_ptr<capture::CaptureSource> OpenCapture(const ReplayOptions& options) {
  const CaptureOptions& given = options.capture;
  std::vector<capture::InterfaceSpec> specs;
  for (const PcapOption& pcap : given.pcaps) {
    capture::InterfaceSpec spec;
    spec.file = pcap.file;
    spec.name = pcap.name;
    spec.role = pcap.wan ? kvInterface::ROLE_WAN : kvInterface::ROLE_LAN;
    spec.addrs = pcap.addrs;
    specs.push_back(std::move(spec));
  }
  capture::TrackerSettings settings;
  settings.local_nets = given.local_nets;
  settings.update_interval_s = kvGlobalConfig::instance.load()->update_interval.load();
  if (given.tcp_idle != 0) settings.tcp_idle_s = given.tcp_idle;
  if (given.udp_idle != 0) settings.udp_idle_s = given.udp_idle;
  if (given.other_idle != 0) settings.other_idle_s = given.other_idle;
  if (given.has_tcp_linger) settings.tcp_closed_linger_s = given.tcp_linger;
  auto source =
      std::make_unique<capture::CaptureSource>(std::move(specs), settings, options.buckets);
  source->Open();
  return source;
}

// The capture's files as messages name them.
std::string CaptureName(const CaptureOptions& capture) {
  std::string name;
  for (const PcapOption& pcap : capture.pcaps) {
    name += (name.empty() ? "" : ",") +
            (pcap.file == "-" ? std::string(kStandardInputName) : pcap.file);
  }
  return name;
}

// Plays the capture through the plugin. Returns the exit status.
int PlayCapture(const ReplayOptions& options, capture::CaptureSource& source,
                kvPluginProcessor& plugin, WorkerDriver& worker, Console& console,
                SinkOutput& sinks, ScenarioWriter* scenario, bool& worker_answering) {
  const std::string name = CaptureName(options.capture);
  auto report = [&console](const std::string& message) {
    console.Line(std::string(kProgramName) + ": " + message);
  };
  uint64_t delivered = 0;
  worker.SetProgress([&] { console.Progress(delivered, sinks.Count()); });
  struct ProgressReset {
    WorkerDriver& worker;
    ~ProgressReset() { worker.SetProgress(nullptr); }
  } progress_reset{worker};
  CapturePlayerSettings settings;
  settings.source_name = name;
  settings.realtime = options.capture.realtime;
  CapturePlayer player(plugin, worker, console, settings, scenario);
  if (scenario != nullptr) {
    scenario->Comment("The daemon events korvel-replay derived from " + name + "; play with");
    scenario->Comment("korvel-replay --buckets " + std::to_string(options.buckets) +
                      " and the same configuration.");
    scenario->Global(kvGlobalConfig::instance.load()->update_interval.load());
    scenario->Interfaces(source.Interfaces());
  }
  try {
    worker.Start();
    const std::string error = source.Run(player);
    delivered = player.EventsDelivered();
    if (!error.empty()) {
      report(error);
      return kExitUsageOrScenario;
    }
  } catch (const SyncTimeout& e) {
    report(name + ": " + e.what());
    worker_answering = false;
    return kExitSyncTimeout;
  } catch (const WorkerStartError& e) {
    report(name + ": cannot start the worker: " + e.what());
    return kExitPluginRefused;
  } catch (const capture::CaptureError& e) {
    report(e.what());
    return kExitUsageOrScenario;
  }
  return kExitDone;
}

}  // namespace

int RunReplay(const ReplayOptions& options) {
  Console console(!options.quiet && isatty(STDERR_FILENO) == 1);
  auto report = [&console](const std::string& message) {
    console.Line(std::string(kProgramName) + ": " + message);
  };

  const bool from_capture = !options.capture.pcaps.empty();
  kvGlobalConfig& global = kvGlobalConfig::Create();
  if (options.capture.update_interval != 0) {
    global.update_interval.store(options.capture.update_interval);
  }

  // A capture that cannot be read is refused before anything is played.
  std::unique_ptr<capture::CaptureSource> source;
  if (from_capture) {
    try {
      source = OpenCapture(options);
    } catch (const capture::CaptureError& e) {
      report(e.what());
      return kExitUsageOrScenario;
    }
  }

  std::ifstream scenario_file;
  std::istream* scenario = &std::cin;
  std::string scenario_name = kStandardInputName;
  if (!from_capture && !options.scenario_path.empty()) {
    scenario_name = options.scenario_path;
    scenario_file.open(options.scenario_path);
    if (!scenario_file) {
      report(scenario_name + ": " + std::strerror(errno));
      return kExitUsageOrScenario;
    }
    scenario = &scenario_file;
  }

  // Declared before `out`, which uses it until it is closed.
  std::unique_ptr<char[]> out_buffer;
  OutputFile out(stdout);
  std::string out_name = kStandardOutputName;
  if (!options.output_path.empty()) {
    out_name = options.output_path;
    out.reset(std::fopen(options.output_path.c_str(), "w"));
    if (!out) {
      report(out_name + ": " + std::strerror(errno));
      return kExitUsageOrScenario;
    }
    out_buffer = std::make_unique<char[]>(kOutputFileBufferBytes);
    std::setvbuf(out.get(), out_buffer.get(), _IOFBF, kOutputFileBufferBytes);
  }

  std::unique_ptr<SinkFiles> files;
  if (!options.sink_dir.empty()) {
    const std::string error = MakeDirectories(options.sink_dir);
    if (!error.empty()) {
      report(error);
      return kExitUsageOrScenario;
    }
    files = std::make_unique<SinkFiles>(options.sink_dir);
  }

  std::unique_ptr<ScenarioWriter> emitted;
  if (!options.capture.emit_scenario.empty()) {
    emitted = std::make_unique<ScenarioWriter>(options.capture.emit_scenario);
    if (!emitted->Ok()) {
      report(emitted->Error());
      return kExitUsageOrScenario;
    }
  }

  TempDir temp_dir;
  std::string config_path = options.config_path;
  if (config_path.empty()) {
    const std::string error = temp_dir.Create();
    if (!error.empty()) {
      report(error);
      return kExitUsageOrScenario;
    }
    config_path = temp_dir.PathOf(kTempConfigName);
  }

  const std::string plugin_path =
      options.plugin_path.empty() ? DefaultPluginPath(ExecutableDirectory()) : options.plugin_path;

  SinkOutput sinks(out.get(), out_name, files.get(), report);
  StandInHooks hooks(console, sinks, options.debug);
  DaemonState state(from_capture ? 0 : options.buckets);

  PluginLibrary library;
  std::string error = library.Open(plugin_path);
  if (!error.empty()) {
    report(plugin_path + ": " + error);
    return kExitPluginRefused;
  }
  kvPlugin::Params params{{kConfFilenameParam, config_path}};
  for (const auto& param : options.params) params[param.first] = param.second;
  kvPlugin* created = library.Create(options.tag, params, error);
  if (created == nullptr) {
    report(plugin_path + ": " + error);
    return kExitPluginRefused;
  }
  auto* plugin = dynamic_cast<kvPluginProcessor*>(created);
  if (plugin == nullptr) {
    delete created;
    report(plugin_path + ": not a processor plugin");
    return kExitPluginRefused;
  }

  int status = kExitDone;
  bool worker_answering = true;
  // Outlives the worker thread, which tells it what it does.
  auto driver = std::make_unique<WorkerDriver>(*plugin, sinks, options.sync_timeout_seconds);
  WorkerDriver& worker = *driver;
  if (from_capture) {
    status = PlayCapture(options, *source, *plugin, worker, console, sinks, emitted.get(),
                         worker_answering);
  } else {
    PlayerSettings settings;
    settings.scenario_name = scenario_name;
    settings.config_path = config_path;
    settings.sync_timeout_seconds = options.sync_timeout_seconds;
    ScenarioPlayer player(*plugin, state, console, sinks, worker, settings);
    ScenarioReader reader(*scenario);
    auto where = [&] { return scenario_name + ":" + std::to_string(reader.LineNumber()) + ": "; };
    try {
      ScenarioOp op;
      while (reader.Next(op)) player.Play(op);
      player.Start();
    } catch (const ScenarioError& e) {
      report(where() + e.what());
      status = kExitUsageOrScenario;
    } catch (const SyncTimeout& e) {
      report(where() + e.what());
      status = kExitSyncTimeout;
      worker_answering = false;
    } catch (const WorkerStartError& e) {
      report(where() + "cannot start the worker: " + e.what());
      status = kExitPluginRefused;
    }
  }
  console.EndProgress();

  // The daemon's shutdown: Terminate() asks the worker to end once it has drained what it holds
  // (and wakes it); the worker is joined, then the plugin deleted; then the library goes. A
  // worker that stopped answering is given a bounded time to end first.
  plugin->Terminate();
  if (!worker_answering && !JoinWithin(*plugin, kStuckWorkerJoinLimit)) {
    report("the worker does not end; leaving without unloading the plugin");
    sinks.Finish();
    std::fflush(nullptr);
    _exit(status);
  }
  plugin->Join();
  driver.reset();
  delete plugin;
  library.Close();

  if (!sinks.Finish() && status == kExitDone) status = kExitUsageOrScenario;
  if (emitted && !emitted->Finish()) {
    report(emitted->Error());
    if (status == kExitDone) status = kExitUsageOrScenario;
  }
  if (out.get() != stdout) {
    const int rc = std::fclose(out.release());
    if (rc != 0) {
      report(out_name + ": " + std::strerror(errno));
      if (status == kExitDone) status = kExitUsageOrScenario;
    }
  }
  return status;
}

}  // namespace replay

// RunReplay: the inputs and outputs the options name are opened, the plugin loaded, the scenario
// or the capture played through it, and everything closed in the daemon's order. The shutdown
// also runs after a failed play, so that nothing already delivered is lost.
#include "tools/replay.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>

#include "kv/global_config.h"
#include "tools/capture/capture_error.h"
#include "tools/capture/capture_source.h"
#include "tools/constants.h"
#include "tools/output/console.h"
#include "tools/output/output_file.h"
#include "tools/output/sink_files.h"
#include "tools/output/sink_output.h"
#include "tools/player/default_plugin_path.h"
#include "tools/player/live_daemon.h"
#include "tools/player/live_signals.h"
#include "tools/player/loaded_plugin.h"
#include "tools/player/play_capture.h"
#include "tools/player/play_scenario.h"
#include "tools/player/run_as_user.h"
#include "tools/player/stand_in_hooks.h"
#include "tools/scenario/daemon_state.h"
#include "tools/scenario/scenario_writer.h"
#include "tools/scenario/scratch_files.h"

namespace replay {

namespace {

constexpr const char* kStandardInputName = "<stdin>";

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
    spec.live = pcap.live;
    spec.live_settings.buffer_bytes = size_t{given.buffer_mb} << 20;
    spec.live_settings.promiscuous = given.promiscuous;
    spec.live_settings.filter = given.filter;
    specs.push_back(std::move(spec));
  }
  capture::TrackerSettings settings;
  settings.local_nets = given.local_nets;
  settings.update_interval_s = kvGlobalConfig::instance.load()->update_interval.load();
  if (given.tcp_idle != 0) settings.tcp_idle_s = given.tcp_idle;
  if (given.udp_idle != 0) settings.udp_idle_s = given.udp_idle;
  if (given.other_idle != 0) settings.other_idle_s = given.other_idle;
  if (given.has_tcp_linger) settings.tcp_closed_linger_s = given.tcp_linger;
  if (given.has_max_flows) settings.max_flows = given.max_flows;
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

}  // namespace

int RunReplay(const ReplayOptions& options) {
  Console console(!options.quiet && isatty(STDERR_FILENO) == 1);
  auto report = [&console](const std::string& message) { console.Report(message); };
  // Everything that can be refused is, before anything is played.
  auto refuse = [&report](const std::string& error, int status) {
    report(error);
    return status;
  };

  const bool from_capture = !options.capture.pcaps.empty();
  const bool live = from_capture && options.capture.pcaps.front().live;
  RunAsUser user;
  if (!options.capture.user.empty()) {
    const std::string error = user.LookUp(options.capture.user);
    if (!error.empty()) return refuse(error, kExitUsageOrScenario);
  }
  kvGlobalConfig& global = kvGlobalConfig::Create();
  if (options.capture.update_interval != 0) {
    global.update_interval.store(options.capture.update_interval);
  }
  std::unique_ptr<capture::CaptureSource> source;
  if (from_capture) {
    try {
      source = OpenCapture(options);
    } catch (const capture::CaptureError& e) {
      return refuse(e.what(), kExitUsageOrScenario);
    }
    for (const std::string& warning : source->Warnings()) report(warning);
  }
  // The interfaces are open: from here on the tool needs no privilege (its files are the user's).
  if (!options.capture.user.empty()) {
    const std::string error = user.Drop();
    if (!error.empty()) return refuse(error, kExitUsageOrScenario);
  }
  std::ifstream scenario_file;
  std::string scenario_name = kStandardInputName;
  if (!from_capture && !options.scenario_path.empty()) {
    scenario_name = options.scenario_path;
    scenario_file.open(options.scenario_path);
    if (!scenario_file) {
      return refuse(scenario_name + ": " + std::strerror(errno), kExitUsageOrScenario);
    }
  }

  OutputFile out;
  std::string error = out.Open(options.output_path);
  if (!error.empty()) return refuse(error, kExitUsageOrScenario);
  std::unique_ptr<SinkFiles> files;
  if (!options.sink_dir.empty()) {
    error = MakeDirectories(options.sink_dir);
    if (!error.empty()) return refuse(error, kExitUsageOrScenario);
    files = std::make_unique<SinkFiles>(options.sink_dir);
  }
  std::unique_ptr<ScenarioWriter> emitted;
  if (!options.capture.emit_scenario.empty()) {
    emitted = std::make_unique<ScenarioWriter>(options.capture.emit_scenario);
    if (!emitted->Ok()) return refuse(emitted->Error(), kExitUsageOrScenario);
  }
  TempDir temp_dir;
  std::string config_path = options.config_path;
  if (config_path.empty()) {
    error = temp_dir.Create();
    if (!error.empty()) return refuse(error, kExitUsageOrScenario);
    config_path = temp_dir.PathOf(kTempConfigName);
  }

  SinkOutput sinks(out.Stream(), out.Name(), files.get(), report);
  // A live capture's signals are taken from before the worker starts.
  std::unique_ptr<LiveSignals> signals;
  if (live) {
    try {
      signals = std::make_unique<LiveSignals>();
    } catch (const std::runtime_error& e) {
      return refuse(e.what(), kExitUsageOrScenario);
    }
  }
  StandInHooks hooks(console, sinks, options.debug);
  DaemonState state(from_capture ? 0 : options.buckets);  // outlives the plugin
  LoadedPlugin loaded;
  kvPlugin::Params params{{kConfFilenameParam, config_path}};
  for (const auto& param : options.params) params[param.first] = param.second;
  error = loaded.Load(
      options.plugin_path.empty() ? DefaultPluginPath(ExecutableDirectory()) : options.plugin_path,
      options.tag, params, sinks, options.sync_timeout_seconds);
  if (!error.empty()) return refuse(error, kExitPluginRefused);

  const PlayContext context{loaded.Plugin(), loaded.Worker(), console, sinks};
  PlayOutcome outcome;
  if (from_capture) {
    CapturePlayerSettings settings;
    settings.source_name = CaptureName(options.capture);
    settings.realtime = options.capture.realtime;
    std::unique_ptr<LiveDaemon> daemon;
    if (live) {
      daemon = std::make_unique<LiveDaemon>(loaded.Plugin(), loaded.Worker(), console, sinks,
                                            *signals, [&sinks, &out] { sinks.Reopen(&out); },
                                            emitted.get());
    }
    outcome =
        PlayCapture(context, *source, settings, options.buckets, emitted.get(), daemon.get());
  } else {
    PlayerSettings settings;
    settings.scenario_name = scenario_name;
    settings.config_path = config_path;
    settings.sync_timeout_seconds = options.sync_timeout_seconds;
    outcome =
        PlayScenario(context, state, scenario_file.is_open() ? scenario_file : std::cin, settings);
  }
  console.EndProgress();

  int status = outcome.status;
  if (!loaded.ShutDown(outcome.worker_answering)) {
    report("the worker does not end; leaving without unloading the plugin");
    sinks.Finish();
    std::fflush(nullptr);
    _exit(status);
  }
  auto failed = [&status, &report](const std::string& message) {
    report(message);
    if (status == kExitDone) status = kExitUsageOrScenario;
  };
  if (!sinks.Finish() && status == kExitDone) status = kExitUsageOrScenario;
  if (emitted && !emitted->Finish()) failed(emitted->Error());
  error = out.Close();
  if (!error.empty()) failed(error);
  return status;
}

}  // namespace replay

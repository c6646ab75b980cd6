// LiveDaemon: the wall clock, the signals' requests, and each second's flush and progress.
#include "tools/player/live_daemon.h"

#include <time.h>

#include <utility>

#include "tools/capture/constants.h"
#include "tools/player/plugin_call.h"

namespace replay {

LiveDaemon::LiveDaemon(kvPluginProcessor& plugin_, WorkerDriver& worker_, Console& console_,
                       SinkOutput& sinks_, LiveSignals& signals_, std::function<void()> reopen_,
                       ScenarioWriter* scenario_)
    : plugin(plugin_),
      worker(worker_),
      console(console_),
      sinks(sinks_),
      signals(signals_),
      reopen(std::move(reopen_)),
      scenario(scenario_),
      previous_beat(std::chrono::steady_clock::now()) {}

uint64_t LiveDaemon::NowUs() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  if (now.tv_sec < 0) return 0;
  return static_cast<uint64_t>(now.tv_sec) * capture::kMicrosPerSecond +
         static_cast<uint64_t>(now.tv_nsec) / 1000;
}

bool LiveDaemon::Woken() {
  const SignalRequests requests = signals.Take();
  if (requests.stop) return true;
  if (requests.reload) {
    // As a scenario's reload op: a load the worker begins from here on serves it.
    worker.ReloadRequested();
    std::string error;
    if (!PluginCall([this] { plugin.DispatchEvent(kvPlugin::EVENT_RELOAD, nullptr); }, error)) {
      console.Report("reload: the plugin threw: " + error);
    }
    if (reopen) reopen();
  }
  return false;
}

void LiveDaemon::Heartbeat(const capture::LiveFigures& figures) {
  sinks.Flush();
  if (scenario != nullptr) scenario->Flush();
  const auto now = std::chrono::steady_clock::now();
  const double seconds = std::chrono::duration<double>(now - previous_beat).count();
  const uint64_t documents = sinks.Count();
  LiveProgressFigures shown;
  shown.packets = figures.packets;
  shown.flows = figures.flows;
  shown.documents = documents;
  shown.dropped = figures.dropped;
  if (seconds > 0) {
    shown.packets_per_s = static_cast<double>(figures.packets - previous.packets) / seconds;
    shown.documents_per_s = static_cast<double>(documents - previous_documents) / seconds;
  }
  console.LiveProgress(shown);
  previous = figures;
  previous_documents = documents;
  previous_beat = now;
}

}  // namespace replay

// PlayCapture: the worker started, the source run into the capture player, its failures told.
#include "tools/player/play_capture.h"

#include <string>

#include "kv/global_config.h"

namespace replay {

PlayOutcome PlayCapture(const PlayContext& context, capture::CaptureSource& source,
                        const CapturePlayerSettings& settings, size_t buckets,
                        ScenarioWriter* scenario, capture::LiveControl* live) {
  const std::string& name = settings.source_name;
  auto report = [&context](const std::string& message) { context.console.Report(message); };
  uint64_t delivered = 0;
  // A live capture draws its own progress line, each second.
  if (live == nullptr) {
    context.worker.SetProgress(
        [&] { context.console.Progress(delivered, context.sinks.Count()); });
  }
  struct ProgressReset {
    WorkerDriver& worker;
    ~ProgressReset() { worker.SetProgress(nullptr); }
  } progress_reset{context.worker};
  CapturePlayer player(context.plugin, context.worker, context.console, settings, scenario);
  if (scenario != nullptr) {
    scenario->Comment("The daemon events korvel-replay derived from " + name + "; play with");
    scenario->Comment("korvel-replay --buckets " + std::to_string(buckets) +
                      " and the same configuration.");
    scenario->Global(kvGlobalConfig::instance.load()->update_interval.load());
    scenario->Interfaces(source.Interfaces());
  }
  PlayOutcome outcome;
  try {
    context.worker.Start();
    const std::string error = live != nullptr ? source.RunLive(player, *live) : source.Run(player);
    delivered = player.EventsDelivered();
    if (!error.empty()) {
      report(error);
      outcome.status = kExitUsageOrScenario;
    }
  } catch (const SyncTimeout& e) {
    report(name + ": " + e.what());
    outcome = {kExitSyncTimeout, false};
  } catch (const WorkerStartError& e) {
    report(name + ": cannot start the worker: " + e.what());
    outcome.status = kExitPluginRefused;
  } catch (const capture::CaptureError& e) {
    report(e.what());
    outcome.status = kExitUsageOrScenario;
  }
  return outcome;
}

}  // namespace replay

// PlayScenario: reading ops and playing each; the first failure ends the play.
#include "tools/player/play_scenario.h"

#include <string>

#include "tools/scenario/scenario_error.h"
#include "tools/scenario/scenario_reader.h"

namespace replay {

PlayOutcome PlayScenario(const PlayContext& context, DaemonState& state, std::istream& input,
                         const PlayerSettings& settings) {
  ScenarioPlayer player(context.plugin, state, context.console, context.sinks, context.worker,
                        settings);
  ScenarioReader reader(input);
  auto report = [&](const std::string& message) {
    context.console.Report(settings.scenario_name + ":" + std::to_string(reader.LineNumber()) +
                           ": " + message);
  };
  PlayOutcome outcome;
  try {
    ScenarioOp op;
    while (reader.Next(op)) player.Play(op);
    player.Start();
  } catch (const ScenarioError& e) {
    report(e.what());
    outcome.status = kExitUsageOrScenario;
  } catch (const SyncTimeout& e) {
    report(e.what());
    outcome = {kExitSyncTimeout, false};
  } catch (const WorkerStartError& e) {
    report(std::string("cannot start the worker: ") + e.what());
    outcome.status = kExitPluginRefused;
  }
  return outcome;
}

}  // namespace replay

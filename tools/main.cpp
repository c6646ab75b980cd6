// korvel-replay: runs the processor plugin without the daemon, playing a scenario of daemon events
// or packet captures.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/cli/help_text.h"
#include "tools/cli/replay_options.h"
#include "tools/constants.h"
#include "tools/replay.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  replay::ReplayOptions options;
  const std::string error = replay::ParseReplayOptions(args, options);
  if (!error.empty()) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", replay::kProgramName,
                 error.c_str(), replay::kProgramName);
    return replay::kExitUsageOrScenario;
  }
  if (options.help) {
    std::fputs(replay::HelpText().c_str(), stdout);
    return replay::kExitDone;
  }
  if (options.version) {
    std::fputs(replay::VersionText().c_str(), stdout);
    return replay::kExitDone;
  }
  return replay::RunReplay(options);
}

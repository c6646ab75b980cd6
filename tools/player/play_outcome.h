// PlayContext and PlayOutcome: what playing a source through the plugin uses, and how it ended.
#pragma once

#include "kv/plugin.h"
#include "tools/constants.h"
#include "tools/output/console.h"
#include "tools/output/sink_output.h"
#include "tools/player/worker_driver.h"

namespace replay {

// Main thread.
struct PlayContext {
  kvPluginProcessor& plugin;
  WorkerDriver& worker;
  Console& console;
  SinkOutput& sinks;
};

struct PlayOutcome {
  int status = kExitDone;        // the tool's exit status
  bool worker_answering = true;  // false after a wait on the worker ran out of time
};

}  // namespace replay

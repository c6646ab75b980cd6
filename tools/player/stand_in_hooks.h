// StandInHooks: the stand-in daemon's log and sink handlers, pointed at the console and the sinks.
#pragma once

#include "tools/output/console.h"
#include "tools/output/sink_output.h"

namespace replay {

// Installs the handlers for its lifetime; destroy it only after the plugin is gone. Main thread.
class StandInHooks {
 public:
  StandInHooks(Console& console, SinkOutput& sinks, bool debug);
  ~StandInHooks();
  StandInHooks(const StandInHooks&) = delete;
  StandInHooks& operator=(const StandInHooks&) = delete;
};

}  // namespace replay

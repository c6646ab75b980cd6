// StandInHooks: what the stand-in logs goes to the console, what the plugin sinks to SinkOutput.
#include "tools/player/stand_in_hooks.h"

#include "kv/standin.h"

namespace replay {

StandInHooks::StandInHooks(Console& console, SinkOutput& sinks, bool debug) {
  kvStandIn::SetDebug(debug);
  kvStandIn::SetLogHandler([&console](bool, const std::string& line) { console.Line(line); });
  kvStandIn::SetSinkHandler(
      [&sinks](const std::string& sink, const std::set<std::string>& channels, const json& payload,
               uint8_t flags) { sinks.Record(sink, channels, payload, flags); });
}

StandInHooks::~StandInHooks() {
  kvStandIn::SetSinkHandler(nullptr);
  kvStandIn::SetLogHandler(nullptr);
}

}  // namespace replay

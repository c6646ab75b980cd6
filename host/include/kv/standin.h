// Controls of the stand-in daemon library for the programs that host a plugin without the daemon:
// tests, the replay tool and the benchmarks. The plugin never includes this.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "kv/api.h"
#include "kv/json.h"

namespace kvStandIn {

// Receives every kvPlugin::DispatchSinkPayload call, on the calling (worker) thread.
using SinkHandler = std::function<void(const std::string& sink,
                                       const std::set<std::string>& channels,
                                       const json& payload, uint8_t flags)>;

// Receives every log line (debug lines only while debug output is on) instead of standard error.
using LogHandler = std::function<void(bool debug, const std::string& line)>;

// Installs a handler (an empty function removes it). Calls already running finish with the old
// one. Any thread.
KV_API void SetSinkHandler(SinkHandler handler);
KV_API void SetLogHandler(LogHandler handler);

// Switches kv_dprintf output on or off (off at start). Any thread.
KV_API void SetDebug(bool enabled);
KV_API bool GetDebug();

}  // namespace kvStandIn

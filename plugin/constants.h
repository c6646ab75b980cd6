// The plugin's identity texts and fixed values, in one place.
#pragma once

#include <cstdint>

namespace kpp {

constexpr const char* kLibrary = "korvel-proc-core";
constexpr const char* kName = "Korvel Core Processor Plugin";
constexpr const char* kVersion = "1.2.5";

// Version of the legacy document layout, written as "version" and "json_version".
constexpr double kLegacyJsonVersion = 1.9;

// How long an idle worker sleeps before it looks at its queue and the reload flag again.
constexpr long kWorkerWaitSeconds = 1;

// Channel-type masks that gate work.
constexpr uint8_t kWalkTypes = 0x0b;         // legacy-http, legacy-socket, stream-stats
constexpr uint8_t kFlowEventTypes = 0x06;    // legacy-socket, stream-flows
constexpr uint8_t kLegacyTypes = 0x03;       // legacy-http, legacy-socket
constexpr uint8_t kStreamStatsTypes = 0x08;  // stream-stats

}  // namespace kpp

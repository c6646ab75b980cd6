// The fixed values of the event intake and the worker loop, in one place.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kpp {

// How long an idle worker sleeps before it looks at its queue and the reload flag again.
constexpr long kWorkerWaitSeconds = 1;

// Channel-type masks that gate work.
constexpr uint8_t kWalkTypes = 0x0b;         // legacy-http, legacy-socket, stream-stats
constexpr uint8_t kFlowEventTypes = 0x06;    // legacy-socket, stream-flows
constexpr uint8_t kLegacyTypes = 0x03;       // legacy-http, legacy-socket
constexpr uint8_t kStreamStatsTypes = 0x08;  // stream-stats

// Documents of each periodic family: legacy document, "agent_hello", "agent_status"; the five
// stream documents.
constexpr uint64_t kLegacyDocuments = 3;
constexpr uint64_t kStreamDocuments = 5;

// What the worker names when a document fails: a flow event's document, or a periodic family.
constexpr const char* kWhatFlowEvent = "flow event";
constexpr const char* kWhatLegacyPayload = "legacy payload";
constexpr const char* kWhatStreamPayloads = "stream payloads";

// Kinds of failure (distinct texts) the worker reports one by one; failures of further kinds
// are only counted together until the listed kinds are forgotten.
constexpr size_t kFailureKinds = 16;

// The text of an exception that is neither a std::exception nor a std::string.
constexpr const char* kUnknownException = "unknown exception";

}  // namespace kpp

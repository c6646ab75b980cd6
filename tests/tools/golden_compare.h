// Comparison of korvel-replay output with a checked-in expected output.
// What may vary between runs is ignored: status timestamps and the order of arrays the plugin
// fills from hash tables.
#pragma once

#include <string>

#include "kv/json.h"

namespace korvel_test {

// One output record made comparable: the payload's "timestamp" member removed; the "addr" arrays
// of interface objects, the address lists of endpoints and the per-interface "flows" arrays of
// the legacy document sorted.
json NormalizeSinkRecord(const json& record);

// Compares two outputs line by line after normalizing each record. Returns an empty string when
// they match, else where and how they first differ.
std::string CompareReplayOutputs(const std::string& expected, const std::string& actual);

}  // namespace korvel_test

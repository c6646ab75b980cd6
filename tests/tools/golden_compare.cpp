// NormalizeSinkRecord and CompareReplayOutputs: exact but for timestamps and hash-table order.
#include "golden_compare.h"

#include <algorithm>
#include <sstream>
#include <vector>

#include "tool_runner.h"

namespace korvel_test {

namespace {

constexpr const char* kPayload = "payload";
constexpr const char* kTimestamp = "timestamp";
constexpr const char* kType = "type";
constexpr const char* kAddr = "addr";

void SortArray(json& array) {
  if (!array.is_array()) return;
  std::sort(array.begin(), array.end(),
            [](const json& a, const json& b) { return a.dump() < b.dump(); });
}

// Sorts the "addr" array of every interface object among the members of `interfaces`.
void SortInterfaceAddrs(json& interfaces) {
  if (!interfaces.is_object()) return;
  for (auto& entry : interfaces.items()) {
    if (entry.value().is_object() && entry.value().contains(kAddr)) {
      SortArray(entry.value()[kAddr]);
    }
  }
}

// Sorts every array member of `object` (endpoint address lists, legacy flow lists).
void SortArrayMembers(json& object) {
  if (!object.is_object()) return;
  for (auto& entry : object.items()) SortArray(entry.value());
}

bool IsLegacyDocument(const json& payload) {
  return payload.is_object() && !payload.contains(kType) && payload.contains("version");
}

}  // namespace

json NormalizeSinkRecord(const json& record) {
  json normalized = record;
  if (!normalized.is_object() || !normalized.contains(kPayload)) return normalized;
  json& payload = normalized[kPayload];
  if (!payload.is_object()) return normalized;
  payload.erase(kTimestamp);

  const std::string type = payload.contains(kType) && payload[kType].is_string()
                               ? payload[kType].get<std::string>()
                               : std::string();
  if (type == "interfaces") {
    SortInterfaceAddrs(payload);
  } else if (type == "endpoints") {
    SortArrayMembers(payload);
  } else if (IsLegacyDocument(payload)) {
    if (payload.contains("interfaces")) SortInterfaceAddrs(payload["interfaces"]);
    if (payload.contains("devices")) SortArrayMembers(payload["devices"]);
    if (payload.contains("flows")) SortArrayMembers(payload["flows"]);
  }
  return normalized;
}

std::string CompareReplayOutputs(const std::string& expected, const std::string& actual) {
  const std::vector<std::string> want = SplitLines(expected);
  const std::vector<std::string> got = SplitLines(actual);
  for (size_t i = 0; i < std::max(want.size(), got.size()); i++) {
    std::ostringstream where;
    where << "line " << (i + 1) << ": ";
    if (i >= want.size()) return where.str() + "unexpected extra line " + got[i];
    if (i >= got.size()) return where.str() + "missing line " + want[i];
    json want_record;
    json got_record;
    try {
      want_record = NormalizeSinkRecord(json::parse(want[i]));
    } catch (const json::exception& e) {
      return where.str() + "expected line is not JSON: " + e.what();
    }
    try {
      got_record = NormalizeSinkRecord(json::parse(got[i]));
    } catch (const json::exception& e) {
      return where.str() + "output line is not JSON: " + e.what();
    }
    if (want_record != got_record) {
      return where.str() + "expected " + want_record.dump() + "\n     got " + got_record.dump();
    }
  }
  return std::string();
}

}  // namespace korvel_test

// Risk name tables: display names of the risk identifiers and the mapping of nDPI risk
// codes onto them. Built at library load, read-only afterwards; a missing key has no entry.
#pragma once

#include <cstdint>
#include <unordered_map>

#include "kv/ids.h"

namespace kvRisk {
// Display name of every named risk identifier, the all-ones "TODO Add Risk" included (57 entries).
extern const std::unordered_map<Id, const char*, kvEnumHasher> Names;
// nDPI risk code to risk identifier (55 entries).
extern const std::unordered_map<uint16_t, Id> NdpiMap;
}  // namespace kvRisk

// Protocol name tables: display names and application tags of the protocol identifiers,
// the TLS port list, and the mapping of nDPI protocol codes onto the identifiers. Built at library
// load, read-only afterwards; a missing key has no entry.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include "kv/ids.h"

namespace kvProto {
// Display name of every named protocol identifier, the all-ones "TODO" included (301 entries).
extern const std::unordered_map<Id, const char*, kvEnumHasher> Names;
// Application tag of some protocols (29 entries).
extern const std::unordered_map<Id, const char*, kvEnumHasher> AppTags;
// Carrying protocol to its (port, resulting protocol) pairs: one key, TLS, with 16 pairs.
extern const std::unordered_map<Id, std::vector<std::pair<uint16_t, Id>>, kvEnumHasher> PortMap;
// nDPI protocol code to protocol identifier (288 entries from 289 rows).
extern const std::unordered_map<uint16_t, Id> NdpiMap;
// The 160 nDPI protocol codes that map to no protocol identifier, in their fixed order.
extern const std::vector<uint16_t> NdpiUnmapped;
}  // namespace kvProto

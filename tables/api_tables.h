// Two-way string tables of the daemon's API enumerations. The name-to-value tables have
// no row for "invalid"; the value-to-name tables name all four values, 0 "invalid" included.
#pragma once

#include <string>
#include <unordered_map>

#include "kv/ids.h"

namespace kvKorvelApiAuthMethod {
extern const std::unordered_map<std::string, Type> ByName;               // 3 entries
extern const std::unordered_map<Type, std::string, kvEnumHasher> Names;  // 4 entries
}  // namespace kvKorvelApiAuthMethod

namespace kvKorvelApiData {
extern const std::unordered_map<std::string, Type> ByName;               // 3 entries
extern const std::unordered_map<Type, std::string, kvEnumHasher> Names;  // 4 entries
}  // namespace kvKorvelApiData

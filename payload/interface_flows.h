// kppInterfaceFlows: the update's full flow encodings, per interface name and flow digest.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>

#include "kv/json.h"

// Filled by kppEncodeFlowEvent from flow-statistics events, read into the legacy document.
using kppInterfaceFlows = std::map<std::string, std::unordered_map<uint64_t, json>>;

// CheckAbiRecord: tells whether a plugin's kv_plugin_abi record is the one this daemon accepts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace replay {

// Checks every field of the 32-byte record at `record` (`size` is the symbol's size). Returns an
// empty string when the record is accepted, else what is wrong with it.
std::string CheckAbiRecord(const uint8_t* record, size_t size);

}  // namespace replay

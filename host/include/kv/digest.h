// Text forms of the daemon's digests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kv/api.h"

// 16 lower-case hexadecimal digits, zero-padded.
KV_API void kv_xxh64_to_string(const uint64_t& digest, std::string& out);

// Two lower-case hexadecimal digits per byte.
KV_API void kv_sha1_to_string(const std::vector<uint8_t>& digest, std::string& out);

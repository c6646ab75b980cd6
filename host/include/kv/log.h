// The daemon's log: always-shown lines and debug-only lines.
#pragma once

#include "kv/api.h"

// Writes a formatted line to the daemon's log (standard error in the stand-in). Any thread.
KV_API void kv_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Like kv_printf, but only while debug output is switched on. Any thread.
KV_API void kv_dprintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

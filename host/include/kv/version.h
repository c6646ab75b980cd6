// The daemon's version texts.
#pragma once

#include <string>

#include "kv/api.h"

KV_API const char* kv_get_version();
KV_API const std::string& kv_get_version_and_features(bool multiline);

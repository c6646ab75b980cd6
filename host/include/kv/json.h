// The JSON document type shared by the daemon library and its plugins.
#pragma once

#include <nlohmann/json.hpp>

using json = nlohmann::json;

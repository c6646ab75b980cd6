// The plugin's identity texts, as GetLibrary, GetName and GetVersion return them.
#pragma once

#include "korvel_version.h"

namespace kpp {

constexpr const char* kLibrary = "korvel-proc-core";
constexpr const char* kName = "Korvel Core Processor Plugin";
constexpr const char* kVersion = KORVEL_VERSION;

}  // namespace kpp

// Constant row lists of the API enumeration tables, in construction order. Included only
// by tables.cpp.
#pragma once

#include "kv/ids.h"
#include "tables/table_build.h"

namespace kvKorvelApiAuthMethod::rows {
inline constexpr kppTableRow<const char*, Type> kByName[] = {
    {"basic", BASIC},
    {"bearer", BEARER},
    {"mtls", MTLS},
};
inline constexpr kppTableRow<Type, const char*> kNames[] = {
    {INVALID, "invalid"},
    {BASIC, "basic"},
    {BEARER, "bearer"},
    {MTLS, "mtls"},
};
}  // namespace kvKorvelApiAuthMethod::rows

namespace kvKorvelApiData::rows {
inline constexpr kppTableRow<const char*, Type> kByName[] = {
    {"agent", AGENT},
    {"intel", INTEL},
    {"dev-discovery", DEV_DISCOVERY},
};
inline constexpr kppTableRow<Type, const char*> kNames[] = {
    {INVALID, "invalid"},
    {AGENT, "agent"},
    {INTEL, "intel"},
    {DEV_DISCOVERY, "dev-discovery"},
};
}  // namespace kvKorvelApiData::rows

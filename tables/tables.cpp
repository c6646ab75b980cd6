// The eleven name tables. All are defined in this one translation unit, in the order
// the daemon states, so that dynamic initialisation at library load builds them in that order, each
// one's destructor is registered right after it is built, and unloading destroys them in reverse
// order. Each hash table is filled from its constant row list, the first row for a key winning.

#include <iterator>

#include "tables/api_rows.h"
#include "tables/api_tables.h"
#include "tables/proto_ndpi_rows.h"
#include "tables/proto_rows.h"
#include "tables/proto_tables.h"
#include "tables/risk_rows.h"
#include "tables/risk_tables.h"
#include "tables/table_build.h"

namespace {
using kppPortMap =
    std::unordered_map<kvProto::Id, std::vector<std::pair<uint16_t, kvProto::Id>>, kvEnumHasher>;

// The port table's rows carry their pair lists as pointer and count; the first row for a
// carrying protocol wins, as in every other table.
kppPortMap kppBuildPortMap() {
  kppPortMap table;
  for (const kvProto::rows::PortListRow& row : kvProto::rows::kPortMap) {
    table.try_emplace(row.carrier, row.pairs, row.pairs + row.count);
  }
  return table;
}
}  // namespace

// 1, 2
const std::unordered_map<kvRisk::Id, const char*, kvEnumHasher> kvRisk::Names =
    kppBuildTable<std::unordered_map<kvRisk::Id, const char*, kvEnumHasher>>(kvRisk::rows::kNames);
const std::unordered_map<uint16_t, kvRisk::Id> kvRisk::NdpiMap =
    kppBuildTable<std::unordered_map<uint16_t, kvRisk::Id>>(kvRisk::rows::kNdpiMap);

// 3 to 7
const std::unordered_map<kvProto::Id, const char*, kvEnumHasher> kvProto::Names =
    kppBuildTable<std::unordered_map<kvProto::Id, const char*, kvEnumHasher>>(
        kvProto::rows::kNames);
const std::unordered_map<kvProto::Id, const char*, kvEnumHasher> kvProto::AppTags =
    kppBuildTable<std::unordered_map<kvProto::Id, const char*, kvEnumHasher>>(
        kvProto::rows::kAppTags);
const kppPortMap kvProto::PortMap = kppBuildPortMap();
const std::unordered_map<uint16_t, kvProto::Id> kvProto::NdpiMap =
    kppBuildTable<std::unordered_map<uint16_t, kvProto::Id>>(kvProto::rows::kNdpiMap);
const std::vector<uint16_t> kvProto::NdpiUnmapped(std::begin(kvProto::rows::kNdpiUnmapped),
                                                  std::end(kvProto::rows::kNdpiUnmapped));

// 8, 9
const std::unordered_map<std::string, kvKorvelApiAuthMethod::Type> kvKorvelApiAuthMethod::ByName =
    kppBuildTable<std::unordered_map<std::string, kvKorvelApiAuthMethod::Type>>(
        kvKorvelApiAuthMethod::rows::kByName);
const std::unordered_map<kvKorvelApiAuthMethod::Type, std::string, kvEnumHasher>
    kvKorvelApiAuthMethod::Names =
        kppBuildTable<std::unordered_map<kvKorvelApiAuthMethod::Type, std::string, kvEnumHasher>>(
            kvKorvelApiAuthMethod::rows::kNames);

// 10, 11
const std::unordered_map<std::string, kvKorvelApiData::Type> kvKorvelApiData::ByName =
    kppBuildTable<std::unordered_map<std::string, kvKorvelApiData::Type>>(
        kvKorvelApiData::rows::kByName);
const std::unordered_map<kvKorvelApiData::Type, std::string, kvEnumHasher> kvKorvelApiData::Names =
    kppBuildTable<std::unordered_map<kvKorvelApiData::Type, std::string, kvEnumHasher>>(
        kvKorvelApiData::rows::kNames);

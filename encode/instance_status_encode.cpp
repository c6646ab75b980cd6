// kvInstanceStatus::Encode: the agent's status with the current time and two update settings.
#include <ctime>

#include "encode/keys.h"
#include "kv/global_config.h"
#include "kv/instance_status.h"

namespace {

namespace key = kpp::encode::key;
using Path = kvSerializer::Path;

struct StatusPaths {
  Path timestamp{key::kTimestamp};
  Path update_interval{key::kUpdateInterval};
  Path update_imf{key::kUpdateImf};
  Path uptime{key::kUptime};
  Path cpu_cores{key::kCpuCores};
  Path cpu_user{key::kCpuUser};
  Path cpu_user_prev{key::kCpuUserPrev};
  Path cpu_system{key::kCpuSystem};
  Path cpu_system_prev{key::kCpuSystemPrev};
  Path flow_count{key::kFlowCount};
  Path flow_count_prev{key::kFlowCountPrev};
  Path flows_purged{key::kFlowsPurged};
  Path flows_expiring{key::kFlowsExpiring};
  Path flows_expired{key::kFlowsExpired};
  Path flows_active{key::kFlowsActive};
  Path flows_in_use{key::kFlowsInUse};
  Path flows_probation_expired{key::kFlowsProbationExpired};
  Path flows_evicted{key::kFlowsEvicted};
  Path maxrss_kb{key::kMaxrssKb};
  Path maxrss_kb_prev{key::kMaxrssKbPrev};
  Path memrss_kb{key::kMemrssKb};
  Path memrss_kb_prev{key::kMemrssKbPrev};
  Path dhc_status{key::kDhcStatus};
  Path fhc_status{key::kFhcStatus};
};

const StatusPaths& Paths() {
  static const StatusPaths paths;
  return paths;
}

}  // namespace

// Any thread; the record and the document belong to the caller, the global configuration is only
// read. No lock. GetInstance tests the instance pointer before each of the two settings and throws
// kvException "...: instance not found" when there is none, leaving what was written before.
template <typename J>
void kvInstanceStatus::Encode(J& j) const {
  const StatusPaths& paths = Paths();
  auto counter = [](uint64_t value) { return static_cast<unsigned long>(value); };
  serialize(j, paths.timestamp, static_cast<long>(std::time(nullptr)));
  serialize(j, paths.update_interval,
            static_cast<unsigned int>(kvGlobalConfig::GetInstance().update_interval.load()));
  serialize(j, paths.update_imf,
            static_cast<unsigned int>(kvGlobalConfig::GetInstance().update_imf.load()));
  serialize(j, paths.uptime, static_cast<unsigned int>(uptime));
  serialize(j, paths.cpu_cores, static_cast<unsigned int>(cpu_cores));
  serialize(j, paths.cpu_user, cpu_user);
  serialize(j, paths.cpu_user_prev, cpu_user_prev);
  serialize(j, paths.cpu_system, cpu_system);
  serialize(j, paths.cpu_system_prev, cpu_system_prev);
  serialize(j, paths.flow_count, counter(flow_count));
  serialize(j, paths.flow_count_prev, counter(flow_count_prev));
  serialize(j, paths.flows_purged, counter(flows_purged));
  serialize(j, paths.flows_expiring, counter(flows_expiring));
  serialize(j, paths.flows_expired, counter(flows_expired));
  serialize(j, paths.flows_active, counter(flows_active));
  serialize(j, paths.flows_in_use, counter(flows_in_use));
  serialize(j, paths.flows_probation_expired, counter(flows_probation_expired));
  serialize(j, paths.flows_evicted, counter(flows_evicted));
  serialize(j, paths.maxrss_kb, counter(maxrss_kb));
  serialize(j, paths.maxrss_kb_prev, counter(maxrss_kb_prev));
  serialize(j, paths.memrss_kb, counter(memrss_kb));
  serialize(j, paths.memrss_kb_prev, counter(memrss_kb_prev));
  serialize(j, paths.dhc_status, dhc_status);
  serialize(j, paths.fhc_status, fhc_status);
}

template void kvInstanceStatus::Encode<json>(json&) const;

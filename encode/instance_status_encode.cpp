// kvInstanceStatus::Encode: the agent's status with the current time and two update settings.
#include <ctime>

#include "kv/global_config.h"
#include "kv/instance_status.h"

namespace {

using Path = kvSerializer::Path;

struct StatusPaths {
  Path timestamp{"timestamp"};
  Path update_interval{"update_interval"};
  Path update_imf{"update_imf"};
  Path uptime{"uptime"};
  Path cpu_cores{"cpu_cores"};
  Path cpu_user{"cpu_user"};
  Path cpu_user_prev{"cpu_user_prev"};
  Path cpu_system{"cpu_system"};
  Path cpu_system_prev{"cpu_system_prev"};
  Path flow_count{"flow_count"};
  Path flow_count_prev{"flow_count_prev"};
  Path flows_purged{"flows_purged"};
  Path flows_expiring{"flows_expiring"};
  Path flows_expired{"flows_expired"};
  Path flows_active{"flows_active"};
  Path flows_in_use{"flows_in_use"};
  Path flows_probation_expired{"flows_probation_expired"};
  Path flows_evicted{"flows_evicted"};
  Path maxrss_kb{"maxrss_kb"};
  Path maxrss_kb_prev{"maxrss_kb_prev"};
  Path memrss_kb{"memrss_kb"};
  Path memrss_kb_prev{"memrss_kb_prev"};
  Path dhc_status{"dhc_status"};
  Path fhc_status{"fhc_status"};
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

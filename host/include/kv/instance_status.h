// kvInstanceStatus: the agent's own status once per update.
#pragma once

#include <cstdint>

#include "kv/api.h"
#include "kv/json.h"
#include "kv/serializer.h"

class KV_API kvInstanceStatus : public kvSerializer {
 public:
  uint32_t cpu_cores = 0;
  uint64_t ts_epoch = 0;  // seconds since the epoch when the agent started; not encoded
  uint32_t uptime = 0;
  uint64_t ts_now = 0;  // seconds since the epoch of this status; not encoded
  uint64_t flow_count = 0;
  uint64_t flow_count_prev = 0;
  uint64_t flows_purged = 0;
  uint64_t flows_expiring = 0;
  uint64_t flows_expired = 0;
  uint64_t flows_active = 0;
  uint64_t flows_in_use = 0;
  uint64_t flows_probation_expired = 0;
  uint64_t flows_evicted = 0;
  double cpu_user = 0.0;
  double cpu_user_prev = 0.0;
  double cpu_system = 0.0;
  double cpu_system_prev = 0.0;
  uint64_t maxrss_kb = 0;
  uint64_t maxrss_kb_prev = 0;
  uint64_t memrss_kb = 0;
  uint64_t memrss_kb_prev = 0;
  bool dhc_status = false;
  bool fhc_status = false;

  // Writes the 24 status members. Defined by the processor plugin.
  template <typename J>
  void Encode(J& j) const;
};

// UpdateRecords: what the capture source hands over at the end of an update interval.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kv/flow.h"
#include "kv/flow_map.h"
#include "kv/instance_status.h"
#include "kv/interface.h"
#include "kv/packet_stats.h"

namespace capture {

struct UpdateRecords {
  kvFlowMap& flow_map;                                                 // walked with event 1
  std::map<std::string, std::shared_ptr<kvInterface>>& interfaces;     // event 9
  std::vector<std::pair<std::string, kvPacketStats>> interface_stats;  // event 10, interface order
  kvPacketStats global_stats;                                          // event 11
  kvInstanceStatus status;                                             // event 12
  uint64_t time_ms = 0;                                                // capture time of the update
  // The flow-map keys of the flows published statistics-ready for this walk (the ones it
  // queues), in flow-creation order; each lives as long as its flow is in the map.
  std::vector<const std::string*> ready;
};

}  // namespace capture

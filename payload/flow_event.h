// kppFlowEvent: one flow event queued by a daemon thread for the worker, as the payload builders
// read it.
#pragma once

#include <cstdint>
#include <memory>

#include "kv/flow.h"
#include "kv/flow_stats.h"

// A copyable snapshot: it shares the flow with the daemon (keeping it alive while queued) and
// holds its own copy of the flow's counters, taken when the event was queued.
struct kppFlowEvent {
  std::shared_ptr<kvFlow> flow;
  uint16_t event = 0;
  kvFlowStats stats;
};

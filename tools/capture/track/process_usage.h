// ProcessUsage: the tool's own processor time and memory, for the agent status.
#pragma once

#include <cstdint>

namespace capture {

struct ProcessUsage {
  double cpu_user = 0.0;    // seconds
  double cpu_system = 0.0;  // seconds
  uint64_t maxrss_kb = 0;
  uint64_t memrss_kb = 0;
  uint32_t cpu_cores = 0;
};

// Reads getrusage and /proc/self/statm; figures it cannot read stay 0. Any thread.
ProcessUsage ReadProcessUsage();

}  // namespace capture

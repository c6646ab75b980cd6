// kvFlowStats: a flow's counters record, copied into every queued flow event.
#pragma once

#include <cstdint>

struct kvFlowStats {
  uint64_t lower_bytes = 0;
  uint64_t upper_bytes = 0;
  uint64_t total_bytes = 0;
  uint64_t lower_total_bytes = 0;
  uint64_t upper_total_bytes = 0;
  uint32_t lower_packets = 0;
  uint32_t upper_packets = 0;
  uint32_t total_packets = 0;
  uint32_t lower_total_packets = 0;
  uint32_t upper_total_packets = 0;
  uint8_t detection_packets = 0;
  // Daemon-private bookkeeping that the encoders never read.
  uint64_t ts_rate_update = 0;
  float lower_rate = 0.0f;
  float upper_rate = 0.0f;
  uint32_t tcp_seq_errors = 0;
  uint32_t tcp_resets = 0;
  uint32_t tcp_retrans = 0;
};

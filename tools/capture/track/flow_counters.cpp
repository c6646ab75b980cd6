// Flow counters: counting a packet and filling the record's counters, saturating.
#include "tools/capture/track/flow_counters.h"

#include "tools/capture/constants.h"

namespace capture {

void CountPacket(SideCounters& side, uint32_t wirelen) {
  side.bytes = SaturatingAdd<uint64_t>(side.bytes, wirelen);
  side.total_bytes = SaturatingAdd<uint64_t>(side.total_bytes, wirelen);
  CountOne(side.packets);
  CountOne(side.total_packets);
}

void FillFlowStats(const FlowState& state, uint64_t interval_s, kvFlowStats& stats) {
  stats.lower_bytes = state.lower.bytes;
  stats.upper_bytes = state.upper.bytes;
  stats.lower_total_bytes = state.lower.total_bytes;
  stats.upper_total_bytes = state.upper.total_bytes;
  stats.total_bytes = SaturatingAdd(state.lower.total_bytes, state.upper.total_bytes);
  stats.lower_packets = state.lower.packets;
  stats.upper_packets = state.upper.packets;
  stats.lower_total_packets = state.lower.total_packets;
  stats.upper_total_packets = state.upper.total_packets;
  stats.total_packets = SaturatingAdd(state.lower.total_packets, state.upper.total_packets);
  stats.detection_packets = static_cast<uint8_t>(
      state.dpi.packets > std::numeric_limits<uint8_t>::max() ? std::numeric_limits<uint8_t>::max()
                                                              : state.dpi.packets);
  stats.ts_rate_update = state.last_us / kMicrosPerMilli;
  const double interval = static_cast<double>(interval_s == 0 ? 1 : interval_s);
  stats.lower_rate = static_cast<float>(static_cast<double>(state.lower.bytes) / interval);
  stats.upper_rate = static_cast<float>(static_cast<double>(state.upper.bytes) / interval);
  stats.tcp_seq_errors = state.tcp_seq_errors;
  stats.tcp_resets = state.tcp_resets;
  stats.tcp_retrans = state.tcp_retrans;
}

}  // namespace capture

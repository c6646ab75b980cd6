// FlowState: the tracker's private state of one flow, counted per packet without touching the
// daemon's record.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "kv/flow.h"
#include "tools/capture/classify/dpi_state.h"
#include "tools/capture/track/flow_key.h"
#include "tools/capture/track/tcp_sequence.h"

namespace capture {

// The idle lists a flow can be on; each is kept in order of last activity.
enum IdleList : uint8_t { kIdleTcp, kIdleTcpClosed, kIdleUdp, kIdleOther, kIdleLists };

// What one endpoint sent: since the flow's previous walk, and in total. The packet counts stop
// at their largest value (the daemon's record holds them in 32 bits), the byte counts at theirs.
struct SideCounters {
  uint64_t bytes = 0;
  uint64_t total_bytes = 0;
  uint32_t packets = 0;
  uint32_t total_packets = 0;
};

// The GTP tunnel's outer endpoints and identifiers, learnt from packets towards each outer
// endpoint; only a tunnelled flow has them.
struct GtpTunnel {
  Endpoint lower;
  Endpoint upper;
  uint32_t lower_teid = 0;
  uint32_t upper_teid = 0;
};

// Owned by the FlowTracker; touched only by the thread that plays the capture. The members are
// ordered so that the small ones fill the gaps the larger ones leave.
struct FlowState {
  FlowKey key;
  uint8_t idle_list = kIdleOther;
  bool fin[2] = {false, false};  // [0] from lower, [1] from upper
  bool closed = false;
  uint64_t number = 0;  // creation number, 1 for the first flow
  std::string map_key;  // kFlowKeyPrefix + number
  std::shared_ptr<kvFlow> record;

  // Creation order (for updates and the final expiry) and the idle list, both intrusive.
  FlowState* all_prev = nullptr;
  FlowState* all_next = nullptr;
  FlowState* idle_prev = nullptr;
  FlowState* idle_next = nullptr;

  uint64_t last_us = 0;
  SideCounters lower;
  SideCounters upper;
  // TCP's counters stop at their largest value, as the record holds them in 32 bits.
  uint32_t tcp_resets = 0;
  uint32_t tcp_retrans = 0;
  uint32_t tcp_seq_errors = 0;
  TcpSequence tcp_seq[2];  // [0] lower to upper, [1] upper to lower

  std::unique_ptr<GtpTunnel> gtp;  // null for a flow that is not tunnelled

  // Endpoint-table entry: the local side's MAC and address, when the local side is local.
  uint8_t endpoint_mac[6] = {};
  bool has_endpoint = false;
  bool origin_lower = true;  // the lower endpoint sent the flow's first packet

  bool moved = false;            // packets since the previous update
  bool published_ready = false;  // published statistics-ready at the previous update
  DpiState dpi;
  uint64_t handed_generation = 0;  // the hand-over generation it was last handed out in
};

}  // namespace capture

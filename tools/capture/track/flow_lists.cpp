// FlowLists: linking and unlinking flows, and which idle list's head expires first.
#include "tools/capture/track/flow_lists.h"

#include <algorithm>
#include <limits>

#include "tools/capture/constants.h"

namespace capture {

FlowLists::FlowLists(const TrackerSettings& settings) {
  timeout_us[kIdleTcp] = uint64_t{settings.tcp_idle_s} * kMicrosPerSecond;
  timeout_us[kIdleTcpClosed] = uint64_t{settings.tcp_closed_linger_s} * kMicrosPerSecond;
  timeout_us[kIdleUdp] = uint64_t{settings.udp_idle_s} * kMicrosPerSecond;
  timeout_us[kIdleOther] = uint64_t{settings.other_idle_s} * kMicrosPerSecond;
}

uint8_t FlowLists::ListOf(const FlowState& state) {
  if (state.key.protocol == kProtoTcp) return state.closed ? kIdleTcpClosed : kIdleTcp;
  if (state.key.protocol == kProtoUdp) return kIdleUdp;
  return kIdleOther;
}

void FlowLists::Add(FlowState& state) {
  state.all_prev = all_tail;
  state.all_next = nullptr;
  (all_tail ? all_tail->all_next : all_head) = &state;
  all_tail = &state;
  LinkIdle(state, ListOf(state));
}

void FlowLists::Touch(FlowState& state) {
  UnlinkIdle(state);
  LinkIdle(state, ListOf(state));
}

void FlowLists::Remove(FlowState& state) {
  (state.all_prev ? state.all_prev->all_next : all_head) = state.all_next;
  (state.all_next ? state.all_next->all_prev : all_tail) = state.all_prev;
  state.all_prev = state.all_next = nullptr;
  UnlinkIdle(state);
}

uint64_t FlowLists::NextExpiry() const {
  uint64_t next = std::numeric_limits<uint64_t>::max();
  for (uint8_t list = 0; list < kIdleLists; list++) {
    if (idle_head[list]) next = std::min(next, idle_head[list]->last_us + timeout_us[list]);
  }
  return next;
}

FlowState* FlowLists::Expired(uint64_t now_us) const {
  FlowState* oldest = nullptr;
  uint64_t deadline = std::numeric_limits<uint64_t>::max();
  for (uint8_t list = 0; list < kIdleLists; list++) {
    FlowState* head = idle_head[list];
    if (head && head->last_us + timeout_us[list] < deadline) {
      deadline = head->last_us + timeout_us[list];
      oldest = head;
    }
  }
  return oldest != nullptr && deadline < now_us ? oldest : nullptr;
}

void FlowLists::LinkIdle(FlowState& state, uint8_t list) {
  state.idle_list = list;
  state.idle_prev = idle_tail[list];
  state.idle_next = nullptr;
  (idle_tail[list] ? idle_tail[list]->idle_next : idle_head[list]) = &state;
  idle_tail[list] = &state;
  idle_size[list]++;
}

void FlowLists::UnlinkIdle(FlowState& state) {
  const uint8_t list = state.idle_list;
  (state.idle_prev ? state.idle_prev->idle_next : idle_head[list]) = state.idle_next;
  (state.idle_next ? state.idle_next->idle_prev : idle_tail[list]) = state.idle_prev;
  state.idle_prev = state.idle_next = nullptr;
  idle_size[list]--;
}

}  // namespace capture

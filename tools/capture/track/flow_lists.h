// FlowLists: the tracker's flows in creation order, and on their idle lists in order of activity.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tools/capture/track/flow_state.h"
#include "tools/capture/track/tracker_settings.h"

namespace capture {

// Both lists are intrusive (the links are in FlowState). Used by the tracker's thread.
class FlowLists {
 public:
  // The idle times and the linger of closed TCP flows come from `settings`.
  explicit FlowLists(const TrackerSettings& settings);

  // Adds a new flow at the end of creation order and of its idle list.
  void Add(FlowState& state);
  // Moves a flow that was just active to the end of its idle list, which its protocol and its
  // closing decide: each list stays in order of last activity because the capture clock never
  // goes back.
  void Touch(FlowState& state);
  void Remove(FlowState& state);

  // The oldest flow in creation order; null with none.
  FlowState* First() const { return all_head; }
  // The earliest time at which a flow's idle time or linger has passed; UINT64_MAX with none.
  uint64_t NextExpiry() const;
  // The flow whose idle time or linger passed first, if that was before `now_us`; else null.
  FlowState* Expired(uint64_t now_us) const;
  size_t IdleSize(uint8_t list) const { return idle_size[list]; }

 private:
  static uint8_t ListOf(const FlowState& state);
  void LinkIdle(FlowState& state, uint8_t list);
  void UnlinkIdle(FlowState& state);

  uint64_t timeout_us[kIdleLists];
  FlowState* all_head = nullptr;
  FlowState* all_tail = nullptr;
  FlowState* idle_head[kIdleLists] = {};
  FlowState* idle_tail[kIdleLists] = {};
  size_t idle_size[kIdleLists] = {};
};

}  // namespace capture

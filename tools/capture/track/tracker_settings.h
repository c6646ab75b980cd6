// TrackerSettings: the flow tracker's tunables, each with its default.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/capture/constants.h"

namespace capture {

struct TrackerSettings {
  // Networks whose addresses are local, as CIDR texts ("10.0.0.0/8", "fd00::/8"); empty: the
  // private, unique-local, link-local and loopback ranges (see kDefaultLocalNets).
  std::vector<std::string> local_nets;
  // Capture seconds between two updates; the player fills it from the global configuration.
  uint32_t update_interval_s = 15;
  // Idle times after which a flow without packets expires, by protocol.
  uint32_t tcp_idle_s = 300;
  uint32_t udp_idle_s = 30;
  uint32_t other_idle_s = 30;
  // How long a closed TCP flow (FIN both ways, or a RST) stays after its last packet, so that the
  // last segments of the closing handshake still count in it.
  uint32_t tcp_closed_linger_s = 2;
  // Flows tracked at once; 0: no limit. A packet that would start a flow while the table is full
  // starts none: it counts in its interface's "flow_dropped" (and in the interface's packet
  // counters) and is not classified.
  uint64_t max_flows = kDefaultMaxFlows;
  // Purged records kept for the plugin before a purge settles (see kMaxRetiredFlows); at least 1.
  size_t max_retired_flows = kMaxRetiredFlows;
};

// The local networks used when TrackerSettings::local_nets is empty.
extern const std::vector<std::string> kDefaultLocalNets;

}  // namespace capture

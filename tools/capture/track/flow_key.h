// FlowKey: a flow's identity, with its endpoints ordered lower and upper, and its digest.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kv/addr.h"
#include "tools/capture/decode/decoded_packet.h"

namespace capture {

// Plain bytes without padding, so keys compare and hash as memory.
struct FlowKey {
  uint32_t iface = 0;  // index of the interface the flow was seen on
  uint8_t ip_version = 0;
  uint8_t protocol = 0;
  uint16_t vlan_id = 0;
  Endpoint lower;  // the smaller address, then the smaller port
  Endpoint upper;

  bool operator==(const FlowKey& other) const;
};
static_assert(sizeof(FlowKey) == 44, "FlowKey must have no padding");

struct FlowKeyHash {
  size_t operator()(const FlowKey& key) const;
};

// The key of a decoded packet on interface `iface`; `from_lower` tells whether the packet was
// sent by the lower endpoint. Ports are kept for TCP and UDP only.
FlowKey MakeFlowKey(uint32_t iface, const DecodedPacket& packet, bool& from_lower);

// Orders two endpoints: true when `a` is the lower one (ties count as lower).
bool IsLower(const Endpoint& a, const Endpoint& b);

// XXH64 (seed 0) of the identity: IP version, protocol, VLAN id (2 bytes, big-endian), the lower
// address (4 or 16 bytes) and port (2 bytes, big-endian), then the upper address and port. The
// interface is not part of it, so the same flow seen on two interfaces has one digest.
uint64_t FlowDigest(const FlowKey& key);

// The address (4 or 16 bytes by `version`) with its port as a daemon address record.
kvAddr MakeAddr(uint8_t version, const Endpoint& endpoint);

}  // namespace capture

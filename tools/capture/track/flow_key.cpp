// FlowKey: building, comparing, hashing and digesting flow identities.
#include "tools/capture/track/flow_key.h"

#include <arpa/inet.h>
#include <xxhash.h>

#include <cstring>

#include "tools/capture/constants.h"

namespace capture {

bool FlowKey::operator==(const FlowKey& other) const {
  return std::memcmp(this, &other, sizeof(FlowKey)) == 0;
}

size_t FlowKeyHash::operator()(const FlowKey& key) const {
  return static_cast<size_t>(XXH3_64bits(&key, sizeof(key)));
}

bool IsLower(const Endpoint& a, const Endpoint& b) {
  const int order = std::memcmp(a.addr, b.addr, sizeof(a.addr));
  if (order != 0) return order < 0;
  return a.port <= b.port;
}

FlowKey MakeFlowKey(uint32_t iface, const DecodedPacket& packet, bool& from_lower) {
  FlowKey key;
  key.iface = iface;
  key.ip_version = packet.ip_version;
  key.protocol = packet.protocol;
  key.vlan_id = packet.vlan_id;
  Endpoint src = packet.src;
  Endpoint dst = packet.dst;
  if (packet.protocol != kProtoTcp && packet.protocol != kProtoUdp) {
    src.port = 0;
    dst.port = 0;
  }
  from_lower = IsLower(src, dst);
  key.lower = from_lower ? src : dst;
  key.upper = from_lower ? dst : src;
  return key;
}

uint64_t FlowDigest(const FlowKey& key) {
  uint8_t bytes[4 + 2 * (16 + 2)];
  size_t n = 0;
  bytes[n++] = key.ip_version;
  bytes[n++] = key.protocol;
  bytes[n++] = static_cast<uint8_t>(key.vlan_id >> 8);
  bytes[n++] = static_cast<uint8_t>(key.vlan_id);
  const size_t length = key.ip_version == 4 ? 4 : 16;
  for (const Endpoint* endpoint : {&key.lower, &key.upper}) {
    std::memcpy(bytes + n, endpoint->addr, length);
    n += length;
    bytes[n++] = static_cast<uint8_t>(endpoint->port >> 8);
    bytes[n++] = static_cast<uint8_t>(endpoint->port);
  }
  return XXH64(bytes, n, 0);
}

kvAddr MakeAddr(uint8_t version, const Endpoint& endpoint) {
  kvAddr addr;
  if (version == 4) {
    addr.storage.in.sin_family = AF_INET;
    std::memcpy(&addr.storage.in.sin_addr, endpoint.addr, 4);
    addr.storage.in.sin_port = htons(endpoint.port);
  } else if (version == 6) {
    addr.storage.in6.sin6_family = AF_INET6;
    std::memcpy(&addr.storage.in6.sin6_addr, endpoint.addr, 16);
    addr.storage.in6.sin6_port = htons(endpoint.port);
  }
  return addr;
}

}  // namespace capture

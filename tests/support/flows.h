// Builders of daemon records for tests: interfaces and flows with typical values.
#pragma once

#include <memory>
#include <string>

#include "kv/flow.h"
#include "kv/interface.h"

namespace korvel_test {

inline std::shared_ptr<kvInterface> MakeInterface(const std::string& name, uint8_t role) {
  return std::make_shared<kvInterface>(name, role);
}

// A TCP flow on `iface` between 192.0.2.10:50000 (lower, local) and 198.51.100.20:443, with
// digest `digest`, both packet counters non-zero and the statistics ready.
inline std::shared_ptr<kvFlow> MakeFlow(const std::shared_ptr<kvInterface>& iface,
                                        uint64_t digest) {
  auto flow = std::make_shared<kvFlow>();
  flow->iface = iface;
  flow->digest = digest;
  flow->ts_first_seen = 1700000000000;
  flow->ts_last_seen = 1700000005000;
  flow->lower_map = kvFlow::LOWER_MAP_LOCAL;
  flow->ip_version = 4;
  flow->ip_protocol = 6;
  kvAddr::FromString("192.0.2.10:50000", flow->lower_addr);
  kvAddr::FromString("198.51.100.20:443", flow->upper_addr);
  kvAddr::FromString("00:11:22:33:44:55", flow->lower_mac);
  kvAddr::FromString("66:77:88:99:aa:bb", flow->upper_mac);
  flow->detected_protocol = static_cast<kvProto::Id>(7);
  flow->detected_protocol_name = "HTTP";
  flow->stats_ready = true;
  flow->stats.lower_packets = 3;
  flow->stats.upper_packets = 4;
  flow->stats.lower_bytes = 300;
  flow->stats.upper_bytes = 400;
  return flow;
}

}  // namespace korvel_test

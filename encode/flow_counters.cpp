// EncodeFlowCounters: a flow's byte, packet and rate counters, named from the local point of view.
#include "encode/flow_sections.h"
#include "encode/keys.h"
#include "encode/texts.h"

namespace kpp::encode {

namespace {

using Path = kvSerializer::Path;

// The counter keys of one side of the flow, local or other.
struct SidePaths {
  Path bytes;
  Path total_bytes;
  Path packets;
  Path total_packets;
  Path rate;
};

struct CounterPaths {
  SidePaths local{{"local_bytes"},
                  {"total_local_bytes"},
                  {"local_packets"},
                  {"total_local_packets"},
                  {"local_rate"}};
  SidePaths other{{"other_bytes"},
                  {"total_other_bytes"},
                  {"other_packets"},
                  {"total_other_packets"},
                  {"other_rate"}};
  Path total_packets{"total_packets"};
  Path total_bytes{"total_bytes"};
  Path detection_packets{"detection_packets"};
  Path tcp_seq_errors{key::kTcp, "seq_errors"};
  Path tcp_resets{key::kTcp, "resets"};
  Path tcp_retrans{key::kTcp, "retrans"};
};

const CounterPaths& Paths() {
  static const CounterPaths paths;
  return paths;
}

}  // namespace

std::vector<std::string> FlowCounterKeys() {
  const CounterPaths& paths = Paths();
  std::vector<std::string> keys;
  for (const SidePaths* side : {&paths.local, &paths.other}) {
    for (const Path* path :
         {&side->bytes, &side->total_bytes, &side->packets, &side->total_packets, &side->rate}) {
      keys.push_back(path->front());
    }
  }
  for (const Path* path : {&paths.total_packets, &paths.total_bytes, &paths.detection_packets,
                           &paths.tcp_seq_errors, &paths.tcp_resets, &paths.tcp_retrans}) {
    keys.push_back(path->front());
  }
  return keys;
}

void EncodeFlowCounters(const kvFlow& flow, json& j, const kvFlowStats& stats,
                        bool lower_is_local) {
  const CounterPaths& paths = Paths();
  const SidePaths& lower = lower_is_local ? paths.local : paths.other;
  const SidePaths& upper = lower_is_local ? paths.other : paths.local;

  flow.serialize(j, lower.bytes, static_cast<unsigned long>(stats.lower_bytes));
  flow.serialize(j, upper.bytes, static_cast<unsigned long>(stats.upper_bytes));
  flow.serialize(j, lower.total_bytes, static_cast<unsigned long>(stats.lower_total_bytes));
  flow.serialize(j, upper.total_bytes, static_cast<unsigned long>(stats.upper_total_bytes));
  flow.serialize(j, lower.packets, static_cast<unsigned int>(stats.lower_packets));
  flow.serialize(j, lower.total_packets, static_cast<unsigned int>(stats.lower_total_packets));
  flow.serialize(j, upper.packets, static_cast<unsigned int>(stats.upper_packets));
  flow.serialize(j, upper.total_packets, static_cast<unsigned int>(stats.upper_total_packets));
  flow.serialize(j, paths.total_packets, static_cast<unsigned int>(stats.total_packets));
  flow.serialize(j, paths.total_bytes, static_cast<unsigned long>(stats.total_bytes));
  flow.serialize(j, paths.detection_packets, static_cast<unsigned char>(stats.detection_packets));
  flow.serialize(j, lower.rate, static_cast<double>(stats.lower_rate));
  flow.serialize(j, upper.rate, static_cast<double>(stats.upper_rate));

  if (flow.ip_protocol == text::kIpProtocolTcp) {
    flow.serialize(j, paths.tcp_seq_errors, static_cast<unsigned int>(stats.tcp_seq_errors));
    flow.serialize(j, paths.tcp_resets, static_cast<unsigned int>(stats.tcp_resets));
    flow.serialize(j, paths.tcp_retrans, static_cast<unsigned int>(stats.tcp_retrans));
  }
}

}  // namespace kpp::encode

// kppDispatchToChannels: hands one document to every channel that subscribes to its type.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "config/settings.h"
#include "kv/json.h"
#include "kv/plugin.h"

// The dispatch flags of a `type` document sent to `channel`: its format and compression, and the
// line framing of legacy-socket documents.
kvFlags<kvPlugin::DispatchFlags> kppChannelFlags(kppChannelConfig::Type type,
                                                 const kppChannelConfig& channel);

// Calls `sink_call(sink, channels, payload, flags)` once per channel of `sinks` whose types
// include `type`, in sink and channel name order, with a set of that one channel's name.
// Whatever sink_call throws ends the dispatch there.
template <typename SinkCall>
void kppDispatchToChannels(const kppSinks& sinks, kppChannelConfig::Type type, const json& payload,
                           SinkCall&& sink_call) {
  for (const auto& sink : sinks) {
    for (const auto& channel : sink.second) {
      if ((type & ~channel.second.types) != 0) continue;
      const std::set<std::string> channels{channel.first};
      sink_call(sink.first, channels, payload, kppChannelFlags(type, channel.second));
    }
  }
}

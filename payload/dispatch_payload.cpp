// DispatchPayload: hands one document to every channel that subscribes to its type.
#include <set>

#include "plugin/plugin.h"

namespace {

uint8_t ChannelFlags(kppChannelConfig::Type type, const kppChannelConfig& channel) {
  uint8_t flags = kvPlugin::DF_NONE;
  if (type == kppChannelConfig::TYPE_LEGACY_SOCKET) {
    flags = kvPlugin::DF_ADD_CR | kvPlugin::DF_ADD_HEADER;
  }
  if (channel.format == kppChannelConfig::FORMAT_MSGPACK) {
    flags |= kvPlugin::DF_FORMAT_MSGPACK;
  } else if (channel.format == kppChannelConfig::FORMAT_JSON) {
    flags |= kvPlugin::DF_FORMAT_JSON;
  }
  if (channel.compress) flags |= kvPlugin::DF_GZ_DEFLATE;
  return flags;
}

}  // namespace

void kppPlugin::DispatchPayload(kppChannelConfig::Type type, const json& payload) {
  for (const auto& sink : sinks) {
    for (const auto& channel : sink.second) {
      if ((type & ~channel.second.types) != 0) continue;
      const std::set<std::string> channels{channel.first};
      DispatchSinkPayload(
          sink.first, channels, payload,
          kvFlags<kvPlugin::DispatchFlags>::FromBits(ChannelFlags(type, channel.second)));
    }
  }
  // Counted only when every matching channel has taken the document.
  payloads_dispatched++;
}

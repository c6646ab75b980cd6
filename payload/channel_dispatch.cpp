// kppChannelFlags: the dispatch flags of one document for one channel.
#include "payload/channel_dispatch.h"

kvFlags<kvPlugin::DispatchFlags> kppChannelFlags(kppChannelConfig::Type type,
                                                 const kppChannelConfig& channel) {
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
  return kvFlags<kvPlugin::DispatchFlags>::FromBits(flags);
}

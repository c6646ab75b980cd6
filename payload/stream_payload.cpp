// DispatchStreamPayload: the five stream documents of one update, to stream-stats channels.
#include "kv/version.h"
#include "payload/keys.h"
#include "plugin/plugin.h"

void kppPlugin::DispatchStreamPayload(const kppUpdateDocuments& documents) {
  json document = documents.status;
  document[kpp::keys::Type()] = kpp::texts::kAgentStatus;
  document[kpp::keys::AgentVersion()] = kv_get_version();
  document[kpp::keys::BuildVersion()] = kv_get_version_and_features(false);
  DispatchPayload(kppChannelConfig::TYPE_STREAM_STATS, document);

  document = documents.interfaces;
  document[kpp::keys::Type()] = kpp::texts::kInterfaces;
  DispatchPayload(kppChannelConfig::TYPE_STREAM_STATS, document);

  document = documents.endpoints;
  document[kpp::keys::Type()] = kpp::texts::kEndpoints;
  DispatchPayload(kppChannelConfig::TYPE_STREAM_STATS, document);

  document = documents.interface_stats;
  document[kpp::keys::Type()] = kpp::texts::kInterfaceStats;
  DispatchPayload(kppChannelConfig::TYPE_STREAM_STATS, document);

  document = documents.global_stats;
  document[kpp::keys::Type()] = kpp::texts::kGlobalStats;
  DispatchPayload(kppChannelConfig::TYPE_STREAM_STATS, document);
}

// kppDispatchStreamPayload: the five stream documents of one update, to stream-stats channels.
#include "payload/stream_payload.h"

#include "kv/version.h"
#include "payload/document_texts.h"

void kppDispatchStreamPayload(const kppUpdateDocuments& documents,
                              const kppDocumentDispatch& dispatch) {
  json document = documents.status;
  document[kpp::keys::Type()] = kpp::texts::kAgentStatus;
  document[kpp::keys::AgentVersion()] = kv_get_version();
  document[kpp::keys::BuildVersion()] = kv_get_version_and_features(false);
  dispatch(kppChannelConfig::TYPE_STREAM_STATS, document);

  document = documents.interfaces;
  document[kpp::keys::Type()] = "interfaces";
  dispatch(kppChannelConfig::TYPE_STREAM_STATS, document);

  document = documents.endpoints;
  document[kpp::keys::Type()] = "endpoints";
  dispatch(kppChannelConfig::TYPE_STREAM_STATS, document);

  document = documents.interface_stats;
  document[kpp::keys::Type()] = "interface_stats";
  dispatch(kppChannelConfig::TYPE_STREAM_STATS, document);

  document = documents.global_stats;
  document[kpp::keys::Type()] = "global_stats";
  dispatch(kppChannelConfig::TYPE_STREAM_STATS, document);
}

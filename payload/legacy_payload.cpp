// DispatchLegacyPayload: the legacy document with the update's flows, then "agent_hello" and the
// legacy "agent_status".
#include "kv/version.h"
#include "payload/keys.h"
#include "payload/release_document.h"
#include "plugin/constants.h"
#include "plugin/plugin.h"

void kppPlugin::DispatchLegacyPayload(const kppUpdateDocuments& documents) {
  json document = documents.status;
  document[kpp::keys::Version()] = kpp::kLegacyJsonVersion;

  // interface_flows is emptied as soon as the update's payloads are out, so its encodings move
  // into the document instead of being copied.
  if (!interface_flows.empty()) {
    json& flows = document[kpp::keys::Flows()];
    for (auto& entry : interface_flows) {
      json list = json::array();
      list.get_ref<json::array_t&>().reserve(entry.second.size());
      for (auto& filed : entry.second) list.push_back(std::move(filed.second));
      flows[entry.first] = std::move(list);
    }
    interface_flows.clear();
  }

  document[kpp::keys::Interfaces()] = documents.interfaces;
  document[kpp::keys::Devices()] = documents.endpoints;
  document[kpp::keys::Stats()] = documents.interface_stats;
  DispatchPayload(kppChannelConfig::TYPE_LEGACY_HTTP, document);

  // The update's flow encodings go here, freed from the leaves up.
  kpp::ReleaseDocument(document);
  document[kpp::keys::Type()] = kpp::texts::kAgentHello;
  document[kpp::keys::AgentVersion()] = kv_get_version();
  document[kpp::keys::BuildVersion()] = kv_get_version_and_features(false);
  document[kpp::keys::JsonVersion()] = kpp::kLegacyJsonVersion;
  DispatchPayload(kppChannelConfig::TYPE_LEGACY_SOCKET, document);

  document = documents.status;
  document[kpp::keys::Type()] = kpp::texts::kAgentStatus;
  DispatchPayload(kppChannelConfig::TYPE_LEGACY_SOCKET, document);
}

// kppDispatchLegacyPayload: the legacy document with the update's flows, then "agent_hello" and
// the legacy "agent_status".
#include "payload/legacy_payload.h"

#include "kv/version.h"
#include "payload/document_texts.h"
#include "payload/release_document.h"

namespace {

// Version of the legacy document layout, written as "version" and "json_version".
constexpr double kLegacyJsonVersion = 1.9;

}  // namespace

void kppDispatchLegacyPayload(const kppUpdateDocuments& documents,
                              kppInterfaceFlows& interface_flows,
                              const kppDocumentDispatch& dispatch) {
  json document = documents.status;
  document["version"] = kLegacyJsonVersion;

  // The table is emptied as soon as the update's payloads are out, so its encodings move into
  // the document instead of being copied; it is emptied here already, before the document goes
  // out, so that the table's own storage is not held beside the whole document.
  if (!interface_flows.empty()) {
    json& flows = document["flows"];
    for (auto& entry : interface_flows) {
      json list = json::array();
      list.get_ref<json::array_t&>().reserve(entry.second.size());
      for (auto& filed : entry.second) list.push_back(std::move(filed.second));
      flows[entry.first] = std::move(list);
    }
    interface_flows.clear();
  }

  document["interfaces"] = documents.interfaces;
  document["devices"] = documents.endpoints;
  document["stats"] = documents.interface_stats;
  dispatch(kppChannelConfig::TYPE_LEGACY_HTTP, document);

  // The update's flow encodings go here, freed from the leaves up.
  kpp::ReleaseDocument(document);
  document[kpp::keys::Type()] = "agent_hello";
  document[kpp::keys::AgentVersion()] = kv_get_version();
  document[kpp::keys::BuildVersion()] = kv_get_version_and_features(false);
  document["json_version"] = kLegacyJsonVersion;
  dispatch(kppChannelConfig::TYPE_LEGACY_SOCKET, document);

  document = documents.status;
  document[kpp::keys::Type()] = kpp::texts::kAgentStatus;
  dispatch(kppChannelConfig::TYPE_LEGACY_SOCKET, document);
}

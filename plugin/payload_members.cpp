// kppPlugin's payload operations: each hands the plugin's members to the builders of payload/.
#include <mutex>

#include "kv/instance_status.h"
#include "kv/packet_stats.h"

#include "payload/channel_dispatch.h"
#include "payload/document_dispatch.h"
#include "payload/flow_event_document.h"
#include "payload/legacy_payload.h"
#include "payload/stream_payload.h"
#include "plugin/plugin.h"

void kppPlugin::EncodeFlow(const kppFlowEvent& event, json& document) {
  // The update's full flow encodings are kept only for a channel that takes the legacy
  // document; kept for nobody, they would cost their memory until the update's end and a second
  // encoding of every flow of the walk. A legacy-http channel that a reload adds between a walk
  // and its update's end gets flows from the next walk on.
  const bool legacy_http = (channel_types.load() & kppChannelConfig::TYPE_LEGACY_HTTP) != 0;
  kppEncodeFlowEvent(event, legacy_http ? &interface_flows : nullptr, document);
}

void kppPlugin::DispatchPayload(kppChannelConfig::Type type, const json& payload) {
  kppDispatchToChannels(sinks, type, payload,
                        [this](const std::string& sink, const std::set<std::string>& channels,
                               const json& document, kvFlags<kvPlugin::DispatchFlags> flags) {
                          DispatchSinkPayload(sink, channels, document, flags);
                        });
  // Counted only when every matching channel has taken the document.
  payloads_dispatched++;
}

namespace {

// The periodic builders send through the virtual DispatchPayload, as every document the worker
// sends.
kppDocumentDispatch ThroughDispatchPayload(kppPlugin& plugin) {
  return [&plugin](kppChannelConfig::Type type, const json& document) {
    plugin.DispatchPayload(type, document);
  };
}

}  // namespace

void kppPlugin::DispatchLegacyPayload(const kppUpdateDocuments& documents) {
  kppDispatchLegacyPayload(documents, interface_flows, ThroughDispatchPayload(*this));
}

void kppPlugin::DispatchStreamPayload(const kppUpdateDocuments& documents) {
  kppDispatchStreamPayload(documents, ThroughDispatchPayload(*this));
}

void kppPlugin::EncodeInterfaces(Interfaces* interfaces) {
  std::lock_guard<std::mutex> documents_guard(documents_lock);
  kppEncodeInterfaces(*interfaces, json_interfaces, json_endpoints);
}

void kppPlugin::EncodeInterfaceStats(const std::string& iface, kvPacketStats* stats) {
  json encoded;
  stats->Encode(encoded);
  std::lock_guard<std::mutex> guard(documents_lock);
  json_interface_stats[iface] = std::move(encoded);
}

void kppPlugin::EncodeGlobalPacketStats(kvPacketStats* stats) {
  json encoded;
  stats->Encode(encoded);
  std::lock_guard<std::mutex> guard(documents_lock);
  json_global_stats = std::move(encoded);
}

void kppPlugin::EncodeAgentStatus(kvInstanceStatus* status) {
  std::lock_guard<std::mutex> guard(documents_lock);
  status->Encode(json_status);
}

kppUpdateDocuments kppPlugin::TakeUpdateDocuments() {
  kppUpdateDocuments taken;
  std::lock_guard<std::mutex> guard(documents_lock);
  kppTakeDocument(json_status, taken.status);
  kppTakeDocument(json_interfaces, taken.interfaces);
  kppTakeDocument(json_endpoints, taken.endpoints);
  kppTakeDocument(json_interface_stats, taken.interface_stats);
  kppTakeDocument(json_global_stats, taken.global_stats);
  return taken;
}

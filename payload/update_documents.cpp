// The update's stored documents: written by daemon threads on events 9 to 12, taken over by the
// worker at the end of the update.
#include <mutex>

#include "kv/addr.h"
#include "kv/instance_status.h"
#include "kv/interface.h"
#include "kv/packet_stats.h"
#include "plugin/plugin.h"

namespace {

// The document left in place of one the worker took over: an object emptied, an array emptied,
// null left null (and any other value emptied the way the JSON type's clear does).
json EmptiedLike(const json& taken) {
  return json(taken.type());
}

const std::string& AddressSeparator() {
  static const std::string separator(",");
  return separator;
}

}  // namespace

void kppPlugin::EncodeInterfaces(Interfaces* interfaces) {
  static const std::vector<std::string> addr_path{"addr"};

  std::lock_guard<std::mutex> documents_guard(documents_lock);
  for (const auto& entry : *interfaces) {
    if (!entry.second) continue;
    const kvInterface& iface = *entry.second;
    json encoded;
    iface.Encode(encoded);
    iface.EncodeAddrs(encoded, addr_path, AddressSeparator());
    json_interfaces[iface.name] = std::move(encoded);

    // The daemon switches tables under the endpoint lock, so the selector is read under it too.
    std::lock_guard<std::mutex> endpoint_guard(iface.endpoint_lock);
    const uint8_t selector = iface.endpoint_selector;
    const kvInterface::EndpointTable& table = iface.endpoints[(selector & 0x01) != 0 ? 0 : 1];
    for (const auto& endpoint : table) {
      endpoint.second.Encode(json_endpoints, endpoint.first.GetString(kvAddr::MAKE_DEFAULT));
    }
  }
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
  auto take = [](json& stored, json& into) {
    into = std::move(stored);
    stored = EmptiedLike(into);
  };
  take(json_status, taken.status);
  take(json_interfaces, taken.interfaces);
  take(json_endpoints, taken.endpoints);
  take(json_interface_stats, taken.interface_stats);
  take(json_global_stats, taken.global_stats);
  return taken;
}

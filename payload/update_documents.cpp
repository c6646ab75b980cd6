// The update's stored documents: interfaces and endpoints encoded, documents taken over.
#include "payload/update_documents.h"

#include <mutex>
#include <vector>

#include "kv/addr.h"
#include "kv/interface.h"

void kppEncodeInterfaces(const std::map<std::string, std::shared_ptr<kvInterface>>& interfaces,
                         json& interfaces_document, json& endpoints_document) {
  static const std::vector<std::string> addr_path{"addr"};
  // EncodeAddrs writes its lists as arrays, so the separator it is handed is never used.
  static const std::string kNoSeparator;

  for (const auto& entry : interfaces) {
    if (!entry.second) continue;
    const kvInterface& iface = *entry.second;
    json encoded;
    iface.Encode(encoded);
    iface.EncodeAddrs(encoded, addr_path, kNoSeparator);
    interfaces_document[iface.name] = std::move(encoded);

    // The daemon switches tables under the endpoint lock, so the selector is read under it too.
    std::lock_guard<std::mutex> endpoint_guard(iface.endpoint_lock);
    const uint8_t selector = iface.endpoint_selector;
    const kvInterface::EndpointTable& table = iface.endpoints[(selector & 0x01) != 0 ? 0 : 1];
    for (const auto& endpoint : table) {
      endpoint.second.Encode(endpoints_document, endpoint.first.GetString(kvAddr::MAKE_DEFAULT));
    }
  }
}

void kppTakeDocument(json& stored, json& into) {
  into = std::move(stored);
  stored = json(into.type());
}

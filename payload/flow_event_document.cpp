// kppEncodeFlowEvent: turns one queued flow event into its flow-event document.
#include "payload/flow_event_document.h"

#include <mutex>
#include <string>

#include "encode/flow_counters_of.h"
#include "encode/texts.h"
#include "kv/interface.h"
#include "kv/plugin.h"
#include "payload/document_texts.h"

namespace {

using Flags = kvFlags<kvFlow::EncodeFlags>;

const char* TypeText(uint16_t kind) {
  switch (kind) {
    case kvPluginProcessor::EVENT_FLOW_MAP:
      return "flow_stats";
    case kvPluginProcessor::EVENT_FLOW_PURGE:
      return "flow_purge";
    case kvPluginProcessor::EVENT_FLOW_NEW:
      return "flow";
    case kvPluginProcessor::EVENT_DPI_UPDATE:
      return "flow_dpi_update";
    case kvPluginProcessor::EVENT_DPI_COMPLETE:
      return "flow_dpi_complete";
    default:
      return nullptr;
  }
}

}  // namespace

Flags kppFlowEventEncoding(uint16_t kind, bool files_full) {
  switch (kind) {
    case kvPluginProcessor::EVENT_FLOW_PURGE:
      return kvFlow::ENCODE_STATS;
    case kvPluginProcessor::EVENT_FLOW_NEW:
      return Flags::FromBits(kvFlow::ENCODE_METADATA | kvFlow::ENCODE_TUNNELS);
    case kvPluginProcessor::EVENT_FLOW_MAP:
      // No legacy document takes an unfiled encoding: the counters are all the event needs.
      return files_full ? Flags(kvFlow::ENCODE_ALL) : Flags(kvFlow::ENCODE_STATS);
    default:
      return kvFlow::ENCODE_ALL;
  }
}

void kppEncodeFlowEvent(const kppFlowEvent& event, kppInterfaceFlows* interface_flows,
                        json& document) {
  const char* type = TypeText(event.event);
  if (type == nullptr || !event.flow) return;
  const kvFlow& flow = *event.flow;

  // The identity fields outside the encoder are read under the flow's lock as well, so that a
  // daemon thread updating the flow never races with them. The one hold covers the encoding
  // (whose own hold of the recursive lock is then only a count): a lock that the daemon's thread
  // has just released is taken once per event, not twice.
  uint64_t digest;
  uint8_t ip_protocol;
  uint8_t tcp_closed;
  std::shared_ptr<kvInterface> iface;
  json encoded;
  {
    std::lock_guard<std::recursive_mutex> guard(flow.lock);
    digest = flow.digest;
    ip_protocol = flow.ip_protocol;
    tcp_closed = flow.tcp_closed;
    iface = flow.iface;
    flow.Encode(encoded, event.stats,
                kppFlowEventEncoding(event.event, interface_flows != nullptr));
  }

  // The interface's name, or empty for a flow without one; a reference, not a copy per event.
  static const std::string kNoInterface;
  const std::string& iface_name = iface ? iface->name : kNoInterface;

  if (event.event == kvPluginProcessor::EVENT_FLOW_MAP && interface_flows != nullptr) {
    // The event document carries a counters-only encoding, taken from the full one: copied when
    // the full encoding is filed (the first of its digest in this update wins the table), moved
    // out of it when it is discarded.
    auto& table = (*interface_flows)[iface_name];
    if (table.find(digest) == table.end()) {
      json counters = kpp::encode::FlowCountersOf(static_cast<const json&>(encoded));
      table.emplace(digest, std::move(encoded));
      encoded = std::move(counters);
    } else {
      encoded = kpp::encode::FlowCountersOf(std::move(encoded));
    }
  }

  // Keys built once: this runs for every flow event.
  static const std::string kReason("reason");
  static const std::string kInterface("interface");
  static const std::string kInternal("internal");
  static const std::string kFlow("flow");

  document[kpp::keys::Type()] = type;
  if (event.event == kvPluginProcessor::EVENT_FLOW_PURGE) {
    document[kReason] = (ip_protocol == kpp::encode::text::kIpProtocolTcp && tcp_closed != 0)
                            ? "closed"
                            : "expired";
  }

  document[kInterface] = iface_name;
  document[kInternal] = iface && iface->role == kvInterface::ROLE_LAN;
  document[kFlow] = std::move(encoded);
}

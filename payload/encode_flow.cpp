// EncodeFlow: turns one queued flow event into its flow-event document.
#include <mutex>

#include "encode/flow_counters_of.h"
#include "kv/interface.h"
#include "payload/keys.h"
#include "plugin/plugin.h"

namespace {

constexpr uint8_t kIpProtocolTcp = 6;

using Flags = kvFlags<kvFlow::EncodeFlags>;

const char* TypeText(uint16_t kind) {
  switch (kind) {
    case kvPluginProcessor::EVENT_FLOW_MAP:
      return kpp::texts::kFlowStats;
    case kvPluginProcessor::EVENT_FLOW_PURGE:
      return kpp::texts::kFlowPurge;
    case kvPluginProcessor::EVENT_FLOW_NEW:
      return kpp::texts::kFlowNew;
    case kvPluginProcessor::EVENT_DPI_UPDATE:
      return kpp::texts::kFlowDpiUpdate;
    case kvPluginProcessor::EVENT_DPI_COMPLETE:
      return kpp::texts::kFlowDpiComplete;
    default:
      return nullptr;
  }
}

Flags FirstEncoding(uint16_t kind) {
  switch (kind) {
    case kvPluginProcessor::EVENT_FLOW_PURGE:
      return kvFlow::ENCODE_STATS;
    case kvPluginProcessor::EVENT_FLOW_NEW:
      return Flags::FromBits(kvFlow::ENCODE_METADATA | kvFlow::ENCODE_TUNNELS);
    default:
      return kvFlow::ENCODE_ALL;
  }
}

}  // namespace

void kppPlugin::EncodeFlow(const kppFlowEvent& event, json& document) {
  const char* type = TypeText(event.event);
  if (type == nullptr || !event.flow) return;
  const kvFlow& flow = *event.flow;

  // The identity fields outside the encoder are read under the flow's lock as well, so that a
  // daemon thread updating the flow never races with them.
  uint64_t digest;
  uint8_t ip_protocol;
  uint8_t tcp_closed;
  std::shared_ptr<kvInterface> iface;
  {
    std::lock_guard<std::recursive_mutex> guard(flow.lock);
    digest = flow.digest;
    ip_protocol = flow.ip_protocol;
    tcp_closed = flow.tcp_closed;
    iface = flow.iface;
  }

  // The interface's name, or empty for a flow without one; a reference, not a copy per event.
  static const std::string kNoInterface;
  const std::string& iface_name = iface ? iface->name : kNoInterface;

  json encoded;
  flow.Encode(encoded, event.stats, FirstEncoding(event.event));

  if (event.event == kvPluginProcessor::EVENT_FLOW_MAP) {
    // The event document carries a counters-only encoding, taken from the full one: copied when
    // the full encoding is filed (the first of its digest in this update wins the table), moved
    // out of it when it is discarded.
    auto& table = interface_flows[iface_name];
    if (table.find(digest) == table.end()) {
      json counters = kpp::encode::FlowCountersOf(static_cast<const json&>(encoded));
      table.emplace(digest, std::move(encoded));
      encoded = std::move(counters);
    } else {
      encoded = kpp::encode::FlowCountersOf(std::move(encoded));
    }
  }

  document[kpp::keys::Type()] = type;
  if (event.event == kvPluginProcessor::EVENT_FLOW_PURGE) {
    document[kpp::keys::Reason()] = (ip_protocol == kIpProtocolTcp && tcp_closed != 0)
                                        ? kpp::texts::kReasonClosed
                                        : kpp::texts::kReasonExpired;
  }

  document[kpp::keys::Interface()] = iface_name;
  document[kpp::keys::Internal()] = iface && iface->role == kvInterface::ROLE_LAN;
  document[kpp::keys::Flow()] = std::move(encoded);
}

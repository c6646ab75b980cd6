// EncodeFlow: turns one queued flow event into its flow-event document.
#include <mutex>

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

  json encoded;
  flow.Encode(encoded, event.stats, FirstEncoding(event.event));

  if (event.event == kvPluginProcessor::EVENT_FLOW_MAP) {
    const std::string& name = iface ? iface->name : std::string();
    auto& table = interface_flows[name];
    // The first full encoding of a digest in an update wins; the table takes it over, since the
    // event document carries a counters-only encoding of its own.
    if (table.find(digest) == table.end()) {
      table.emplace(digest, std::move(encoded));
    }
  }

  document[kpp::keys::Type()] = type;

  if (event.event == kvPluginProcessor::EVENT_FLOW_MAP) {
    encoded = json::object();
    flow.Encode(encoded, event.stats, kvFlow::ENCODE_STATS);
  } else if (event.event == kvPluginProcessor::EVENT_FLOW_PURGE) {
    document[kpp::keys::Reason()] = (ip_protocol == kIpProtocolTcp && tcp_closed != 0)
                                        ? kpp::texts::kReasonClosed
                                        : kpp::texts::kReasonExpired;
  }

  document[kpp::keys::Interface()] = iface ? iface->name : std::string();
  document[kpp::keys::Internal()] = iface && iface->role == kvInterface::ROLE_LAN;
  document[kpp::keys::Flow()] = std::move(encoded);
}

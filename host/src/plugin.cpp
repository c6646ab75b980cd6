// kvPlugin and kvPluginProcessor: the base of every plugin, and the sink dispatch to the host.
#include "kv/plugin.h"

#include <limits>
#include <mutex>

#include "kv/standin.h"

namespace {

// The program's sink handler; replaced by SetSinkHandler. Guarded by sink_lock.
std::mutex sink_lock;
std::shared_ptr<const kvStandIn::SinkHandler> sink_handler;

// The type is 8-bit: a text that is not a plain decimal number up to 255 reads as TYPE_BASE,
// which no processor accepts, instead of wrapping ("257" must not become 1).
uint8_t TypeFromParams(const kvPlugin::Params& params) {
  constexpr unsigned kMaxType = std::numeric_limits<uint8_t>::max();
  auto it = params.find("type");
  if (it == params.end()) return kvPlugin::TYPE_PROCESSOR_BASIC;
  const std::string& text = it->second;
  if (text.empty()) return kvPlugin::TYPE_BASE;
  unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return kvPlugin::TYPE_BASE;
    value = value * 10 + static_cast<unsigned>(c - '0');
    if (value > kMaxType) return kvPlugin::TYPE_BASE;
  }
  return static_cast<uint8_t>(value);
}

std::string ConfFromParams(const kvPlugin::Params& params) {
  auto it = params.find("conf_filename");
  return it == params.end() ? std::string() : it->second;
}

}  // namespace

kvPlugin::kvPlugin(const std::string& tag_, const Params& params)
    : kvThread(tag_), plugin_type(TypeFromParams(params)), conf_filename(ConfFromParams(params)) {}

kvPlugin::~kvPlugin() = default;

void kvPlugin::GetStatus(json&) {}
void kvPlugin::DisplayStatus(const json&) {}
void kvPlugin::DispatchEvent(Event, void*) {}

bool kvPlugin::DispatchSinkPayload(const std::string& sink, const std::set<std::string>& channels,
                                   const json& payload, kvFlags<DispatchFlags> flags) {
  std::shared_ptr<const kvStandIn::SinkHandler> handler;
  {
    std::lock_guard<std::mutex> guard(sink_lock);
    handler = sink_handler;
  }
  if (!handler) return false;
  (*handler)(sink, channels, payload, flags.Value());
  return true;
}

kvPluginProcessor::kvPluginProcessor(const std::string& tag_, const Params& params)
    : kvPlugin(tag_, params) {}

kvPluginProcessor::~kvPluginProcessor() = default;

void kvPluginProcessor::DispatchProcessorEvent(Event, kvFlowMap*) {}
void kvPluginProcessor::DispatchProcessorEvent(Event, std::shared_ptr<kvFlow>&) {}
void kvPluginProcessor::DispatchProcessorEvent(Event, std::shared_ptr<kvFlow>&, json&) {}
void kvPluginProcessor::DispatchProcessorEvent(
    Event, std::map<std::string, std::shared_ptr<kvInterface>>*) {}
void kvPluginProcessor::DispatchProcessorEvent(Event, const std::string&, kvPacketStats*) {}
void kvPluginProcessor::DispatchProcessorEvent(Event, kvPacketStats*) {}
void kvPluginProcessor::DispatchProcessorEvent(Event, kvInstanceStatus*) {}
void kvPluginProcessor::DispatchProcessorEvent(Event) {}

namespace kvStandIn {

void SetSinkHandler(SinkHandler handler) {
  auto next = handler ? std::make_shared<const SinkHandler>(std::move(handler)) : nullptr;
  std::lock_guard<std::mutex> guard(sink_lock);
  sink_handler = std::move(next);
}

}  // namespace kvStandIn

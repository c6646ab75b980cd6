// ScriptedSink: a sink that labels every call it gets and throws on the calls a test picks.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "kv/json.h"
#include "kv/standin.h"

namespace korvel_test {

// "CHANNEL:TYPE" and what identifies the document: the flow's digest (as a decimal number) for
// a flow document, "flow_count" for a status, the interfaces of "interfaces", and the flows and
// interfaces of the legacy document (TYPE "legacy"), e.g. "h:legacy:1 flows 7 interfaces eth0".
inline std::string SinkCallLabel(const std::string& channel, const json& payload) {
  auto names = [](const json& object) {
    std::string joined;
    if (!object.is_object()) return joined;
    for (const auto& member : object.items()) {
      if (member.key() != "type") joined += (joined.empty() ? "" : ",") + member.key();
    }
    return joined;
  };
  const std::string type = payload.value("type", std::string("legacy"));
  std::string label = channel + ":" + type;
  if (payload.contains("flow")) {
    label += ":" + std::to_string(std::stoull(payload["flow"].value("digest", "0"), nullptr, 16));
  }
  if (payload.contains("flow_count")) label += ":" + payload["flow_count"].dump();
  if (type == "interfaces") label += " " + names(payload);
  if (type == "legacy") {
    std::string digests;
    const json flows = payload.value("flows", json::object());
    for (const auto& iface : flows.items()) {
      for (const json& flow : iface.value()) {
        digests += (digests.empty() ? "" : ",") +
                   std::to_string(std::stoull(flow.value("digest", "0"), nullptr, 16));
      }
    }
    label += " flows " + digests + " interfaces " + names(payload.value("interfaces", json()));
  }
  return label;
}

// Installs itself as the stand-in's sink handler for its lifetime. Every call is labelled with
// SinkCallLabel (the channel is the one channel named); when `refuses(label)` holds, the call
// is refused: it runs `thrower`, which throws.
class ScriptedSink {
 public:
  ScriptedSink(std::function<bool(const std::string&)> refuses_, std::function<void()> thrower_)
      : refuses(std::move(refuses_)), thrower(std::move(thrower_)) {
    kvStandIn::SetSinkHandler([this](const std::string&, const std::set<std::string>& channels,
                                     const json& payload, uint8_t) {
      const std::string label = SinkCallLabel(*channels.begin(), payload);
      const bool refuse = refuses(label);
      {
        std::lock_guard<std::mutex> guard(lock);
        (refuse ? refused : accepted).push_back(label);
      }
      if (refuse) thrower();
    });
  }
  ~ScriptedSink() { kvStandIn::SetSinkHandler(nullptr); }
  ScriptedSink(const ScriptedSink&) = delete;
  ScriptedSink& operator=(const ScriptedSink&) = delete;

  // The labels of the calls taken, and of those refused, in calling order. Any thread.
  std::vector<std::string> Accepted() const {
    std::lock_guard<std::mutex> guard(lock);
    return accepted;
  }
  std::vector<std::string> Refused() const {
    std::lock_guard<std::mutex> guard(lock);
    return refused;
  }
  size_t Calls() const {
    std::lock_guard<std::mutex> guard(lock);
    return accepted.size() + refused.size();
  }

 private:
  const std::function<bool(const std::string&)> refuses;
  const std::function<void()> thrower;
  mutable std::mutex lock;
  std::vector<std::string> accepted;  // guarded by lock
  std::vector<std::string> refused;   // guarded by lock
};

}  // namespace korvel_test

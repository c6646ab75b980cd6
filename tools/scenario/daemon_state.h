// DaemonState: the daemon's records a scenario builds: flows, the flow map and the interfaces.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>

#include "kv/flow.h"
#include "kv/flow_map.h"
#include "kv/interface.h"
#include "tools/scenario/flow_patch.h"
#include "tools/scenario/interface_patch.h"

namespace replay {

// Changed only by the main thread, which plays the scenario; the plugin's worker reads the flows
// and interfaces it is handed. A flow's fields change under the flow's own lock, and under its
// flow-map bucket lock as well (the flow-map walk reads the statistics flags and counters under
// that lock alone). An interface's name, role and capture fields are never changed on an object
// in use: the interface is replaced by an updated copy and every flow on it is moved over, each
// under its flow lock. The address set and endpoint tables change in place under their locks.
class DaemonState {
 public:
  using Interfaces = std::map<std::string, std::shared_ptr<kvInterface>>;

  explicit DaemonState(size_t buckets);

  // Creates or updates the interface under the patch's key.
  void SetInterface(const InterfacePatch& patch);
  // Creates or updates flow `id`. Throws ScenarioError (and changes nothing) when the patch
  // names an unknown interface, or creates a flow without one, or cannot apply.
  void SetFlow(const std::string& id, const FlowPatch& patch);
  // Drops flow `id` from the daemon's records; events still queued keep it alive. Throws
  // ScenarioError for an unknown id.
  void ForgetFlow(const std::string& id);

  // The flow, or a ScenarioError for an unknown id.
  std::shared_ptr<kvFlow> GetFlow(const std::string& id) const;

  kvFlowMap& FlowMap() { return flow_map; }
  Interfaces& InterfaceTable() { return interfaces; }

 private:
  // Replaces `current` by a copy with the patch applied and moves every flow on it over.
  std::shared_ptr<kvInterface> Replace(const std::shared_ptr<kvInterface>& current,
                                       const InterfacePatch& patch);

  kvFlowMap flow_map;
  // The daemon's own index of its flows; the flow map holds the same flows (unless it has no
  // buckets, when the map holds nothing).
  std::map<std::string, std::shared_ptr<kvFlow>> flows;
  Interfaces interfaces;
};

}  // namespace replay

// DaemonState: creating, updating and forgetting the daemon's flows and interfaces.
#include "tools/scenario/daemon_state.h"

#include <mutex>

#include "kv/flow_write_lock.h"
#include "tools/scenario/interface_members.h"
#include "tools/scenario/scenario_error.h"

namespace replay {

DaemonState::DaemonState(size_t buckets) : flow_map(buckets) {}

void DaemonState::SetInterface(const InterfacePatch& patch) {
  auto it = interfaces.find(patch.Key());
  if (it == interfaces.end()) {
    auto iface = std::make_shared<kvInterface>();
    patch.ApplyIdentity(*iface, true);
    patch.ApplyTables(*iface);
    interfaces.emplace(patch.Key(), std::move(iface));
    return;
  }
  if (patch.ChangesIdentity(*it->second)) {
    it->second = Replace(it->second, patch);
  } else {
    patch.ApplyTables(*it->second);
  }
}

std::shared_ptr<kvInterface> DaemonState::Replace(const std::shared_ptr<kvInterface>& current,
                                                  const InterfacePatch& patch) {
  auto next = std::make_shared<kvInterface>();
  CopyInterface(*current, *next);
  patch.ApplyIdentity(*next, false);
  patch.ApplyTables(*next);

  for (const auto& entry : flows) {
    kvFlow& flow = *entry.second;
    std::lock_guard<std::recursive_mutex> guard(flow.lock);
    if (flow.iface == current) flow.iface = next;
  }
  return next;
}

void DaemonState::SetFlow(const std::string& id, const FlowPatch& patch) {
  std::shared_ptr<kvInterface> iface;
  if (patch.HasInterface()) {
    auto found = interfaces.find(patch.InterfaceKey());
    if (found == interfaces.end()) {
      throw ScenarioError("member \"interface\": no interface " + Quote(patch.InterfaceKey()));
    }
    iface = found->second;
  }

  auto it = flows.find(id);
  if (it == flows.end()) {
    if (!iface) throw ScenarioError("a new flow needs member \"interface\"");
    auto flow = std::make_shared<kvFlow>();
    patch.Check(*flow);
    flow->iface = iface;
    patch.Apply(*flow);
    flow_map.Insert(id, flow);
    flows.emplace(id, std::move(flow));
    return;
  }

  kvFlow& flow = *it->second;
  kvStandIn::FlowWriteLock lock(flow_map, id, flow);
  patch.Check(flow);
  if (iface) flow.iface = iface;
  patch.Apply(flow);
}

void DaemonState::ForgetFlow(const std::string& id) {
  if (flows.erase(id) == 0) throw ScenarioError("no flow " + Quote(id));
  flow_map.Erase(id);
}

std::shared_ptr<kvFlow> DaemonState::GetFlow(const std::string& id) const {
  auto it = flows.find(id);
  if (it == flows.end()) throw ScenarioError("no flow " + Quote(id));
  return it->second;
}

}  // namespace replay

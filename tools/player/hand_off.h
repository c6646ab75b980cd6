// HandOff: one call into the plugin that hands it flows, told back when the plugin lets go.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "kv/flow.h"
#include "kv/flow_map.h"
#include "kv/standin.h"
#include "tools/player/worker_driver.h"

namespace replay {

// Keeps the flows of one call alive and tells the driver when it ends: every pointer the plugin
// is handed shares this token's count, so it ends when the plugin has let go of all of them.
class HandOffToken {
 public:
  explicit HandOffToken(WorkerDriver& driver_) : driver(driver_) {}
  ~HandOffToken() {
    flow.reset();
    flows.clear();
    driver.TokenEnded();
  }
  HandOffToken(const HandOffToken&) = delete;
  HandOffToken& operator=(const HandOffToken&) = delete;

  // The flows kept alive: a single-flow call's, or those of a walked map whose owner may drop
  // them. Written by the main thread before the call only.
  std::shared_ptr<kvFlow> flow;
  std::vector<std::shared_ptr<kvFlow>> flows;

 private:
  WorkerDriver& driver;
};

// Main thread, for the length of one call: hand the plugin the Alias() of the call's flow (or
// alias the entries of the map it walks), then call Done() once the call has returned. The tool
// lets go of its own aliases at the end of the call's hold of the plugin's thread lock, before
// the worker can take what the call queued, so the token is left to the plugin's copies alone:
// it ends on the worker, as the plugin lets go of the last one, or at once when the call queued
// nothing.
class HandOff final : public kvStandIn::LockWatcher {
 public:
  explicit HandOff(WorkerDriver& driver);
  ~HandOff() override;
  HandOff(const HandOff&) = delete;
  HandOff& operator=(const HandOff&) = delete;

  // A pointer to `flow` that shares the token (and keeps `flow` alive with it), for a
  // single-flow call. Until the call lets go of the thread lock; then it points to the same flow
  // without the token.
  std::shared_ptr<kvFlow>& Alias(const std::shared_ptr<kvFlow>& flow);
  // Points the entry `key` of `map` at an alias of its flow until the call lets go of the thread
  // lock, so that a walk hands the plugin aliases. The map's owner keeps the flow alive until
  // the plugin has let go (the capture source keeps every record it handed out until the next
  // settle or drain).
  void AliasEntry(kvFlowMap& map, const std::string& key);
  // Every entry of `map`, each kept alive by the token.
  void AliasMap(kvFlowMap& map);
  // The call has returned.
  void Done();

  void BeforeUnlock() noexcept override;

 private:
  std::shared_ptr<kvFlow> Share(kvFlow* flow) { return std::shared_ptr<kvFlow>(token, flow); }
  // Puts the tool's own pointers back in place of the aliases and lets go of the token.
  void LetGo() noexcept;

  struct Swapped {
    kvFlowMap* map;
    std::string key;
    std::shared_ptr<kvFlow> flow;
  };
  std::shared_ptr<HandOffToken> token;
  std::shared_ptr<kvFlow> single;
  std::shared_ptr<kvFlow> single_owner;
  std::vector<Swapped> swapped;
  kvStandIn::LockWatcher* outer;  // the watcher this one stands in for while watching
  bool watching = true;
};

}  // namespace replay

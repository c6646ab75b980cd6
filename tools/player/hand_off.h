// HandOff: one call into the plugin that hands it flows, told back when the plugin lets go.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kv/flow.h"
#include "kv/flow_map.h"
#include "tools/player/worker_driver.h"

namespace replay {

// Keeps the flows of one call alive and tells the driver when it ends: every pointer the plugin
// is handed shares this token's count, so it ends when the plugin has let go of all of them.
class HandOffToken {
 public:
  explicit HandOffToken(WorkerDriver& driver_) : driver(driver_) {}
  ~HandOffToken() {
    flows.clear();
    driver.TokenEnded();
  }
  HandOffToken(const HandOffToken&) = delete;
  HandOffToken& operator=(const HandOffToken&) = delete;

  // Written by the main thread before the call only.
  std::vector<std::shared_ptr<kvFlow>> flows;

 private:
  WorkerDriver& driver;
};

// Main thread. Make one for a call, hand the plugin the Alias() of its flow (or alias the entries
// of the map it walks) and call Done() once the call has returned. Whether the call took the
// plugin's thread lock tells whether the plugin may have queued anything.
class HandOff {
 public:
  explicit HandOff(WorkerDriver& driver);
  ~HandOff();
  HandOff(const HandOff&) = delete;
  HandOff& operator=(const HandOff&) = delete;

  // A pointer to `flow` that shares the token (and keeps `flow` alive with it), held here until
  // Done(), for a single-flow call.
  std::shared_ptr<kvFlow>& Alias(const std::shared_ptr<kvFlow>& flow);
  // Points the entry `key` of `map` at Alias() of its flow until Done() puts it back, so that a
  // walk hands the plugin aliases; `qualifies`: the walk will queue it.
  void AliasEntry(kvFlowMap& map, const std::string& key, bool qualifies);
  // Every entry of `map`, each qualifying as the plugin's walk judges it.
  void AliasMap(kvFlowMap& map);
  // The call has returned: lets go of the aliases held here and in the map (whose entries are put
  // back), then ends the token or leaves it to the worker.
  void Done();

 private:
  std::shared_ptr<kvFlow> Share(const std::shared_ptr<kvFlow>& flow);

  struct Swapped {
    kvFlowMap* map;
    std::string key;
    std::shared_ptr<kvFlow> flow;
  };
  WorkerDriver& driver;
  std::shared_ptr<HandOffToken> token;
  std::shared_ptr<kvFlow> single;
  std::vector<Swapped> swapped;
  bool may_queue = true;  // single-flow calls; walks only with an entry that qualifies
  bool walked = false;
  uint64_t locks_before = 0;
};

}  // namespace replay

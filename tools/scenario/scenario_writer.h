// ScenarioWriter: writes daemon events as a scenario that korvel-replay plays back.
#pragma once

#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "kv/flow.h"
#include "kv/flow_map.h"
#include "kv/instance_status.h"
#include "kv/interface.h"
#include "kv/json.h"
#include "kv/packet_stats.h"

namespace replay {

// One op per line, in the order the events were delivered. Records are written as "flow" and
// "interface" ops only when they differ from what the scenario last gave them, just before the
// op that hands them to the plugin, so that playing the scenario makes the same records. Main
// thread; flows are read under their locks.
class ScenarioWriter {
 public:
  // Opens `path` for writing. Ok() tells whether that worked; Error() says why not.
  explicit ScenarioWriter(const std::string& path);

  bool Ok() const { return error.empty(); }
  const std::string& Error() const { return error; }

  void Comment(const std::string& text);
  void Global(uint32_t update_interval);
  // "interface" ops for what changed in each interface (identity and addresses, then tables).
  void Interfaces(const std::map<std::string, std::shared_ptr<kvInterface>>& interfaces);
  // A "flow" op for flow `id` when it changed since the last one.
  void Flow(const std::string& id, const kvFlow& flow);
  // "flow" ops for every flow of the map that changed, in the map's order.
  void FlowMap(kvFlowMap& map);
  void Event(uint32_t event, const std::string& id);
  void Forget(const std::string& id);
  // The op without members but "op" ("walk", "interfaces", "update_end", "sync").
  void Plain(const char* op);
  void InterfaceStats(const std::string& name, const kvPacketStats& stats);
  void GlobalStats(const kvPacketStats& stats);
  void Status(const kvInstanceStatus& status);

  // Flushes and closes the file. False (with Error() set) when any write failed.
  bool Finish();
  // Pushes the ops written so far to the file (a live capture does each second).
  void Flush() { out.flush(); }

 private:
  void Write(const char* name, const json& members);

  std::string path;
  std::ofstream out;
  std::string error;
  // The members each flow and interface was last written with, by id and by key.
  std::map<std::string, json> flows;
  std::map<std::string, json> identities;
  std::map<std::string, json> tables;
};

}  // namespace replay

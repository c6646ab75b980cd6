// FlowPatch: the changes one "flow" op makes to a flow of the daemon's flow map.
#pragma once

#include <string>

#include "kv/flow.h"
#include "kv/json.h"
#include "tools/scenario/record_patch.h"

namespace replay {

// Read and checked in full before the flow is touched, so a bad op changes nothing. Main thread;
// the caller applies it under the flow's lock (and the flow-map bucket lock, see DaemonState).
class FlowPatch {
 public:
  // Reads every member of a "flow" op object but "op" and "id". Throws ScenarioError for an
  // unknown member, a wrong type, a value out of its field's range or a bad text.
  static FlowPatch Read(const json& object);

  // The "interface" member: the key of the interface the flow is on; empty when not given.
  bool HasInterface() const { return has_interface; }
  const std::string& InterfaceKey() const { return interface_key; }

  // Throws ScenarioError when the patch cannot apply to `flow` as it stands (a port for an
  // endpoint that has no IP address).
  void Check(const kvFlow& flow) const { members.Check(flow); }
  // Makes the changes, in member order.
  void Apply(kvFlow& flow) const { members.Apply(flow); }

 private:
  bool has_interface = false;
  std::string interface_key;
  RecordPatch<kvFlow> members;
};

}  // namespace replay

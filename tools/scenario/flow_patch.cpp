// FlowPatch: a "flow" op read through the flow's member table, applied once it is read in full.
#include "tools/scenario/flow_patch.h"

#include "tools/scenario/flow_members.h"

namespace replay {

FlowPatch FlowPatch::Read(const json& object) {
  FlowPatch patch;
  MemberReader reader(object, "");
  RequireKnown(reader, kFlowMembers, {"op", "id", "interface"});
  patch.has_interface = reader.ReadString("interface", patch.interface_key);
  ReadMembers(kFlowMembers, reader, patch.members);
  return patch;
}

}  // namespace replay

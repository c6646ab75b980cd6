// InterfacePatch: an "interface" op read through the interface's member table, applied by part.
#include "tools/scenario/interface_patch.h"

#include <mutex>

#include "tools/scenario/interface_members.h"

namespace replay {

InterfacePatch InterfacePatch::Read(const json& object) {
  InterfacePatch patch;
  MemberReader reader(object, "");
  RequireKnown(reader, kInterfaceMembers, {"op", "key"});
  // The key is "key", else "name", which is read again with the other members.
  const bool has_name = reader.ReadString("name", patch.key);
  if (!reader.ReadString("key", patch.key) && !has_name) {
    throw ScenarioError("needs member \"name\" or \"key\"");
  }
  ReadMembers(kInterfaceMembers, reader, patch.members);
  return patch;
}

bool InterfacePatch::ChangesIdentity(const kvInterface& current) const {
  return members.Changes(current, kInterfaceIdentity);
}

void InterfacePatch::ApplyIdentity(kvInterface& iface, bool created) const {
  if (created) iface.name = key;
  members.Apply(iface, kInterfaceIdentity);
}

void InterfacePatch::ApplyTables(kvInterface& iface) const {
  members.Apply(iface, kInterfaceAddresses);
  if (members.Sets(kInterfaceEndpoints)) {
    std::lock_guard<std::mutex> guard(iface.endpoint_lock);
    members.Apply(iface, kInterfaceEndpoints);
  }
}

}  // namespace replay

// The interface's member table: every member of an "interface" op and the field it stands for.
#include "tools/scenario/interface_members.h"

#include <algorithm>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "tools/scenario/member_kinds.h"

namespace replay {

namespace {

// An array of MAC or IP address texts, none of them empty, into `set`.
void ReadAddresses(const json& array, const std::string& name, kvInterfaceAddr& set) {
  if (!array.is_array()) {
    throw ScenarioError("member " + Quote(name) + " must be an array of addresses");
  }
  for (size_t i = 0; i < array.size(); i++) {
    const std::string element = name + "[" + std::to_string(i) + "]";
    if (!array[i].is_string())
      throw ScenarioError("member " + Quote(element) + " must be a string");
    kvAddr addr;
    ParseAddress(array[i].get_ref<const std::string&>(), AddressKind::kAny, element, addr);
    if (!addr.HasAddress()) {
      throw ScenarioError("member " + Quote(element) + " must be a MAC or IP address, got \"\"");
    }
    set.Insert(addr);
  }
}

// An address set as an array of address texts, sorted so that equal sets give equal members.
struct AddressSet {
  static bool Parse(const MemberReader& reader, const char* key, kvInterfaceAddr& out) {
    const json* value = reader.Find(key);
    if (value != nullptr) ReadAddresses(*value, reader.Name(key), out);
    return value != nullptr;
  }
  static json Show(const kvInterfaceAddr& set) {
    std::vector<std::string> texts;
    {
      std::lock_guard<std::mutex> guard(set.lock);
      for (const kvAddr& addr : set.addrs) texts.push_back(AddressText(addr, false));
    }
    std::sort(texts.begin(), texts.end());
    return texts;
  }
};

// Endpoint tables as an array of objects, each naming an endpoint by its address and listing the
// addresses recorded for it.
struct EndpointTables {
  using Tables = kvInterface::EndpointTable[2];

  static bool Parse(const MemberReader& reader, const char* key, Tables& out) {
    const json* tables = reader.Find(key);
    if (tables == nullptr) return false;
    const std::string name = reader.Name(key);
    if (!tables->is_array() || tables->size() != std::size(out)) {
      throw ScenarioError("member " + Quote(name) + " must be an array of two objects");
    }
    for (size_t t = 0; t < std::size(out); t++) {
      const json& table = (*tables)[t];
      const std::string table_name = name + "[" + std::to_string(t) + "]";
      if (!table.is_object()) {
        throw ScenarioError("member " + Quote(table_name) + " must be an object");
      }
      for (const auto& entry : table.items()) {
        const std::string entry_name = table_name + "." + entry.key();
        kvAddr endpoint;
        ParseAddress(entry.key(), AddressKind::kAny, entry_name, endpoint);
        if (!endpoint.HasAddress()) {
          throw ScenarioError("member " + Quote(entry_name) + " must be named by an address");
        }
        ReadAddresses(entry.value(), entry_name, out[t][endpoint]);
      }
    }
    return true;
  }
  static json Show(const Tables& tables) {
    json shown = json::array();
    for (const kvInterface::EndpointTable& table : tables) {
      json members = json::object();
      for (const auto& entry : table) {
        members[AddressText(entry.first, false)] = AddressSet::Show(entry.second);
      }
      shown.push_back(std::move(members));
    }
    return shown;
  }
};

using Interface = kvInterface;

}  // namespace

constexpr Member<Interface> kInterface[] = {
    Value<&Interface::name>("name"),
    Value<&Interface::role>("role"),
    Value<&Interface::capture_type>("capture_type"),
    Value<&Interface::capture_file>("capture_file"),
    As<AddressSet, &Interface::addrs>("addrs", kInterfaceAddresses),
    As<EndpointTables, &Interface::endpoints>("endpoints", kInterfaceEndpoints),
    Value<&Interface::endpoint_selector>("endpoint_selector", kInterfaceEndpoints),
};
const MemberTable<Interface> kInterfaceMembers = kInterface;

json InterfaceIdentityMembers(const kvInterface& iface) {
  json object = json::object();
  WriteMembers(kInterfaceMembers, iface, object, kInterfaceIdentity);
  WriteMembers(kInterfaceMembers, iface, object, kInterfaceAddresses);
  return object;
}

json InterfaceTableMembers(const kvInterface& iface) {
  std::lock_guard<std::mutex> guard(iface.endpoint_lock);
  json object = json::object();
  WriteMembers(kInterfaceMembers, iface, object, kInterfaceEndpoints);
  return object;
}

void CopyInterface(const kvInterface& from, kvInterface& to) {
  CopyMembers(kInterfaceMembers, kInterfaceIdentity, from, to);
  CopyMembers(kInterfaceMembers, kInterfaceAddresses, from, to);  // under both address-set locks
  std::lock_guard<std::mutex> guard(from.endpoint_lock);
  CopyMembers(kInterfaceMembers, kInterfaceEndpoints, from, to);
}

}  // namespace replay

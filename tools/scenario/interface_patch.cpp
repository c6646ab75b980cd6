// InterfacePatch: reads the members of an "interface" op and applies them to a kvInterface.
#include "tools/scenario/interface_patch.h"

#include <mutex>

#include "tools/scenario/address_text.h"
#include "tools/scenario/member_reader.h"

namespace replay {

namespace {

constexpr size_t kEndpointTables = 2;

std::vector<kvAddr> ReadAddresses(const json& array, const std::string& name) {
  if (!array.is_array()) {
    throw ScenarioError("member " + Quote(name) + " must be an array of addresses");
  }
  std::vector<kvAddr> addrs;
  addrs.reserve(array.size());
  for (size_t i = 0; i < array.size(); i++) {
    const std::string element = name + "[" + std::to_string(i) + "]";
    if (!array[i].is_string())
      throw ScenarioError("member " + Quote(element) + " must be a string");
    kvAddr addr;
    ParseAddress(array[i].get_ref<const std::string&>(), AddressKind::kAny, element, addr);
    if (!addr.HasAddress()) {
      throw ScenarioError("member " + Quote(element) + " must be a MAC or IP address, got \"\"");
    }
    addrs.push_back(addr);
  }
  return addrs;
}

}  // namespace

InterfacePatch InterfacePatch::Read(const json& object) {
  InterfacePatch patch;
  MemberReader reader(object, "");
  reader.RequireKnown({"op", "name", "key", "role", "capture_type", "capture_file", "addrs",
                       "endpoints", "endpoint_selector"});
  patch.has_name = reader.ReadString("name", patch.name);
  if (!reader.ReadString("key", patch.key)) {
    if (!patch.has_name) throw ScenarioError("needs member \"name\" or \"key\"");
    patch.key = patch.name;
  }
  patch.has_role = reader.ReadUnsigned("role", patch.role);
  patch.has_capture_type = reader.ReadUnsigned("capture_type", patch.capture_type);
  patch.has_capture_file = reader.ReadString("capture_file", patch.capture_file);
  if (const json* addrs = reader.Find("addrs")) {
    patch.addrs = ReadAddresses(*addrs, "addrs");
    patch.has_addrs = true;
  }
  if (const json* tables = reader.Find("endpoints")) {
    if (!tables->is_array() || tables->size() != kEndpointTables) {
      throw ScenarioError("member \"endpoints\" must be an array of two objects");
    }
    for (size_t t = 0; t < kEndpointTables; t++) {
      const json& table = (*tables)[t];
      const std::string table_name = "endpoints[" + std::to_string(t) + "]";
      if (!table.is_object())
        throw ScenarioError("member " + Quote(table_name) + " must be an object");
      for (const auto& entry : table.items()) {
        const std::string entry_name = table_name + "." + entry.key();
        kvAddr endpoint;
        ParseAddress(entry.key(), AddressKind::kAny, entry_name, endpoint);
        if (!endpoint.HasAddress()) {
          throw ScenarioError("member " + Quote(entry_name) + " must be named by an address");
        }
        patch.endpoints[t].emplace_back(endpoint, ReadAddresses(entry.value(), entry_name));
      }
    }
    patch.has_endpoints = true;
  }
  patch.has_selector = reader.ReadUnsigned("endpoint_selector", patch.selector);
  return patch;
}

bool InterfacePatch::ChangesIdentity(const kvInterface& current) const {
  return (has_name && name != current.name) || (has_role && role != current.role) ||
         (has_capture_type && capture_type != current.capture_type) ||
         (has_capture_file && capture_file != current.capture_file);
}

void InterfacePatch::ApplyIdentity(kvInterface& iface, bool created) const {
  if (has_name) {
    iface.name = name;
  } else if (created) {
    iface.name = key;
  }
  if (has_role) iface.role = role;
  if (has_capture_type) iface.capture_type = capture_type;
  if (has_capture_file) iface.capture_file = capture_file;
}

void InterfacePatch::ApplyTables(kvInterface& iface) const {
  if (has_addrs) {
    std::lock_guard<std::mutex> guard(iface.addrs.lock);
    iface.addrs.addrs.clear();
    iface.addrs.addrs.insert(addrs.begin(), addrs.end());
  }
  if (has_endpoints || has_selector) {
    std::lock_guard<std::mutex> guard(iface.endpoint_lock);
    if (has_selector) iface.endpoint_selector = selector;
    if (has_endpoints) {
      for (size_t t = 0; t < kEndpointTables; t++) {
        kvInterface::EndpointTable& table = iface.endpoints[t];
        table.clear();
        for (const auto& entry : endpoints[t]) {
          kvInterfaceAddr& set = table[entry.first];
          for (const kvAddr& addr : entry.second) set.Insert(addr);
        }
      }
    }
  }
}

}  // namespace replay

// ScenarioWriter: ops as JSON lines, records written again only when they changed.
#include "tools/scenario/scenario_writer.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "tools/scenario/flow_members.h"
#include "tools/scenario/interface_members.h"
#include "tools/scenario/record_readers.h"

namespace replay {

namespace {

// Members that name the record an op is about; written right after the op's name.
const char* const kNamingMembers[] = {"id", "key"};

// {"op":NAME,...}: the op's name and the record it names first, for people reading the
// scenario, then the other members in key order.
std::string OpLine(const char* name, json members) {
  std::string line = std::string("{\"op\":") + json(name).dump();
  for (const char* naming : kNamingMembers) {
    auto it = members.find(naming);
    if (it == members.end()) continue;
    line += std::string(",\"") + naming +
            "\":" + it->dump(-1, ' ', false, json::error_handler_t::replace);
    members.erase(it);
  }
  const std::string rest = members.dump(-1, ' ', false, json::error_handler_t::replace);
  if (rest.size() > 2) line += "," + rest.substr(1, rest.size() - 2);
  return line + "}\n";
}

}  // namespace

ScenarioWriter::ScenarioWriter(const std::string& path_) : path(path_) {
  out.open(path, std::ios::out | std::ios::trunc);
  if (!out) error = path + ": " + std::strerror(errno);
}

void ScenarioWriter::Write(const char* name, const json& members) {
  if (!error.empty()) return;
  out << OpLine(name, members);
  if (!out) error = path + ": " + std::strerror(errno);
}

void ScenarioWriter::Comment(const std::string& text) {
  if (!error.empty()) return;
  out << "# " << text << '\n';
}

void ScenarioWriter::Global(uint32_t update_interval) {
  Write("global", {{"update_interval", update_interval}});
}

void ScenarioWriter::Interfaces(
    const std::map<std::string, std::shared_ptr<kvInterface>>& interfaces) {
  for (const auto& [key, iface] : interfaces) {
    json identity = InterfaceIdentityMembers(*iface);
    json table = InterfaceTableMembers(*iface);
    json& last_identity = identities[key];
    json& last_table = tables[key];
    if (identity == last_identity && table == last_table) continue;
    json op = last_identity == identity ? json::object() : identity;
    if (table != last_table) op.update(table);
    op["key"] = key;
    Write("interface", op);
    last_identity = std::move(identity);
    last_table = std::move(table);
  }
}

void ScenarioWriter::Flow(const std::string& id, const kvFlow& flow) {
  json members;
  {
    std::lock_guard<std::recursive_mutex> guard(flow.lock);
    members = FlowMembers(flow, flow.iface ? flow.iface->name : std::string());
  }
  json& last = flows[id];
  if (members == last) return;
  last = members;
  members["id"] = id;
  Write("flow", members);
}

void ScenarioWriter::FlowMap(kvFlowMap& map) {
  std::vector<std::pair<std::string, std::shared_ptr<kvFlow>>> entries;
  for (size_t i = 0; i < map.GetBuckets(); i++) {
    const kvFlowMap::Bucket& bucket = map.Acquire(i);
    for (const auto& entry : bucket) entries.emplace_back(entry.first, entry.second);
    map.Release(i);
  }
  for (const auto& [id, flow] : entries) Flow(id, *flow);
}

void ScenarioWriter::Event(uint32_t event, const std::string& id) {
  Write("event", {{"event", event}, {"flow", id}});
}

void ScenarioWriter::Forget(const std::string& id) {
  flows.erase(id);
  Write("forget", {{"id", id}});
}

void ScenarioWriter::Plain(const char* op) {
  Write(op, json::object());
}

void ScenarioWriter::InterfaceStats(const std::string& name, const kvPacketStats& stats) {
  Write("interface_stats", {{"name", name}, {"stats", PacketStatsMembers(stats)}});
}

void ScenarioWriter::GlobalStats(const kvPacketStats& stats) {
  Write("global_stats", {{"stats", PacketStatsMembers(stats)}});
}

void ScenarioWriter::Status(const kvInstanceStatus& status) {
  Write("status", {{"status", InstanceStatusMembers(status)}});
}

bool ScenarioWriter::Finish() {
  if (out.is_open()) {
    out.flush();
    if (!out && error.empty()) error = path + ": " + std::strerror(errno);
    out.close();
    if (out.fail() && error.empty()) error = path + ": " + std::strerror(errno);
  }
  return error.empty();
}

}  // namespace replay

// ScenarioPlayer: one handler per op; each checks its members before it changes anything.
#include "tools/player/scenario_player.h"

#include <chrono>
#include <thread>
#include <utility>

#include "kv/global_config.h"
#include "tools/constants.h"
#include "tools/player/hand_off.h"
#include "tools/player/plugin_call.h"
#include "tools/scenario/flow_patch.h"
#include "tools/scenario/interface_patch.h"
#include "tools/scenario/json_depth.h"
#include "tools/scenario/member_reader.h"
#include "tools/scenario/record_readers.h"
#include "tools/scenario/scratch_files.h"

namespace replay {

namespace {

std::string RequireString(const MemberReader& reader, const char* key) {
  std::string value;
  if (!reader.ReadString(key, value)) throw ScenarioError("missing member " + Quote(key));
  return value;
}

const json& EmptyObject() {
  static const json empty = json::object();
  return empty;
}

// The member `key` as an object, or an empty object when it is absent.
const json& ObjectOrEmpty(const MemberReader& reader, const char* key) {
  const json* object = reader.ReadObject(key);
  return object != nullptr ? *object : EmptyObject();
}

}  // namespace

ScenarioPlayer::ScenarioPlayer(kvPluginProcessor& plugin_, DaemonState& state_, Console& console_,
                               const SinkOutput& sinks_, WorkerDriver& worker_,
                               PlayerSettings settings_)
    : plugin(plugin_),
      state(state_),
      console(console_),
      sinks(sinks_),
      settings(std::move(settings_)),
      worker(worker_) {
  worker.SetProgress([this] { ShowProgress(); });
}

ScenarioPlayer::~ScenarioPlayer() {
  worker.SetProgress(nullptr);
}

const std::map<std::string, ScenarioPlayer::OpEntry>& ScenarioPlayer::Ops() {
  static const std::map<std::string, OpEntry> ops = {
      {"config", {&ScenarioPlayer::Config, false}},
      {"global", {&ScenarioPlayer::Global, false}},
      {"interface", {&ScenarioPlayer::Interface, false}},
      {"flow", {&ScenarioPlayer::Flow, false}},
      {"forget", {&ScenarioPlayer::Forget, false}},
      {"reload", {&ScenarioPlayer::Reload, true}},
      {"event", {&ScenarioPlayer::Event, true}},
      {"walk", {&ScenarioPlayer::Walk, true}},
      {"interfaces", {&ScenarioPlayer::Interfaces, true}},
      {"interface_stats", {&ScenarioPlayer::InterfaceStats, true}},
      {"global_stats", {&ScenarioPlayer::GlobalStats, true}},
      {"status", {&ScenarioPlayer::Status, true}},
      {"update_end", {&ScenarioPlayer::UpdateEnd, true}},
      {"sync", {&ScenarioPlayer::Sync, true}},
      {"sleep", {&ScenarioPlayer::Sleep, true}},
  };
  return ops;
}

void ScenarioPlayer::Play(const ScenarioOp& op) {
  auto entry = Ops().find(op.name);
  if (entry == Ops().end()) throw ScenarioError("unknown op " + Quote(op.name));
  if (entry->second.reaches_plugin) Start();
  try {
    (this->*entry->second.handler)(op);
  } catch (const ScenarioError& e) {
    throw ScenarioError(op.name + ": " + e.what());
  }
  ops_played++;
  ShowProgress();
}

void ScenarioPlayer::CallPlugin(const ScenarioOp& op, const std::function<void()>& call) {
  std::string error;
  if (PluginCall(call, error)) return;
  console.Report(settings.scenario_name + ":" + std::to_string(op.line) + ": " + op.name +
                 ": the plugin threw: " + error);
}

kvPluginProcessor::Event ScenarioPlayer::EventValue(const ScenarioOp& op, uint32_t value) {
  MemberReader(op.object, "").ReadUnsigned("event", value);
  return static_cast<kvPluginProcessor::Event>(value);
}

void ScenarioPlayer::ShowProgress() {
  console.Progress(ops_played, sinks.Count());
}

void ScenarioPlayer::Config(const ScenarioOp& op) {
  MemberReader reader(op.object, "");
  reader.RequireKnown({"op", "json", "text", "remove"});
  const int given = reader.Has("json") + reader.Has("text") + reader.Has("remove");
  if (given != 1) {
    throw ScenarioError("needs exactly one of the members \"json\", \"text\" and \"remove\"");
  }

  std::string error;
  if (const json* document = reader.Find("json")) {
    if (ExceedsDepth(*document, kMaxConfigDepth)) {
      throw ScenarioError("member \"json\" is nested more than " + std::to_string(kMaxConfigDepth) +
                          " levels deep");
    }
    error = ReplaceFile(settings.config_path,
                        document->dump(2, ' ', false, json::error_handler_t::replace) + "\n");
  } else if (reader.Has("text")) {
    error = ReplaceFile(settings.config_path, RequireString(reader, "text"));
  } else {
    bool remove = false;
    reader.ReadBool("remove", remove);
    if (!remove) throw ScenarioError("member \"remove\" must be true");
    error = RemoveFile(settings.config_path);
  }
  if (!error.empty()) throw ScenarioError("cannot change the configuration file: " + error);
}

void ScenarioPlayer::Reload(const ScenarioOp& op) {
  MemberReader(op.object, "").RequireKnown({"op"});
  // Before the request: a load the worker begins from here on serves it.
  worker.ReloadRequested();
  CallPlugin(op, [this] { plugin.DispatchEvent(kvPlugin::EVENT_RELOAD, nullptr); });
}

void ScenarioPlayer::Global(const ScenarioOp& op) {
  MemberReader reader(op.object, "");
  reader.RequireKnown({"op", "present", "dhc", "fhc", "update_interval", "update_imf"});
  bool present = true;
  reader.ReadBool("present", present);
  bool dhc = false;
  bool fhc = false;
  uint32_t interval = 0;
  uint32_t imf = 0;
  const bool has_dhc = reader.ReadBool("dhc", dhc);
  const bool has_fhc = reader.ReadBool("fhc", fhc);
  const bool has_interval = reader.ReadUnsigned("update_interval", interval);
  const bool has_imf = reader.ReadUnsigned("update_imf", imf);

  if (!present) {
    if (has_dhc || has_fhc || has_interval || has_imf) {
      throw ScenarioError("member \"present\" false takes no other member");
    }
    kvGlobalConfig::Destroy();
    return;
  }
  kvGlobalConfig* config = kvGlobalConfig::instance.load();
  if (config == nullptr) config = &kvGlobalConfig::Create();
  if (has_dhc) config->SetOption(kvGlobalConfig::OPTION_DHC, dhc);
  if (has_fhc) config->SetOption(kvGlobalConfig::OPTION_FHC, fhc);
  if (has_interval) config->update_interval.store(interval);
  if (has_imf) config->update_imf.store(imf);
}

void ScenarioPlayer::Interface(const ScenarioOp& op) {
  state.SetInterface(InterfacePatch::Read(op.object));
}

void ScenarioPlayer::Flow(const ScenarioOp& op) {
  const std::string id = RequireString(MemberReader(op.object, ""), "id");
  state.SetFlow(id, FlowPatch::Read(op.object));
}

void ScenarioPlayer::Forget(const ScenarioOp& op) {
  MemberReader reader(op.object, "");
  reader.RequireKnown({"op", "id"});
  state.ForgetFlow(RequireString(reader, "id"));
}

void ScenarioPlayer::Event(const ScenarioOp& op) {
  MemberReader reader(op.object, "");
  reader.RequireKnown({"op", "event", "flow"});
  uint32_t value = 0;
  if (!reader.ReadUnsigned("event", value)) throw ScenarioError("missing member \"event\"");
  std::shared_ptr<kvFlow> flow = state.GetFlow(RequireString(reader, "flow"));
  HandOff hand(worker);
  std::shared_ptr<kvFlow>& handed = hand.Alias(flow);
  CallPlugin(op, [&] {
    plugin.DispatchProcessorEvent(static_cast<kvPluginProcessor::Event>(value), handed);
  });
  hand.Done();
}

void ScenarioPlayer::Walk(const ScenarioOp& op) {
  MemberReader(op.object, "").RequireKnown({"op", "event"});
  const kvPluginProcessor::Event event = EventValue(op, kvPluginProcessor::EVENT_FLOW_MAP);
  HandOff hand(worker);
  hand.AliasMap(state.FlowMap());
  CallPlugin(op, [&] { plugin.DispatchProcessorEvent(event, &state.FlowMap()); });
  hand.Done();
}

void ScenarioPlayer::Interfaces(const ScenarioOp& op) {
  MemberReader(op.object, "").RequireKnown({"op", "event"});
  const kvPluginProcessor::Event event = EventValue(op, kvPluginProcessor::EVENT_INTERFACES);
  CallPlugin(op, [&] { plugin.DispatchProcessorEvent(event, &state.InterfaceTable()); });
}

void ScenarioPlayer::InterfaceStats(const ScenarioOp& op) {
  MemberReader reader(op.object, "");
  reader.RequireKnown({"op", "event", "name", "stats"});
  const kvPluginProcessor::Event event =
      EventValue(op, kvPluginProcessor::EVENT_PKT_INTERFACE_STATS);
  const std::string name = RequireString(reader, "name");
  kvPacketStats stats = ReadPacketStats(ObjectOrEmpty(reader, "stats"));
  CallPlugin(op, [&] { plugin.DispatchProcessorEvent(event, name, &stats); });
}

void ScenarioPlayer::GlobalStats(const ScenarioOp& op) {
  MemberReader reader(op.object, "");
  reader.RequireKnown({"op", "event", "stats"});
  const kvPluginProcessor::Event event = EventValue(op, kvPluginProcessor::EVENT_PKT_GLOBAL_STATS);
  kvPacketStats stats = ReadPacketStats(ObjectOrEmpty(reader, "stats"));
  CallPlugin(op, [&] { plugin.DispatchProcessorEvent(event, &stats); });
}

void ScenarioPlayer::Status(const ScenarioOp& op) {
  MemberReader reader(op.object, "");
  reader.RequireKnown({"op", "event", "status"});
  const kvPluginProcessor::Event event = EventValue(op, kvPluginProcessor::EVENT_INSTANCE_STATUS);
  kvInstanceStatus status = ReadInstanceStatus(ObjectOrEmpty(reader, "status"));
  CallPlugin(op, [&] { plugin.DispatchProcessorEvent(event, &status); });
}

void ScenarioPlayer::UpdateEnd(const ScenarioOp& op) {
  MemberReader(op.object, "").RequireKnown({"op", "event"});
  const kvPluginProcessor::Event event = EventValue(op, kvPluginProcessor::EVENT_UPDATE_COMPLETE);
  CallPlugin(op, [&] { plugin.DispatchProcessorEvent(event); });
}

void ScenarioPlayer::Sync(const ScenarioOp& op) {
  MemberReader(op.object, "").RequireKnown({"op"});
  worker.WaitPassEnded("sync");
}

void ScenarioPlayer::Sleep(const ScenarioOp& op) {
  MemberReader reader(op.object, "");
  reader.RequireKnown({"op", "ms"});
  uint32_t ms = 0;
  if (!reader.ReadUnsigned("ms", ms)) throw ScenarioError("missing member \"ms\"");
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (auto now = std::chrono::steady_clock::now(); now < until;
       now = std::chrono::steady_clock::now()) {
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(until - now, kProgressInterval));
    ShowProgress();
  }
}

}  // namespace replay

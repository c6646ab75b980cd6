// Stress: daemon threads deliver flow, walk, interface, counter, status and end-of-update events
// while the configuration file is rewritten and reloaded every few milliseconds, and the sinks
// refuse documents at random; every accepted flow event is offered to its first channel exactly
// once and reaches each channel up to the one that refused it, every update's families arrive
// whole up to the document refused in them, and every flow reference the plugin took is returned.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <regex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <unordered_set>
#include <utility>
#include <vector>

#include "config/config_test_support.h"
#include "kv/flow_map.h"
#include "kv/global_config.h"
#include "kv/instance_status.h"
#include "kv/interface.h"
#include "kv/packet_stats.h"
#include "kv/standin.h"
#include "plugin/plugin.h"
#include "reliability/packet_counters.h"
#include "reliability/scale.h"
#include "support/flows.h"
#include "support/log_capture.h"
#include "support/temp_file.h"
#include "support/wait.h"

namespace {

using korvel_test::LogCapture;
using korvel_test::WaitUntil;

constexpr const char* kTag = "stress";
constexpr size_t kDaemonThreads = 4;
constexpr size_t kInterfaces = 4;
constexpr size_t kEventsPerFlow = 20;
// Flows each daemon thread keeps alive at once; the rest wait for their turn.
constexpr size_t kLivePerThread = 50;
constexpr size_t kBuckets = 64;
// How far the daemon threads let the worker fall behind.
constexpr uint64_t kBacklog = 1000;
constexpr uint64_t kDigestBase = 0x5100000000000000ull;
// One sink call in this many is refused, at random.
constexpr uint32_t kRefuseOneIn = 40;
constexpr const char* kRefusal = "refused by the sink";
// Generous bounds against a hung worker; a healthy run never comes near them.
constexpr std::chrono::milliseconds kUpdateLimit(180000);
constexpr std::chrono::milliseconds kReloadLimit(20000);

// The four valid configurations all keep the same four channels; their formats, compression
// and filters differ (every filter list passes every flow of this test). Each makes its own pair
// of flags on the two flow channels, so a flow document shows which configuration sent it.
struct ValidConfig {
  const char* text;
  uint8_t flows_flags;
  uint8_t socket_flags;
};

const ValidConfig kValidConfigs[] = {
    {R"({"flow_filters": [], "sinks": {
        "collector": {"flows": {"types": ["stream-flows"]}, "socket": {"types": ["legacy-socket"]}},
        "reporter": {"legacy": {"types": ["legacy-http"]}, "stats": {"types": ["stream-stats"]}}}})",
     0x01, 0x19},
    {R"({"compressor": "gz", "flow_filters": ["true"], "sinks": {
        "collector": {"flows": {"types": ["stream-flows"], "format": "msgpack"},
                      "socket": {"types": ["legacy-socket"]}},
        "reporter": {"legacy": {"types": ["legacy-http"]}, "stats": {"types": ["stream-stats"]}}}})",
     0x24, 0x39},
    {R"({"flow_filters": ["ip_version ==", "ip_version == 4"], "sinks": {
        "collector": {"flows": {"types": ["stream-flows"], "compressor": "gz"},
                      "socket": {"types": ["legacy-socket"], "format": "msgpack"}},
        "reporter": {"legacy": {"types": ["legacy-http"], "format": "msgpack"},
                     "stats": {"types": ["stream-stats"], "compressor": "gz"}}}})",
     0x21, 0x1c},
    {R"(// packed
        {"format": "msgpack", "flow_filters": ["local_port > 65535", "ip_protocol == 6"],
         "sinks": {
        "collector": {"flows": {"types": ["stream-flows"]},
                      "socket": {"types": ["legacy-socket"], "compressor": "gz"}},
        "reporter": {"legacy": {"types": ["legacy-http"]}, "stats": {"types": ["stream-stats"]}}}})",
     0x04, 0x3c},
};

// The invalid files, each with the reason the load fails with ("" for a missing file).
struct InvalidConfig {
  const char* text;
  const char* reason;
};

const InvalidConfig kInvalidConfigs[] = {
    {R"({"sinks": {"collector": )", nullptr},  // a JSON exception, reason checked by its head
    {R"({"sinks": {"collector": {"flows": {"types": ["stream-everything"]}}}})",
     "void kppChannelConfig::Load(const string &, const json &): type: stream-everything: "
     "Invalid argument"},
    {R"({"sinks": [{"flows": {}}]})",
     "[json.exception.type_error.302] type must be object, but is array"},
    {R"({"flow_filters": ["true", 6], "sinks": {}})",
     "[json.exception.type_error.302] type must be string, but is number"},
    {"", ""},  // the file is removed
};

const kppPlugin::Sinks kFirstConfigSinks = {
    {"collector", {{"flows", korvel_test::Record(4)}, {"socket", korvel_test::Record(2)}}},
    {"reporter", {{"legacy", korvel_test::Record(1)}, {"stats", korvel_test::Record(8)}}}};

// What the daemon's update thread reports for update `update`: each interface's own address,
// its one endpoint's address, and the value of every packet counter.
std::string InterfaceName(size_t i) {
  return "eth" + std::to_string(i);
}
std::string EndpointMac(size_t i) {
  return "02:00:00:00:00:0" + std::to_string(i);
}
std::string AddressOf(const std::string& head, uint64_t update) {
  return head + std::to_string(update >> 8) + "." + std::to_string(update & 0xff);
}
std::string InterfaceAddress(size_t i, uint64_t update) {
  return AddressOf("172." + std::to_string(16 + i) + ".", update);
}
std::string EndpointAddress(size_t i, uint64_t update) {
  return AddressOf("10." + std::to_string(i) + ".", update);
}
uint64_t InterfaceCounter(size_t i, uint64_t update) {
  return update * 10 + i;
}

// --- Whole-document checks of the periodic payloads of one update ---

// An object of exactly one member per interface besides an optional "type", member i under
// key(i) and passing check(i, member).
bool PerInterface(const json& doc, std::string (*key)(size_t),
                  const std::function<bool(size_t, const json&)>& check) {
  if (!doc.is_object() || doc.size() - doc.count("type") != kInterfaces) return false;
  for (size_t i = 0; i < kInterfaces; i++) {
    auto found = doc.find(key(i));
    if (found == doc.end() || !check(i, *found)) return false;
  }
  return true;
}

bool StatusIsOf(const json& doc, uint64_t update) {
  return doc.is_object() && doc.value("flow_count", uint64_t(0)) == update &&
         doc.value("flows_active", uint64_t(0)) == update &&
         doc.value("uptime", uint64_t(0)) == update;
}

bool InterfacesAreOf(const json& doc, uint64_t update) {
  return PerInterface(doc, InterfaceName, [update](size_t i, const json& iface) {
    return iface.value("addr", json()) == json::array({InterfaceAddress(i, update)});
  });
}

bool EndpointsAreOf(const json& doc, uint64_t update) {
  return PerInterface(doc, EndpointMac, [update](size_t i, const json& addresses) {
    return addresses == json::array({EndpointAddress(i, update)});
  });
}

// All 23 encoded packet counters, unsigned and of `value`.
bool CountersAre(const json& doc, uint64_t value) {
  if (!doc.is_object() || doc.size() - doc.count("type") != 23) return false;
  for (const auto& entry : doc.items()) {
    if (entry.key() != "type" &&
        (!entry.value().is_number_unsigned() || entry.value().get<uint64_t>() != value)) {
      return false;
    }
  }
  return true;
}

bool InterfaceStatsAreOf(const json& doc, uint64_t update) {
  return PerInterface(doc, InterfaceName, [update](size_t i, const json& counters) {
    return CountersAre(counters, InterfaceCounter(i, update));
  });
}

// --- The daemon's side ---

// One flow of the daemon, as a daemon thread drives it.
struct LiveFlow {
  size_t index;
  std::shared_ptr<kvFlow> flow;
  size_t sent = 0;
};

// One single-flow event a daemon thread delivered.
struct Delivered {
  uint16_t kind;
  size_t flow;
  uint64_t sequence;  // the flow's lower byte counter when it was delivered
};

// One flow document offered to a flow channel.
struct Received {
  uint16_t kind;
  size_t flow;
  uint64_t sequence;  // "local_bytes", or kNoSequence for a document without counters
  uint8_t flags;
  bool refused;
  bool operator==(const Received& other) const {
    return kind == other.kind && flow == other.flow && sequence == other.sequence;
  }
};

// One periodic document offered to its channel: "<what>:<update>" (see Receive), and whether the
// sink refused it.
struct Offered {
  std::string label;
  bool refused;
};
constexpr uint64_t kNoSequence = UINT64_MAX;

// The event a flow document was made for, or 0 for other documents.
uint16_t KindOf(const std::string& type) {
  static const std::map<std::string, uint16_t> kinds = {{"flow_stats", 1},
                                                        {"flow_purge", 4},
                                                        {"flow", 6},
                                                        {"flow_dpi_update", 7},
                                                        {"flow_dpi_complete", 8}};
  auto found = kinds.find(type);
  return found == kinds.end() ? 0 : found->second;
}

class StressTest : public ::testing::Test {
 protected:
  StressTest()
      : flows(10000 / korvel_test::StressDivisor()),
        flow_map(kBuckets),
        expected_walks(flows + kInterfaces, 0) {}

  void SetUp() override {
    kvGlobalConfig::Create();
    for (size_t i = 0; i < kInterfaces; i++) {
      auto iface = korvel_test::MakeInterface(InterfaceName(i), kvInterface::ROLE_LAN);
      interfaces[iface->name] = iface;
    }
    weak_flows.resize(flows + kInterfaces);
    // One flow per interface that the daemon keeps for the whole run and that every walk
    // reports, so each update's walk gives the worker a batch to end.
    for (size_t i = 0; i < kInterfaces; i++) {
      auto flow = NewFlow(flows + i);
      std::lock_guard<std::mutex> guard(membership_lock);
      flow_map.Insert(Key(flows + i), flow);
      in_map.insert(flows + i);
    }
    kvStandIn::SetSinkHandler([this](const std::string& sink, const std::set<std::string>& names,
                                     const json& payload,
                                     uint8_t flags) { Receive(sink, names, payload, flags); });
  }

  void TearDown() override { kvStandIn::SetSinkHandler(nullptr); }

  static std::string Key(size_t index) { return "flow-" + std::to_string(index); }

  size_t InterfaceOf(size_t index) const {
    return index >= flows ? index - flows : (index / kDaemonThreads) % kInterfaces;
  }

  // Flows that every walk skips: some held, some not ready.
  static bool Held(size_t index) { return index % 10 == 3; }
  static bool NotReady(size_t index) { return index % 10 == 7; }
  // Flows the daemon drops without a purge event.
  static bool DroppedUnpurged(size_t index) { return index % 10 == 5; }
  bool Qualifies(size_t index) const {
    return index >= flows || (!Held(index) && !NotReady(index));
  }

  std::shared_ptr<kvFlow> NewFlow(size_t index) {
    auto iface = interfaces.at(InterfaceName(InterfaceOf(index)));
    auto flow = korvel_test::MakeFlow(iface, kDigestBase + index);
    if (index < flows) {
      flow->stats_hold = Held(index);
      flow->stats_ready = !NotReady(index);
    }
    weak_flows[index] = flow;
    return flow;
  }

  // A daemon thread's next event of `live`: the daemon changes the flow first, its counters
  // under the bucket lock (the walk reads them there) and everything under the flow's lock (the
  // worker reads the flow there).
  void Advance(LiveFlow& live, std::mt19937& random, std::vector<Delivered>& delivered) {
    uint16_t kind;
    if (live.sent == 0) {
      kind = kvPluginProcessor::EVENT_FLOW_NEW;
    } else if (live.sent + 1 == kEventsPerFlow && !DroppedUnpurged(live.index)) {
      kind = kvPluginProcessor::EVENT_FLOW_PURGE;
    } else {
      kind = random() % 2 == 0 ? kvPluginProcessor::EVENT_DPI_UPDATE
                               : kvPluginProcessor::EVENT_DPI_COMPLETE;
    }
    const uint64_t sequence = next_sequence.fetch_add(1);
    const std::string key = Key(live.index);
    const size_t bucket = flow_map.BucketOf(key);
    flow_map.Acquire(bucket);
    {
      std::lock_guard<std::recursive_mutex> guard(live.flow->lock);
      kvFlow& flow = *live.flow;
      flow.stats.lower_bytes = sequence;
      flow.stats.upper_bytes += 1500;
      flow.stats.lower_packets++;
      flow.stats.upper_packets++;
      flow.stats.total_packets += 2;
      flow.ts_last_seen++;
      flow.detected_protocol_name = kind == kvPluginProcessor::EVENT_DPI_COMPLETE ? "TLS" : "HTTP";
      flow.host_server_name = "host-" + std::to_string(live.index % 97) + ".example";
      if (live.sent % 3 == 0) {
        flow.tags.clear();
      } else {
        flow.tags.insert("tag-" + std::to_string(live.sent));
      }
    }
    flow_map.Release(bucket);

    plugin->DispatchProcessorEvent(static_cast<kvPluginProcessor::Event>(kind), live.flow);
    accepted++;
    delivered.push_back({kind, live.index, sequence});
    live.sent++;
  }

  // Holds a daemon thread back while the worker is more than kBacklog events behind, so that it
  // works in many small batches and the configuration changes between them. Gives up holding
  // back when the worker has made no progress for kUpdateLimit.
  void Throttle() {
    uint64_t seen = received_flow_documents.load();
    auto last_progress = std::chrono::steady_clock::now();
    while (accepted.load() > received_flow_documents.load() + kBacklog) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
      const uint64_t now_seen = received_flow_documents.load();
      if (now_seen != seen) {
        seen = now_seen;
        last_progress = std::chrono::steady_clock::now();
      } else if (std::chrono::steady_clock::now() - last_progress > kUpdateLimit) {
        return;
      }
    }
  }

  // One of the four daemon threads: drives its share of the flows from new to purge, a few
  // dozen at a time in random order, and drops each from the map as soon as it is done (its
  // last event usually still queued).
  void DaemonThread(size_t thread) {
    std::mt19937 random(static_cast<uint32_t>(thread + 1));
    std::vector<Delivered>& delivered = delivered_by_thread[thread];
    std::vector<LiveFlow> live;
    size_t next = thread;
    auto start_next = [&] {
      if (next >= flows) return;
      LiveFlow started{next, NewFlow(next)};
      {
        std::lock_guard<std::mutex> guard(membership_lock);
        flow_map.Insert(Key(next), started.flow);
        in_map.insert(next);
      }
      live.push_back(std::move(started));
      next += kDaemonThreads;
    };
    for (size_t i = 0; i < kLivePerThread; i++) start_next();

    while (!live.empty()) {
      Throttle();
      const size_t pick = random() % live.size();
      Advance(live[pick], random, delivered);
      if (live[pick].sent == kEventsPerFlow) {
        {
          std::lock_guard<std::mutex> guard(membership_lock);
          flow_map.Erase(Key(live[pick].index));
          in_map.erase(live[pick].index);
        }
        live[pick] = std::move(live.back());
        live.pop_back();
        start_next();
      }
    }
  }

  // The daemon's update thread: interfaces, counters, status and the end of each update, then
  // the walk of the flow map; it waits for each update's payloads before the next update.
  void UpdateThread() {
    for (;;) {
      const bool last = daemon_threads_done.load();
      const uint64_t update = ++current_update;

      for (size_t i = 0; i < kInterfaces; i++) {
        kvInterface& iface = *interfaces.at(InterfaceName(i));
        {
          std::lock_guard<std::mutex> guard(iface.addrs.lock);
          iface.addrs.addrs.clear();
        }
        kvAddr address;
        kvAddr::FromString(InterfaceAddress(i, update), address);
        iface.addrs.Insert(address);
        kvAddr mac;
        kvAddr::FromString(EndpointMac(i), mac);
        kvAddr endpoint;
        kvAddr::FromString(EndpointAddress(i, update), endpoint);
        std::lock_guard<std::mutex> guard(iface.endpoint_lock);
        iface.endpoints[0].clear();
        iface.endpoints[0][mac].Insert(endpoint);
      }
      plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_INTERFACES, &interfaces);
      for (size_t i = 0; i < kInterfaces; i++) {
        kvPacketStats stats = korvel_test::PacketStatsOf(InterfaceCounter(i, update));
        plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_PKT_INTERFACE_STATS,
                                       InterfaceName(i), &stats);
      }
      kvPacketStats global = korvel_test::PacketStatsOf(update);
      plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_PKT_GLOBAL_STATS, &global);
      kvInstanceStatus status;
      status.flow_count = update;
      status.flows_active = update;
      status.uptime = static_cast<uint32_t>(update);
      plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_INSTANCE_STATUS, &status);
      plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_UPDATE_COMPLETE);

      {
        // No flow enters or leaves the map during the walk, so which flows it reports is known.
        std::lock_guard<std::mutex> guard(membership_lock);
        for (size_t index : in_map) {
          if (Qualifies(index)) {
            expected_walks[index]++;
            accepted++;
          }
        }
        plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_MAP, &flow_map);
      }

      if (!WaitUntil([this, update] { return updates_sent.load() >= update; }, kUpdateLimit)) {
        update_thread_failure = "update " + std::to_string(update) + " was never sent";
        return;
      }
      if (last) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  // Rewrites the configuration file, valid and invalid in turn, and asks for a reload after each
  // write, until told to stop.
  void ConfigThread() {
    size_t round = 0;
    while (!stop_config.load()) {
      if (round % 2 == 0) {
        config.Write(kValidConfigs[(round / 2) % std::size(kValidConfigs)].text);
      } else {
        const InvalidConfig& invalid = kInvalidConfigs[(round / 2) % std::size(kInvalidConfigs)];
        if (invalid.reason != nullptr && *invalid.reason == '\0') {
          unlink(config.Path().c_str());
        } else {
          config.Write(invalid.text);
        }
      }
      plugin->DispatchEvent(kvPlugin::EVENT_RELOAD);
      round++;
      std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
  }

  // --- The sinks' side: runs on the worker thread ---

  // Refuses one call in kRefuseOneIn, at random, after noting it.
  void Receive(const std::string& sink, const std::set<std::string>& names, const json& payload,
               uint8_t flags) {
    const bool refuse = refuse_random() % kRefuseOneIn == 0;
    Note(sink, names, payload, flags, refuse);
    if (refuse) throw std::runtime_error(kRefusal);
  }

  void Note(const std::string& sink, const std::set<std::string>& names, const json& payload,
            uint8_t flags, bool refused) noexcept {
    try {
      const std::string channel = sink + "/" + (names.size() == 1 ? *names.begin() : "?");
      const std::string type = payload.value("type", std::string());
      const uint16_t kind = KindOf(type);
      if (kind != 0) {
        NoteFlow(channel, kind, payload, flags, refused);
        return;
      }
      const uint64_t update = current_update.load();
      // Each periodic payload as "<what>:<update>", or "<what>:broken" if it is not whole.
      static const std::map<std::string, bool (*)(const json&, uint64_t)> stream_checks = {
          {"agent_status", StatusIsOf},
          {"interfaces", InterfacesAreOf},
          {"endpoints", EndpointsAreOf},
          {"interface_stats", InterfaceStatsAreOf},
          {"global_stats", CountersAre}};
      auto label_of = [update](const std::string& what, bool whole) {
        return what + ":" + (whole ? std::to_string(update) : "broken");
      };
      std::string label = "unexpected " + channel + " " + type;
      if (channel == "reporter/legacy") {
        label = label_of("legacy", LegacyIsOf(payload, update));
      } else if (channel == "collector/socket" && type == "agent_hello") {
        label = "hello";
      } else if (channel == "collector/socket" && type == "agent_status") {
        label = label_of("socket_status", StatusIsOf(payload, update));
      } else if (channel == "reporter/stats" && stream_checks.count(type) == 1) {
        label = label_of(type, stream_checks.at(type)(payload, update));
      }
      std::lock_guard<std::mutex> guard(received_lock);
      periodic.push_back({label, refused});
      // The update's last document, or a refused stream document, ends the update's payloads.
      if (type == "global_stats" || (refused && channel == "reporter/stats")) {
        updates_sent.store(update);
      }
    } catch (const std::exception& e) {
      std::lock_guard<std::mutex> guard(received_lock);
      periodic.push_back({std::string("exception ") + e.what(), false});
    }
  }

  void NoteFlow(const std::string& channel, uint16_t kind, const json& payload, uint8_t flags,
                bool refused) {
    const json& flow = payload.at("flow");
    const uint64_t digest = std::stoull(flow.at("digest").get<std::string>(), nullptr, 16);
    const size_t index = static_cast<size_t>(digest - kDigestBase);
    const uint64_t sequence = flow.contains("local_bytes") && kind != 1
                                  ? flow["local_bytes"].get<uint64_t>()
                                  : kNoSequence;
    std::lock_guard<std::mutex> guard(received_lock);
    if (channel == "collector/flows") {
      flows_channel.push_back({kind, index, sequence, flags, refused});
    } else if (channel == "collector/socket") {
      // Every accepted event is offered here first, refused or not.
      socket_channel.push_back({kind, index, sequence, flags, refused});
      received_flow_documents++;
    } else {
      periodic.push_back({"flow document on " + channel, false});
    }
  }

  // The legacy document of `update`: its status, interfaces, devices and counters all of that
  // update, and every flow it lists a full encoding filed under its own interface, once.
  bool LegacyIsOf(const json& doc, uint64_t update) const {
    if (!StatusIsOf(doc, update) || !InterfacesAreOf(doc.value("interfaces", json()), update) ||
        !EndpointsAreOf(doc.value("devices", json()), update) ||
        !InterfaceStatsAreOf(doc.value("stats", json()), update)) {
      return false;
    }
    if (!doc.contains("flows")) return true;
    for (const auto& entry : doc["flows"].items()) {
      std::unordered_set<std::string> digests;
      for (const json& flow : entry.value()) {
        const std::string digest = flow.value("digest", std::string());
        if (digest.empty() || !flow.contains("local_ip") || !flow.contains("local_bytes") ||
            !flow.contains("detected_protocol_name") || !digests.insert(digest).second) {
          return false;
        }
        const size_t index = static_cast<size_t>(std::stoull(digest, nullptr, 16) - kDigestBase);
        if (entry.key() != InterfaceName(InterfaceOf(index))) return false;
      }
    }
    return true;
  }

  const size_t flows;
  korvel_test::TempFile config;
  std::unique_ptr<kppPlugin> plugin;
  kvFlowMap flow_map;
  kppPlugin::Interfaces interfaces;
  std::vector<std::weak_ptr<kvFlow>> weak_flows;

  // Which flows are in flow_map; held by the daemon threads while they insert or erase and by
  // the update thread across a walk.
  std::mutex membership_lock;
  std::set<size_t> in_map;
  // How many walks reported each flow; update thread only until it is joined.
  std::vector<size_t> expected_walks;

  std::atomic<uint64_t> next_sequence{1};
  // Flow events accepted by the plugin, and flow documents the flows channel received.
  std::atomic<uint64_t> accepted{0};
  std::atomic<uint64_t> received_flow_documents{0};
  std::vector<Delivered> delivered_by_thread[kDaemonThreads];
  std::atomic<bool> daemon_threads_done{false};
  std::atomic<uint64_t> current_update{0};
  std::atomic<uint64_t> updates_sent{0};
  std::string update_thread_failure;
  std::atomic<bool> stop_config{false};

  // What the sinks were offered; written on the worker thread under received_lock.
  std::mutex received_lock;
  std::vector<Received> flows_channel;
  std::vector<Received> socket_channel;
  std::vector<Offered> periodic;
  // Decides the refusals; worker thread only.
  std::mt19937 refuse_random{12};
};

TEST_F(StressTest, EveryAcceptedEventIsSentOnceAndEveryUpdateWholeWhileReloading) {
  LogCapture log(false);
  config.Write(kValidConfigs[0].text);
  plugin = std::make_unique<kppPlugin>(kTag, kvPlugin::Params{{"conf_filename", config.Path()}});
  plugin->Create();
  // Every event from here on is accepted: the channels, and so the channel types, never change.
  ASSERT_TRUE(WaitUntil([this] { return plugin->channel_types.load() == 0x0f; }, kReloadLimit));

  std::thread config_thread([this] { ConfigThread(); });
  std::thread update_thread([this] { UpdateThread(); });
  std::vector<std::thread> daemon_threads;
  for (size_t t = 0; t < kDaemonThreads; t++) {
    daemon_threads.emplace_back([this, t] { DaemonThread(t); });
  }
  for (std::thread& thread : daemon_threads) thread.join();
  daemon_threads_done.store(true);
  update_thread.join();
  stop_config.store(true);
  config_thread.join();
  ASSERT_EQ(update_thread_failure, "");

  // The last file written is valid again; once it is loaded the first configuration is in force.
  config.Write(kValidConfigs[0].text);
  bool restored = false;
  for (int attempt = 0; attempt < 5 && !restored; attempt++) {
    plugin->DispatchEvent(kvPlugin::EVENT_RELOAD);
    ASSERT_TRUE(WaitUntil([this] { return !plugin->reload.load(); }, kReloadLimit));
    plugin->Lock();
    restored = plugin->sinks == kFirstConfigSinks;
    plugin->Unlock();
  }
  EXPECT_TRUE(restored);

  plugin->Terminate();
  plugin->Join();

  // Every printed line is the banner or a failed load of one of the invalid files.
  const std::string banner = std::string(kTag) + ": Korvel Core Processor Plugin v1.2.5";
  const std::string not_loaded = std::string(kTag) + ": configuration not loaded: ";
  const std::string json_exception = std::string(kTag) + ": " + config.Path() +
                                     ": JSON exception: [json.exception.parse_error.101] parse "
                                     "error at line ";
  std::set<std::string> reasons = {std::string(kTag) + ": " + config.Path() +
                                   ": No such file or directory"};
  for (const InvalidConfig& invalid : kInvalidConfigs) {
    if (invalid.reason != nullptr && *invalid.reason != '\0') reasons.insert(invalid.reason);
  }
  // And the refusals: each kind of document logged once at first, the rest counted per update.
  const std::string refusal = std::string(": ") + kRefusal + "\n";
  const std::set<std::string> refusal_lines = {
      std::string(kTag) + ": flow event not sent" + refusal,
      std::string(kTag) + ": legacy payload not sent" + refusal,
      std::string(kTag) + ": stream payloads not sent" + refusal};
  const std::regex summary(std::string(kTag) +
                           ": [1-9][0-9]* documents? not sent since the last update: " + kRefusal +
                           "\n");
  size_t refusals_logged = 0;
  for (const std::string& line : log.PrintedLines()) {
    if (line.rfind(banner, 0) == 0) continue;
    if (refusal_lines.count(line) == 1 || std::regex_match(line, summary)) {
      refusals_logged++;
      continue;
    }
    ASSERT_EQ(line.rfind(not_loaded, 0), 0u) << line;
    const std::string reason = line.substr(not_loaded.size(), line.size() - not_loaded.size() - 1);
    EXPECT_TRUE(reasons.count(reason) == 1 || reason.rfind(json_exception, 0) == 0) << line;
  }

  // The flows channel was offered exactly the documents the socket channel took, in the same
  // order, each sent under one whole configuration.
  std::set<std::pair<uint8_t, uint8_t>> flag_pairs;
  for (const ValidConfig& valid : kValidConfigs) {
    flag_pairs.insert({valid.flows_flags, valid.socket_flags});
  }
  std::vector<const Received*> socket_taken;
  size_t refusals = 0;
  for (const Received& document : socket_channel) {
    if (!document.refused) socket_taken.push_back(&document);
    refusals += document.refused;
  }
  ASSERT_EQ(flows_channel.size(), socket_taken.size());
  for (size_t i = 0; i < flows_channel.size(); i++) {
    ASSERT_TRUE(flows_channel[i] == *socket_taken[i]) << "document " << i;
    const std::pair<uint8_t, uint8_t> flags{flows_channel[i].flags, socket_taken[i]->flags};
    ASSERT_EQ(flag_pairs.count(flags), 1u)
        << "document " << i << " flags " << int(flags.first) << ", " << int(flags.second);
    refusals += flows_channel[i].refused;
  }

  // Each delivered event exactly once, each flow's events in the order delivered, and each flow
  // reported by exactly the walks that found it.
  std::map<uint64_t, Delivered> delivered;
  std::vector<size_t> new_flow_events(flows + kInterfaces, 0);
  for (const auto& list : delivered_by_thread) {
    for (const Delivered& event : list) {
      if (event.kind == kvPluginProcessor::EVENT_FLOW_NEW) {
        new_flow_events[event.flow]++;
      } else {
        delivered.emplace(event.sequence, event);
      }
    }
  }
  EXPECT_EQ(delivered.size() + flows, flows * kEventsPerFlow);
  std::vector<size_t> new_flow_documents(flows + kInterfaces, 0);
  std::vector<size_t> walk_documents(flows + kInterfaces, 0);
  std::vector<uint64_t> last_sequence(flows + kInterfaces, 0);
  std::set<uint64_t> seen;
  for (const Received& document : socket_channel) {
    ASSERT_LT(document.flow, flows + kInterfaces);
    if (document.kind == kvPluginProcessor::EVENT_FLOW_MAP) {
      walk_documents[document.flow]++;
    } else if (document.kind == kvPluginProcessor::EVENT_FLOW_NEW) {
      new_flow_documents[document.flow]++;
    } else {
      auto found = delivered.find(document.sequence);
      ASSERT_NE(found, delivered.end()) << "sequence " << document.sequence;
      EXPECT_EQ(found->second.kind, document.kind) << "sequence " << document.sequence;
      EXPECT_EQ(found->second.flow, document.flow) << "sequence " << document.sequence;
      EXPECT_TRUE(seen.insert(document.sequence).second) << "sent twice: " << document.sequence;
      EXPECT_GT(document.sequence, last_sequence[document.flow]) << "out of order";
      last_sequence[document.flow] = document.sequence;
    }
  }
  EXPECT_EQ(seen.size(), delivered.size());
  EXPECT_EQ(new_flow_documents, new_flow_events);
  EXPECT_EQ(walk_documents, expected_walks);

  // Every update's families were offered once each, in order, every document whole; a refused
  // document ended its family for the update, and only its family.
  const uint64_t updates = current_update.load();
  size_t next = 0;
  for (uint64_t update = 1; update <= updates; update++) {
    const std::string n = std::to_string(update);
    const std::vector<std::vector<std::string>> families = {
        {"legacy:" + n, "hello", "socket_status:" + n},
        {"agent_status:" + n, "interfaces:" + n, "endpoints:" + n, "interface_stats:" + n,
         "global_stats:" + n}};
    for (const std::vector<std::string>& family : families) {
      for (const std::string& label : family) {
        ASSERT_LT(next, periodic.size()) << "missing " << label;
        ASSERT_EQ(periodic[next].label, label) << "periodic document " << next;
        refusals += periodic[next].refused;
        if (periodic[next++].refused) break;
      }
    }
  }
  EXPECT_EQ(next, periodic.size());
  // The sink did refuse, and every refusal made a line or was counted in one.
  EXPECT_GT(refusals, 0u);
  EXPECT_GT(refusals_logged, 0u);
  EXPECT_LE(refusals_logged, refusals);

  // After destruction the daemon's references are the only ones left: the flows it dropped are
  // gone and the ones it keeps are held by its map alone.
  plugin.reset();
  for (size_t index = 0; index < flows; index++) {
    EXPECT_TRUE(weak_flows[index].expired()) << "flow " << index;
  }
  for (size_t index = flows; index < flows + kInterfaces; index++) {
    EXPECT_EQ(weak_flows[index].use_count(), 1) << "flow " << index;
  }
}

}  // namespace

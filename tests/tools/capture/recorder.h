// Recorder: a DaemonEvents that records what the capture source delivers, holds the handed-out
// flows as the plugin's queue would, and fails the test when a handed-out record changes before
// a settle.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "kv/flow.h"
#include "kv/flow_map.h"
#include "kv/interface.h"
#include "tools/capture/track/daemon_events.h"

namespace capture_test {

// What a plugin could read of a flow record while it holds it.
struct FlowSnapshot {
  kvFlowStats stats;
  uint64_t first_seen = 0;
  uint64_t last_seen = 0;
  bool stats_ready = false;
  uint8_t tcp_closed = 0;
  uint32_t lower_teid = 0;
  uint32_t upper_teid = 0;

  static FlowSnapshot Of(const kvFlow& flow) {
    std::lock_guard<std::recursive_mutex> guard(flow.lock);
    FlowSnapshot s;
    s.stats = flow.stats;
    s.first_seen = flow.ts_first_seen;
    s.last_seen = flow.ts_last_seen;
    s.stats_ready = flow.stats_ready;
    s.tcp_closed = flow.tcp_closed;
    s.lower_teid = flow.gtp.lower_teid;
    s.upper_teid = flow.gtp.upper_teid;
    return s;
  }
  bool operator==(const FlowSnapshot& o) const {
    const kvFlowStats& a = stats;
    const kvFlowStats& b = o.stats;
    return a.lower_bytes == b.lower_bytes && a.upper_bytes == b.upper_bytes &&
           a.total_bytes == b.total_bytes && a.lower_total_bytes == b.lower_total_bytes &&
           a.upper_total_bytes == b.upper_total_bytes && a.lower_packets == b.lower_packets &&
           a.upper_packets == b.upper_packets && a.total_packets == b.total_packets &&
           a.lower_total_packets == b.lower_total_packets &&
           a.upper_total_packets == b.upper_total_packets && a.lower_rate == b.lower_rate &&
           a.upper_rate == b.upper_rate && a.tcp_seq_errors == b.tcp_seq_errors &&
           a.tcp_resets == b.tcp_resets && a.tcp_retrans == b.tcp_retrans &&
           first_seen == o.first_seen && last_seen == o.last_seen && stats_ready == o.stats_ready &&
           tcp_closed == o.tcp_closed && lower_teid == o.lower_teid && upper_teid == o.upper_teid;
  }
};

// The identity fields of a flow, as event 6 hands them out.
struct FlowIdentity {
  std::string iface;
  uint64_t digest = 0;
  std::string lower, upper;          // address texts with port
  std::string lower_mac, upper_mac;  // "" without
  uint8_t lower_map = 0, origin = 0, other_type = 0;
  uint8_t ip_version = 0, ip_protocol = 0, ip_dscp = 0;
  uint16_t vlan_id = 0;
  uint8_t tunnel_type = 0;
  kvFlow::Gtp gtp;
  std::string gtp_lower, gtp_upper;

  static std::string Text(const kvAddr& addr, bool port) {
    std::string out;
    kvAddr::MakeString(addr, out, port ? kvAddr::MAKE_WITH_PORT : kvAddr::MAKE_DEFAULT);
    return out;
  }
  static FlowIdentity Of(const kvFlow& flow) {
    std::lock_guard<std::recursive_mutex> guard(flow.lock);
    FlowIdentity id;
    id.iface = flow.iface ? flow.iface->name : "";
    id.digest = flow.digest;
    id.lower = Text(flow.lower_addr, true);
    id.upper = Text(flow.upper_addr, true);
    id.lower_mac = Text(flow.lower_mac, false);
    id.upper_mac = Text(flow.upper_mac, false);
    id.lower_map = flow.lower_map;
    id.origin = flow.origin;
    id.other_type = flow.other_type;
    id.ip_version = flow.ip_version;
    id.ip_protocol = flow.ip_protocol;
    id.ip_dscp = flow.ip_dscp;
    id.vlan_id = flow.vlan_id;
    id.tunnel_type = flow.tunnel_type;
    id.gtp = flow.gtp;
    id.gtp_lower = Text(flow.gtp.lower_addr, true);
    id.gtp_upper = Text(flow.gtp.upper_addr, true);
    return id;
  }
};

// What classification left in a flow record, as events 7 and 8 hand it out.
struct DpiSnapshot {
  uint32_t protocol = 0;
  std::string protocol_name;
  uint32_t master = 0;
  uint32_t application = 0;
  std::string application_name;
  bool guessed = false;
  bool updated = false;
  kvFlow::Category category;
  uint32_t packets = 0;
  std::string host_server_name, dns_host_name, user_agent, http_url;
  std::string ssh_client, ssh_server;
  kvFlow::Tls tls;
  std::vector<uint64_t> digest_history;
  uint64_t digest = 0;

  static DpiSnapshot Of(const kvFlow& flow) {
    std::lock_guard<std::recursive_mutex> guard(flow.lock);
    DpiSnapshot s;
    s.protocol = static_cast<uint32_t>(flow.detected_protocol);
    s.protocol_name = flow.detected_protocol_name;
    s.master = static_cast<uint32_t>(flow.master_protocol);
    s.application = flow.detected_application;
    s.application_name = flow.detected_application_name;
    s.guessed = flow.detection_guessed;
    s.updated = flow.detection_updated;
    s.category = flow.category;
    s.packets = flow.stats.detection_packets;
    s.host_server_name = flow.host_server_name;
    s.dns_host_name = flow.dns_host_name;
    s.user_agent = flow.user_agent;
    s.http_url = flow.http_url;
    s.ssh_client = flow.ssh_client_agent;
    s.ssh_server = flow.ssh_server_agent;
    s.tls = flow.tls;
    s.digest_history = flow.digest_history;
    s.digest = flow.digest;
    return s;
  }
};

struct Delivered {
  enum Kind { kNew, kPurge, kUpdate, kSettle, kDpiUpdate, kDpiComplete };
  explicit Delivered(Kind kind_) : kind(kind_) {}
  Kind kind;
  std::string flow;       // kNew, kPurge: the flow's name ("f1" for the first created)
  FlowIdentity identity;  // kNew, kPurge
  FlowSnapshot snapshot;  // kNew, kPurge, kDpi...: the record as handed out
  DpiSnapshot dpi;        // kNew, kDpiUpdate, kDpiComplete
  // kUpdate:
  uint64_t time_ms = 0;
  std::vector<std::pair<std::string, FlowSnapshot>> walk;  // flows the walk takes, by name
  std::vector<std::pair<std::string, kvPacketStats>> interface_stats;
  kvPacketStats global_stats;
  kvInstanceStatus status;
  std::vector<std::string> endpoints;  // "IFACE MAC ADDR..." of each current endpoint table entry
};

class Recorder : public capture::DaemonEvents {
 public:
  void FlowEvent(kvPluginProcessor::Event event, const std::string& key,
                 std::shared_ptr<kvFlow>& flow) override {
    Check("flow event");
    const Delivered::Kind kind =
        event == kvPluginProcessor::EVENT_FLOW_NEW       ? Delivered::kNew
        : event == kvPluginProcessor::EVENT_DPI_UPDATE   ? Delivered::kDpiUpdate
        : event == kvPluginProcessor::EVENT_DPI_COMPLETE ? Delivered::kDpiComplete
                                                         : Delivered::kPurge;
    EXPECT_TRUE(kind != Delivered::kPurge || event == kvPluginProcessor::EVENT_FLOW_PURGE)
        << "unexpected event " << event;
    Delivered d(kind);
    if (kind == Delivered::kDpiUpdate || kind == Delivered::kDpiComplete) {
      EXPECT_EQ(names.count(flow.get()), 1u) << "DPI event for a flow never announced";
      EXPECT_EQ(purged.count(flow.get()), 0u) << "DPI event after the purge";
      EXPECT_EQ(completed.count(flow.get()), 0u) << "DPI event after event 8";
      if (kind == Delivered::kDpiComplete) completed.insert(flow.get());
    } else if (d.kind == Delivered::kNew) {
      EXPECT_EQ(names.count(flow.get()), 0u) << "event 6 twice for one record";
      names[flow.get()] = "f" + std::to_string(++created);
    } else {
      EXPECT_EQ(names.count(flow.get()), 1u) << "purge of a flow never announced";
      EXPECT_EQ(purged.count(flow.get()), 0u) << "purged twice";
      EXPECT_EQ(completed.count(flow.get()), 1u) << "purge without event 8 before it";
      purged.insert(flow.get());
      completed.erase(flow.get());  // a later record may take the same address
    }
    d.flow = names[flow.get()];
    EXPECT_EQ(key, d.flow) << "the flow-map key is not the flow's number in creation order";
    d.snapshot = FlowSnapshot::Of(*flow);
    d.dpi = DpiSnapshot::Of(*flow);
    d.identity = FlowIdentity::Of(*flow);
    HandOver(flow);
    delivered.push_back(std::move(d));
  }

  void Update(capture::UpdateRecords& update) override {
    Check("update");
    Delivered d(Delivered::kUpdate);
    d.time_ms = update.time_ms;
    // The walk as the plugin makes it: ready, not held, with packets in the update.
    std::set<const kvFlow*> walked;
    kvFlowMap& map = update.flow_map;
    std::vector<std::shared_ptr<kvFlow>> taken;
    for (size_t i = 0; i < map.GetBuckets(); i++) {
      for (auto& entry : map.Acquire(i)) {
        const kvFlow& flow = *entry.second;
        if (!flow.stats_ready || flow.stats_hold) continue;
        if (flow.stats.lower_packets == 0 && flow.stats.upper_packets == 0) continue;
        taken.push_back(entry.second);
      }
      map.Release(i);
    }
    std::set<const kvFlow*> listed;
    for (const std::string* key : update.ready) {
      auto flow = map.Find(*key);
      if (flow) listed.insert(flow.get());
    }
    for (auto& flow : taken) {
      walked.insert(flow.get());
      d.walk.emplace_back(names[flow.get()], FlowSnapshot::Of(*flow));
      HoldWithoutAdd(flow);
    }
    taken.clear();
    EXPECT_EQ(walked, listed) << "the ready list and the walk differ";
    std::sort(d.walk.begin(), d.walk.end(),
              [](const auto& a, const auto& b) { return Number(a.first) < Number(b.first); });
    Release();  // the drain of the update
    d.interface_stats = update.interface_stats;
    d.global_stats = update.global_stats;
    d.status = update.status;
    for (const auto& [name, iface] : update.interfaces) {
      std::lock_guard<std::mutex> guard(iface->endpoint_lock);
      for (const auto& [mac, set] : iface->endpoints[(iface->endpoint_selector & 1) ? 0 : 1]) {
        std::vector<std::string> texts;
        {
          std::lock_guard<std::mutex> set_guard(set.lock);
          for (const kvAddr& addr : set.addrs) texts.push_back(FlowIdentity::Text(addr, false));
        }
        std::sort(texts.begin(), texts.end());
        std::string line = name + " " + FlowIdentity::Text(mac, false);
        for (const std::string& text : texts) line += " " + text;
        d.endpoints.push_back(line);
      }
    }
    std::sort(d.endpoints.begin(), d.endpoints.end());
    delivered.push_back(std::move(d));
  }

  void Settle() override {
    Check("settle");
    if (!held.empty()) delivered.push_back(Delivered(Delivered::kSettle));
    Release();
  }

  void Clock(uint64_t time_us) override {
    EXPECT_GE(time_us, last_clock) << "the clock went back";
    last_clock = time_us;
  }

  // Checks the records still held once the run is over.
  void Finish() { Check("end of run"); }

  // Deliveries of one kind, in order.
  std::vector<const Delivered*> Of(Delivered::Kind kind) const {
    std::vector<const Delivered*> out;
    for (const Delivered& d : delivered) {
      if (d.kind == kind) out.push_back(&d);
    }
    return out;
  }
  const Delivered* PurgeOf(const std::string& flow) const {
    for (const Delivered& d : delivered) {
      if (d.kind == Delivered::kPurge && d.flow == flow) return &d;
    }
    return nullptr;
  }
  const Delivered* NewOf(const std::string& flow) const {
    for (const Delivered& d : delivered) {
      if (d.kind == Delivered::kNew && d.flow == flow) return &d;
    }
    return nullptr;
  }

  std::vector<Delivered> delivered;

 private:
  static unsigned long Number(const std::string& name) { return std::stoul(name.substr(1)); }

  void HandOver(const std::shared_ptr<kvFlow>& flow) { HoldWithoutAdd(flow); }
  void HoldWithoutAdd(const std::shared_ptr<kvFlow>& flow) {
    if (!outstanding.count(flow.get())) outstanding[flow.get()] = FlowSnapshot::Of(*flow);
    held.push_back(flow);
  }

  // Lets go of every held record.
  void Release() {
    held.clear();
    outstanding.clear();
    for (const kvFlow* flow : purged) names.erase(flow);
    purged.clear();
  }

  void Check(const char* when) {
    for (const auto& entry : outstanding) {
      if (!(FlowSnapshot::Of(*entry.first) == entry.second)) {
        ADD_FAILURE() << "flow " << names[entry.first] << " changed while handed out (seen at "
                      << when << ")";
      }
    }
  }

  std::vector<std::shared_ptr<kvFlow>> held;
  std::map<const kvFlow*, FlowSnapshot> outstanding;
  std::map<const kvFlow*, std::string> names;
  std::set<const kvFlow*> purged;
  std::set<const kvFlow*> completed;  // flows that had event 8
  unsigned long created = 0;
  uint64_t last_clock = 0;
};

}  // namespace capture_test

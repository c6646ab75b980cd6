// FlowTracker: flow identity, counting, TCP close and sequence checks, idle expiry, and the
// publication of flow records at creation, update and purge.
#include "tools/capture/track/flow_tracker.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <mutex>

#include "kv/flow_write_lock.h"
#include "tools/capture/capture_error.h"
#include "tools/capture/constants.h"
#include "tools/capture/track/endpoint_tables.h"
#include "tools/capture/track/flow_counters.h"
#include "tools/capture/track/flow_key.h"

namespace capture {

using kvStandIn::FlowWriteLock;

namespace {

bool IsDeviceMac(const uint8_t* mac) {
  static const uint8_t kZero[kMacBytes] = {};
  return (mac[0] & 0x01) == 0 && std::memcmp(mac, kZero, kMacBytes) != 0;
}

}  // namespace

FlowTracker::FlowTracker(const TrackerSettings& settings, kvFlowMap& flow_map_,
                         std::vector<TrackedInterface>& interfaces_)
    : flow_map(flow_map_),
      interfaces(interfaces_),
      lists(settings),
      update_interval_s(std::max<uint32_t>(settings.update_interval_s, 1)),
      max_flows(settings.max_flows),
      max_retired_flows(std::max<size_t>(settings.max_retired_flows, 1)) {
  const std::vector<std::string>& nets =
      settings.local_nets.empty() ? kDefaultLocalNets : settings.local_nets;
  for (const std::string& net : nets) {
    if (!local_nets.Add(net)) throw CaptureError(net, "not a network");
  }
}

FlowTracker::~FlowTracker() = default;

void FlowTracker::Track(uint32_t iface, const DecodedPacket& packet, uint32_t wirelen,
                        uint64_t now_us, DaemonEvents& events) {
  bool from_lower = true;
  const FlowKey key = MakeFlowKey(iface, packet, from_lower);
  auto it = table.find(key);
  // A new connection on the addresses and ports of a closed one that is still lingering.
  if (it != table.end() && it->second.closed && packet.protocol == kProtoTcp &&
      (packet.tcp_flags & (kTcpSyn | kTcpAck)) == kTcpSyn) {
    Purge(it->second, events);
    it = table.end();
  }
  kvPacketStats& stats = interfaces[iface].stats;
  if (it != table.end()) {
    Count(it->second, packet, from_lower, wirelen, now_us, stats);
    Classify(it->second, packet, from_lower, now_us, events);
    return;
  }
  if (max_flows != 0 && table.size() >= max_flows) {
    // No room for another flow: the packet starts none (the decoder has counted it).
    stats.flow_dropped++;
    return;
  }

  FlowState& state = Create(key, iface, packet, from_lower, now_us);
  Count(state, packet, from_lower, wirelen, now_us, stats);
  // The first packet's classification is written before the record is handed out, so the events
  // that follow event 6 need no settle.
  const DpiStep step = classifier.Feed(state.dpi, packet, true, now_us);
  {
    FlowWriteLock lock(flow_map, state.map_key, *state.record);
    PublishCounters(state, *state.record);
    classifier.NameFromDns(key.ip_version, ServerEnd(state).addr, now_us, *state.record);
    if (step != DpiStep::kNone) WriteDpi(state, *state.record);
  }
  flow_map.Insert(state.map_key, state.record);
  state.handed_generation = generation;
  events.FlowEvent(kvPluginProcessor::EVENT_FLOW_NEW, state.map_key, state.record);
  DeliverDpi(step, state, events);
}

void FlowTracker::Classify(FlowState& state, const DecodedPacket& packet, bool from_lower,
                           uint64_t now_us, DaemonEvents& events) {
  const DpiStep step = classifier.Feed(state.dpi, packet, from_lower == state.origin_lower, now_us);
  if (step == DpiStep::kNone) return;
  SettleFor(state, events);
  {
    FlowWriteLock lock(flow_map, state.map_key, *state.record);
    PublishCounters(state, *state.record);
    WriteDpi(state, *state.record);
  }
  state.handed_generation = generation;
  DeliverDpi(step, state, events);
}

// The endpoint the flow's first packet went to.
const Endpoint& FlowTracker::ServerEnd(const FlowState& state) {
  return state.origin_lower ? state.key.upper : state.key.lower;
}

void FlowTracker::WriteDpi(FlowState& state, kvFlow& flow) {
  classifier.Write(state.dpi, ServerEnd(state).port, flow);
}

void FlowTracker::DeliverDpi(DpiStep step, FlowState& state, DaemonEvents& events) {
  if (step == DpiStep::kUpdated) {
    events.FlowEvent(kvPluginProcessor::EVENT_DPI_UPDATE, state.map_key, state.record);
  } else if (step == DpiStep::kComplete) {
    events.FlowEvent(kvPluginProcessor::EVENT_DPI_COMPLETE, state.map_key, state.record);
  }
}

FlowState& FlowTracker::Create(const FlowKey& key, uint32_t iface, const DecodedPacket& packet,
                               bool from_lower, uint64_t now_us) {
  FlowState& state = table[key];
  state.key = key;
  state.number = ++created;
  state.map_key = kFlowKeyPrefix + std::to_string(state.number);
  state.record = std::make_shared<kvFlow>();
  lists.Add(state);

  kvFlow& flow = *state.record;
  std::lock_guard<std::recursive_mutex> guard(flow.lock);
  flow.iface = interfaces[iface].record;
  flow.digest = FlowDigest(key);
  flow.ts_first_seen = now_us / kMicrosPerMilli;
  flow.ts_last_seen = flow.ts_first_seen;

  const uint8_t version = key.ip_version;
  const bool lower_local = IsLocal(iface, version, key.lower.addr);
  const bool upper_local = IsLocal(iface, version, key.upper.addr);
  const bool lower_is_local_side = lower_local || !upper_local;
  flow.lower_map = lower_is_local_side ? kvFlow::LOWER_MAP_LOCAL : kvFlow::LOWER_MAP_OTHER;
  const Endpoint& other = lower_is_local_side ? key.upper : key.lower;
  flow.other_type = OtherType(version, other.addr, lower_is_local_side ? upper_local : lower_local);
  flow.origin = from_lower ? kvFlow::ORIGIN_LOWER : kvFlow::ORIGIN_UPPER;
  state.origin_lower = from_lower;

  if (packet.has_macs) {
    flow.lower_mac = kvAddr::FromLink(from_lower ? packet.src_mac : packet.dst_mac);
    flow.upper_mac = kvAddr::FromLink(from_lower ? packet.dst_mac : packet.src_mac);
    const bool local_side_local = lower_is_local_side ? lower_local : upper_local;
    const uint8_t* local_mac =
        (lower_is_local_side == from_lower) ? packet.src_mac : packet.dst_mac;
    if (local_side_local && IsDeviceMac(local_mac)) {
      state.has_endpoint = true;
      std::memcpy(state.endpoint_mac, local_mac, kMacBytes);
    }
  }
  flow.lower_addr = MakeAddr(version, key.lower);
  flow.upper_addr = MakeAddr(version, key.upper);
  flow.ip_version = version;
  flow.ip_dscp = packet.dscp;
  flow.ip_protocol = key.protocol;
  flow.vlan_id = key.vlan_id;
  if (packet.gtp) FillGtp(state, packet, flow);
  return state;
}

void FlowTracker::FillGtp(FlowState& state, const DecodedPacket& packet, kvFlow& flow) const {
  const GtpOuter& outer = packet.outer;
  const bool src_lower = IsLower(outer.src, outer.dst);
  state.gtp = std::make_unique<GtpTunnel>();
  GtpTunnel& tunnel = *state.gtp;
  tunnel.lower = src_lower ? outer.src : outer.dst;
  tunnel.upper = src_lower ? outer.dst : outer.src;
  const uint32_t iface = state.key.iface;
  const bool lower_local = IsLocal(iface, outer.ip_version, tunnel.lower.addr);
  const bool upper_local = IsLocal(iface, outer.ip_version, tunnel.upper.addr);
  const bool lower_is_local_side = lower_local || !upper_local;
  const Endpoint& other = lower_is_local_side ? tunnel.upper : tunnel.lower;

  flow.tunnel_type = kvFlow::TUNNEL_GTP;
  flow.gtp.version = outer.version;
  flow.gtp.ip_version = packet.ip_version;
  flow.gtp.ip_dscp = packet.dscp;
  flow.gtp.lower_map = lower_is_local_side ? kvFlow::LOWER_MAP_LOCAL : kvFlow::LOWER_MAP_OTHER;
  flow.gtp.other_type =
      OtherType(outer.ip_version, other.addr, lower_is_local_side ? upper_local : lower_local);
  flow.gtp.lower_addr = MakeAddr(outer.ip_version, tunnel.lower);
  flow.gtp.upper_addr = MakeAddr(outer.ip_version, tunnel.upper);
}

void FlowTracker::LearnTeid(FlowState& state, const DecodedPacket& packet) const {
  // A G-PDU carries the identifier of the endpoint it is sent to.
  if (!state.gtp) return;
  GtpTunnel& tunnel = *state.gtp;
  const Endpoint& to = packet.outer.dst;
  if (std::memcmp(&to, &tunnel.lower, sizeof(Endpoint)) == 0) {
    tunnel.lower_teid = packet.outer.teid;
  } else if (std::memcmp(&to, &tunnel.upper, sizeof(Endpoint)) == 0) {
    tunnel.upper_teid = packet.outer.teid;
  }
}

void FlowTracker::Count(FlowState& state, const DecodedPacket& packet, bool from_lower,
                        uint32_t wirelen, uint64_t now_us, kvPacketStats& stats) {
  CountPacket(from_lower ? state.lower : state.upper, wirelen);
  state.last_us = now_us;
  state.moved = true;
  if (packet.gtp) LearnTeid(state, packet);

  if (state.key.protocol == kProtoTcp) {
    const int direction = from_lower ? 0 : 1;
    if ((packet.tcp_flags & kTcpRst) != 0) {
      CountOne(state.tcp_resets);
      stats.pkt_tcp_resets++;
      state.closed = true;
    } else {
      switch (state.tcp_seq[direction].Track(packet.tcp_seq, packet.tcp_length)) {
        case SegmentKind::kRetransmission:
          CountOne(state.tcp_retrans);
          break;
        case SegmentKind::kSequenceError:
          CountOne(state.tcp_seq_errors);
          stats.pkt_tcp_seq_error++;
          break;
        default:
          break;
      }
    }
    if ((packet.tcp_flags & kTcpFin) != 0) {
      state.fin[direction] = true;
      if (state.fin[0] && state.fin[1]) state.closed = true;
    }
  }
  lists.Touch(state);
}

void FlowTracker::PublishCounters(FlowState& state, kvFlow& flow) const {
  FillFlowStats(state, update_interval_s, flow.stats);
  flow.ts_last_seen = state.last_us / kMicrosPerMilli;
  flow.tcp_closed = state.closed ? 1 : 0;
  if (state.gtp) {
    flow.gtp.lower_teid = state.gtp->lower_teid;
    flow.gtp.upper_teid = state.gtp->upper_teid;
  }
}

uint64_t FlowTracker::NextExpiry() const {
  return lists.NextExpiry();
}

void FlowTracker::ExpireIdle(uint64_t now_us, DaemonEvents& events) {
  while (FlowState* expired = lists.Expired(now_us)) Purge(*expired, events);
}

void FlowTracker::ExpireAll(DaemonEvents& events) {
  while (FlowState* first = lists.First()) Purge(*first, events);
}

void FlowTracker::Purge(FlowState& state, DaemonEvents& events) {
  if (retired.size() >= max_retired_flows) {
    events.Settle();
    Settled();
  }
  SettleFor(state, events);
  // Detection ends at the latest here: a flow still being classified is given up first.
  const bool complete_now = !state.dpi.complete;
  if (complete_now) classifier.GiveUp(state.dpi);
  {
    FlowWriteLock lock(flow_map, state.map_key, *state.record);
    PublishCounters(state, *state.record);
    if (complete_now) WriteDpi(state, *state.record);
    state.record->stats_ready = false;
  }
  counts.purged++;
  purged_total++;
  if (!state.closed) counts.expired++;
  flow_map.Erase(state.map_key);
  retired.push_back(std::move(state.record));
  const std::string map_key = std::move(state.map_key);
  lists.Remove(state);
  const FlowKey key = state.key;
  table.erase(key);
  if (complete_now) {
    events.FlowEvent(kvPluginProcessor::EVENT_DPI_COMPLETE, map_key, retired.back());
  }
  events.FlowEvent(kvPluginProcessor::EVENT_FLOW_PURGE, map_key, retired.back());
}

FlowCounts FlowTracker::PublishUpdate(std::vector<const std::string*>& ready,
                                      DaemonEvents& events) {
  for (FlowState* state = lists.First(); state; state = state->all_next) {
    if ((state->moved || state->published_ready) && state->handed_generation == generation) {
      events.Settle();
      Settled();
      break;
    }
  }

  // The endpoint tables of this interval are filled into the table that is not current, which
  // then becomes current; the one before stays as the previous interval's.
  for (TrackedInterface& iface : interfaces) BeginEndpointTable(*iface.record);

  ready.reserve(table.size());
  for (FlowState* state = lists.First(); state; state = state->all_next) {
    kvFlow& flow = *state->record;
    if (state->moved) {
      {
        FlowWriteLock lock(flow_map, state->map_key, flow);
        PublishCounters(*state, flow);
        flow.stats_ready = true;
      }
      ready.push_back(&state->map_key);
      state->lower.bytes = state->upper.bytes = 0;
      state->lower.packets = state->upper.packets = 0;
      state->moved = false;
      state->published_ready = true;
      state->handed_generation = generation;
      counts.active++;
      if (state->has_endpoint) {
        const bool lower_local = flow.lower_map != kvFlow::LOWER_MAP_OTHER;
        AddEndpoint(*interfaces[state->key.iface].record, state->endpoint_mac,
                    MakeAddr(state->key.ip_version,
                             Endpoint(lower_local ? state->key.lower : state->key.upper)));
      }
    } else if (state->published_ready) {
      FlowWriteLock lock(flow_map, state->map_key, flow);
      flow.stats_ready = false;
      flow.stats.lower_bytes = flow.stats.upper_bytes = 0;
      flow.stats.lower_packets = flow.stats.upper_packets = 0;
      flow.stats.lower_rate = flow.stats.upper_rate = 0.0f;
      state->published_ready = false;
    }
  }

  for (TrackedInterface& iface : interfaces) SwitchEndpointTables(*iface.record);

  counts.live = table.size();
  counts.expiring = lists.IdleSize(kIdleTcpClosed);
  const FlowCounts result = counts;
  counts = FlowCounts{};
  return result;
}

void FlowTracker::UpdateDelivered() {
  Settled();
}

void FlowTracker::SettleFor(const FlowState& state, DaemonEvents& events) {
  if (state.handed_generation != generation) return;
  events.Settle();
  Settled();
}

void FlowTracker::Settled() {
  generation++;
  retired.clear();
}

bool FlowTracker::IsLocal(uint32_t iface, uint8_t version, const uint8_t* addr) const {
  return interfaces[iface].own.Contains(version, addr) || local_nets.Contains(version, addr);
}

uint8_t FlowTracker::OtherType(uint8_t version, const uint8_t* addr, bool local) const {
  constexpr uint8_t kLocal = 2, kMulticast = 3, kBroadcast = 4, kRemote = 5;
  if (IsMulticast(version, addr)) return kMulticast;
  if (IsBroadcast(version, addr)) return kBroadcast;
  return local ? kLocal : kRemote;
}

}  // namespace capture

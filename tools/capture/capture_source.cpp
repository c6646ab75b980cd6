// CaptureSource: merges the files in timestamp order, runs the capture clock with its updates
// and expiries, and hands each packet to the decoder and the tracker.
#include "tools/capture/capture_source.h"

#include <algorithm>
#include <limits>
#include <set>

#include "tools/capture/capture_reader.h"
#include "tools/capture/constants.h"
#include "tools/capture/flow_tracker.h"
#include "tools/capture/packet_decoder.h"
#include "tools/capture/process_usage.h"

namespace capture {

namespace {

void AddCounters(kvPacketStats& sum, const kvPacketStats& add) {
  sum.pkt_raw += add.pkt_raw;
  sum.pkt_eth += add.pkt_eth;
  sum.pkt_mpls += add.pkt_mpls;
  sum.pkt_pppoe += add.pkt_pppoe;
  sum.pkt_vlan += add.pkt_vlan;
  sum.pkt_frags += add.pkt_frags;
  sum.pkt_discard += add.pkt_discard;
  sum.pkt_maxlen = std::max(sum.pkt_maxlen, add.pkt_maxlen);
  sum.pkt_ip += add.pkt_ip;
  sum.pkt_ip4 += add.pkt_ip4;
  sum.pkt_ip6 += add.pkt_ip6;
  sum.pkt_icmp += add.pkt_icmp;
  sum.pkt_igmp += add.pkt_igmp;
  sum.pkt_tcp += add.pkt_tcp;
  sum.pkt_tcp_seq_error += add.pkt_tcp_seq_error;
  sum.pkt_tcp_resets += add.pkt_tcp_resets;
  sum.pkt_udp += add.pkt_udp;
  sum.pkt_ip_bytes += add.pkt_ip_bytes;
  sum.pkt_ip4_bytes += add.pkt_ip4_bytes;
  sum.pkt_ip6_bytes += add.pkt_ip6_bytes;
  sum.pkt_wire_bytes += add.pkt_wire_bytes;
  sum.pkt_discard_bytes += add.pkt_discard_bytes;
  sum.pkt_queue_dropped += add.pkt_queue_dropped;
  sum.pkt_capture_dropped += add.pkt_capture_dropped;
  sum.pkt_capture_filtered += add.pkt_capture_filtered;
  sum.flow_dropped += add.flow_dropped;
  sum.flow_evicted += add.flow_evicted;
}

}  // namespace

// Everything one source holds; used by the thread that calls Open and Run.
class CaptureRun {
 public:
  CaptureRun(std::vector<InterfaceSpec> specs_, TrackerSettings settings_, size_t buckets)
      : specs(std::move(specs_)), settings(std::move(settings_)), flow_map(buckets) {
    tracked.reserve(specs.size());
    for (InterfaceSpec& spec : specs) {
      const std::string name = InterfaceName(spec);
      if (interfaces.count(name)) throw CaptureError(name, "interface named twice");
      auto record = std::make_shared<kvInterface>(name, spec.role);
      record->capture_type = kvInterface::CAPTURE_PCAP_OFFLINE;
      record->capture_file = spec.file;
      TrackedInterface iface;
      for (const std::string& text : spec.addrs) {
        kvAddr addr;
        if (!kvAddr::FromString(text, addr)) throw CaptureError(text, "not an address");
        if (addr.Family() == AF_INET) {
          addr.storage.in.sin_port = 0;
          iface.own.AddAddress(4, reinterpret_cast<const uint8_t*>(&addr.storage.in.sin_addr));
        } else if (addr.Family() == AF_INET6) {
          addr.storage.in6.sin6_port = 0;
          iface.own.AddAddress(6, addr.storage.in6.sin6_addr.s6_addr);
        }
        record->addrs.Insert(addr);
      }
      iface.record = record;
      interfaces.emplace(name, record);
      names.push_back(name);
      tracked.push_back(std::move(iface));
      readers.push_back(std::make_unique<CaptureReader>(spec));
      spec.stream = nullptr;  // the reader owns it now
    }
    tracker = std::make_unique<FlowTracker>(settings, flow_map, tracked);
    interval_us = uint64_t{std::max<uint32_t>(settings.update_interval_s, 1)} * kMicrosPerSecond;
  }

  void Open() {
    if (opened) return;
    for (auto& reader : readers) {
      reader->Open();
      decoders.emplace_back(reader->LinkType());
    }
    opened = true;
  }

  std::string Run(DaemonEvents& events);

 private:
  // Runs the updates and expiries due up to `now_us`, in time order; an update comes before
  // expiries at the same time. Across a stretch without packets or purges one empty update is
  // delivered; the boundaries after it are skipped up to the next packet or expiry, so a gap of
  // days in a capture (or a timestamp far off in a broken one) costs nothing.
  void Advance(uint64_t now_us, DaemonEvents& events);
  void Update(uint64_t time_us, DaemonEvents& events);

 public:
  std::vector<InterfaceSpec> specs;
  TrackerSettings settings;
  kvFlowMap flow_map;
  std::map<std::string, std::shared_ptr<kvInterface>> interfaces;

 private:
  std::vector<std::string> names;  // interface names in the order of the files
  std::vector<TrackedInterface> tracked;
  std::vector<std::unique_ptr<CaptureReader>> readers;
  std::vector<PacketDecoder> decoders;
  std::unique_ptr<FlowTracker> tracker;
  bool opened = false;
  bool ran = false;

  uint64_t interval_us = 0;
  uint64_t first_us = 0;
  uint64_t next_update_us = 0;
  uint64_t previous_live = 0;
  uint64_t frames = 0;            // frames read so far
  uint64_t frames_at_update = 0;  // frames read at the previous update
  uint64_t purged_at_update = 0;  // flows purged at the previous update
  bool previous_empty = false;    // the previous update's interval had no frame and no purge
  ProcessUsage previous_usage;
};

std::string CaptureRun::Run(DaemonEvents& events) {
  Open();
  if (ran) return "";
  ran = true;

  std::vector<bool> pending(readers.size(), false);
  std::string error;
  for (size_t i = 0; i < readers.size() && error.empty(); i++) {
    pending[i] = readers[i]->Next();
    if (!readers[i]->Error().empty()) error = readers[i]->File() + ": " + readers[i]->Error();
  }

  bool started = false;
  uint64_t clock_us = 0;
  DecodedPacket packet;
  while (error.empty()) {
    size_t next = readers.size();
    for (size_t i = 0; i < readers.size(); i++) {
      if (pending[i] &&
          (next == readers.size() || readers[i]->TimeUs() < readers[next]->TimeUs())) {
        next = i;
      }
    }
    if (next == readers.size()) break;
    CaptureReader& reader = *readers[next];

    // Packets out of order do not move the clock back.
    const uint64_t now_us = std::max(clock_us, reader.TimeUs());
    if (!started) {
      started = true;
      first_us = now_us;
      next_update_us = now_us + interval_us;
    }
    events.Clock(now_us);
    Advance(now_us, events);
    clock_us = now_us;

    frames++;
    const uint32_t iface = static_cast<uint32_t>(next);
    const DecodeResult result = decoders[next].Decode(
        reader.Data(), reader.CapturedLength(), reader.WireLength(), packet, tracked[next].stats);
    if (result == DecodeResult::kFlow) {
      tracker->Track(iface, packet, reader.WireLength(), now_us, events);
    }

    pending[next] = reader.Next();
    if (!reader.Error().empty()) error = reader.File() + ": " + reader.Error();
  }

  // The end of the input (or the damage): a last update, then every remaining flow expires.
  if (!started) first_us = clock_us;
  Update(clock_us, events);
  tracker->ExpireAll(events);
  return error;
}

void CaptureRun::Advance(uint64_t now_us, DaemonEvents& events) {
  for (;;) {
    const uint64_t expiry = tracker->NextExpiry();
    if (next_update_us <= now_us && next_update_us <= expiry) {
      const bool empty = frames == frames_at_update && tracker->FlowsPurged() == purged_at_update;
      if (empty && previous_empty) {
        // Nothing happens before the next packet or expiry: on to the first boundary after it.
        const uint64_t activity = std::min(now_us, expiry);
        next_update_us += ((activity - next_update_us) / interval_us + 1) * interval_us;
        continue;
      }
      previous_empty = empty;
      Update(next_update_us, events);
      next_update_us += interval_us;
      continue;
    }
    if (expiry < now_us) {
      tracker->ExpireIdle(std::min(now_us, next_update_us), events);
      continue;
    }
    return;
  }
}

void CaptureRun::Update(uint64_t time_us, DaemonEvents& events) {
  UpdateRecords update{flow_map, interfaces, {}, {}, {}, time_us / kMicrosPerMilli, {}};
  const FlowCounts counts = tracker->PublishUpdate(update.ready, events);

  update.interface_stats.reserve(tracked.size());
  for (size_t i = 0; i < tracked.size(); i++) {
    update.interface_stats.emplace_back(names[i], tracked[i].stats);
    AddCounters(update.global_stats, tracked[i].stats);
    tracked[i].stats = kvPacketStats{};
  }

  const ProcessUsage usage = ReadProcessUsage();
  kvInstanceStatus& status = update.status;
  status.cpu_cores = usage.cpu_cores;
  status.ts_epoch = static_cast<uint32_t>(first_us / kMicrosPerSecond);
  status.ts_now = static_cast<uint32_t>(time_us / kMicrosPerSecond);
  status.uptime = static_cast<uint32_t>((time_us - std::min(time_us, first_us)) / kMicrosPerSecond);
  status.flow_count = counts.live;
  status.flow_count_prev = previous_live;
  status.flows_purged = counts.purged;
  status.flows_expiring = counts.expiring;
  status.flows_expired = counts.expired;
  status.flows_active = counts.active;
  status.flows_in_use = counts.live;
  status.cpu_user = usage.cpu_user;
  status.cpu_user_prev = previous_usage.cpu_user;
  status.cpu_system = usage.cpu_system;
  status.cpu_system_prev = previous_usage.cpu_system;
  status.maxrss_kb = usage.maxrss_kb;
  status.maxrss_kb_prev = previous_usage.maxrss_kb;
  status.memrss_kb = usage.memrss_kb;
  status.memrss_kb_prev = previous_usage.memrss_kb;
  previous_live = counts.live;
  frames_at_update = frames;
  purged_at_update = tracker->FlowsPurged();
  previous_usage = usage;

  events.Update(update);
  tracker->UpdateDelivered();
}

CaptureSource::CaptureSource(std::vector<InterfaceSpec> interfaces, TrackerSettings settings,
                             size_t buckets)
    : run(std::make_unique<CaptureRun>(std::move(interfaces), std::move(settings), buckets)) {}

CaptureSource::~CaptureSource() = default;

void CaptureSource::Open() {
  run->Open();
}

std::string CaptureSource::Run(DaemonEvents& events) {
  return run->Run(events);
}

kvFlowMap& CaptureSource::FlowMap() {
  return run->flow_map;
}

std::map<std::string, std::shared_ptr<kvInterface>>& CaptureSource::Interfaces() {
  return run->interfaces;
}

}  // namespace capture

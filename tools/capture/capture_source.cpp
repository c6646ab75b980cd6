// CaptureSource: sets up the interfaces, then hands each packet of the merged files to its
// decoder, the update cycle and the tracker.
#include "tools/capture/capture_source.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tools/capture/decode/packet_decoder.h"
#include "tools/capture/constants.h"
#include "tools/capture/read/capture_merge.h"
#include "tools/capture/read/interface_addresses.h"
#include "tools/capture/read/live_interface.h"
#include "tools/capture/track/flow_tracker.h"
#include "tools/capture/track/update_cycle.h"

namespace capture {

// Everything one source holds; used by the thread that calls Open and Run.
class CaptureRun {
 public:
  CaptureRun(std::vector<InterfaceSpec> specs, const TrackerSettings& settings, size_t buckets)
      : flow_map(buckets) {
    tracked.reserve(specs.size());
    for (InterfaceSpec& spec : specs) {
      const std::string name = InterfaceName(spec);
      if (interfaces.count(name)) throw CaptureError(name, "interface named twice");
      if (!tracked.empty() && spec.live != live_run) {
        throw CaptureError(name, "live interfaces and capture files cannot be played together");
      }
      live_run = spec.live;
      auto record = std::make_shared<kvInterface>(name, spec.role);
      record->capture_type =
          spec.live ? kvInterface::CAPTURE_PCAP : kvInterface::CAPTURE_PCAP_OFFLINE;
      if (!spec.live) record->capture_file = spec.file;
      if (spec.live && spec.addrs.empty()) spec.addrs = InterfaceAddresses(spec.file);
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
      tracked.push_back(std::move(iface));
      if (spec.live) {
        live.push_back(std::make_unique<LiveInterface>(spec.file, spec.live_settings));
      } else {
        files.Add(std::make_unique<CaptureReader>(spec));
        spec.stream = nullptr;  // the reader owns it now
      }
    }
    tracker = std::make_unique<FlowTracker>(settings, flow_map, tracked);
    cycle = std::make_unique<UpdateCycle>(settings.update_interval_s, *tracker, flow_map,
                                          interfaces, tracked);
  }

  void Open() {
    if (opened) return;
    for (size_t i = 0; i < Sources(); i++) {
      PacketSource& reader = Source(i);
      reader.Open();
      if (!PacketDecoder::Supports(reader.LinkType())) {
        throw CaptureError(reader.File(), "unsupported link type " + reader.LinkTypeName() + " (" +
                                              std::to_string(reader.LinkType()) + ")");
      }
      decoders.emplace_back(reader.LinkType());
    }
    opened = true;
  }

  std::string Run(DaemonEvents& events);
  std::string RunLive(DaemonEvents& events, LiveControl& control);

  std::vector<std::string> Warnings() const {
    std::vector<std::string> all;
    for (const auto& iface : live) all.insert(all.end(), iface->Warnings().begin(),
                                              iface->Warnings().end());
    return all;
  }
  bool IsLive() const { return live_run; }

  kvFlowMap flow_map;
  std::map<std::string, std::shared_ptr<kvInterface>> interfaces;

 private:
  size_t Sources() const { return live_run ? live.size() : files.Size(); }
  PacketSource& Source(size_t index) {
    return live_run ? static_cast<PacketSource&>(*live[index]) : files.Reader(index);
  }
  // One packet of source `index` played at the clock (which it moves on, never back).
  void Play(size_t index, uint64_t& clock_us, DaemonEvents& events);
  // A live capture's losses since the previous update, added to its interfaces' counters.
  void TakeLosses();
  // The interfaces' descriptors to poll, in their order.
  std::vector<pollfd> LiveFds() const;
  // At a stop (`stop_us`): plays every packet that waits on the interfaces, up to the first
  // captured after the stop (so that a flood cannot hold the stop back).
  void DrainLive(uint64_t stop_us, uint64_t& clock_us, DaemonEvents& events,
                 LiveFigures& figures);

  std::vector<TrackedInterface> tracked;  // in the order of the files or interfaces
  bool live_run = false;                  // the interfaces are live ones, not files
  CaptureMerge files;
  std::vector<std::unique_ptr<LiveInterface>> live;
  uint64_t live_dropped = 0;  // frames the live captures lost so far
  std::vector<PacketDecoder> decoders;
  DecodedPacket packet;
  std::unique_ptr<FlowTracker> tracker;
  std::unique_ptr<UpdateCycle> cycle;
  bool opened = false;
  bool ran = false;
};

std::string CaptureRun::Run(DaemonEvents& events) {
  Open();
  if (ran) return "";
  ran = true;

  uint64_t clock_us = 0;
  for (size_t next; (next = files.Next()) != CaptureMerge::kEnd;) Play(next, clock_us, events);

  // The end of the input (or the damage): a last update, then every remaining flow expires.
  cycle->Finish(clock_us, events);
  return files.Error();
}

void CaptureRun::Play(size_t index, uint64_t& clock_us, DaemonEvents& events) {
  PacketSource& reader = Source(index);
  // Packets out of order do not move the clock back.
  const uint64_t now_us = std::max(clock_us, reader.TimeUs());
  events.Clock(now_us);
  cycle->Frame(now_us, events);
  clock_us = now_us;

  const DecodeResult result = decoders[index].Decode(
      reader.Data(), reader.CapturedLength(), reader.WireLength(), packet, tracked[index].stats);
  if (result == DecodeResult::kFlow) {
    tracker->Track(static_cast<uint32_t>(index), packet, reader.WireLength(), now_us, events);
  }
}

void CaptureRun::TakeLosses() {
  for (size_t i = 0; i < live.size(); i++) {
    const CaptureLosses losses = live[i]->TakeLosses();
    tracked[i].stats.pkt_capture_dropped += losses.dropped;
    tracked[i].stats.pkt_capture_filtered += losses.filtered;
    live_dropped += losses.dropped;
  }
}

std::vector<pollfd> CaptureRun::LiveFds() const {
  std::vector<pollfd> fds;
  for (const auto& iface : live) fds.push_back(pollfd{iface->SelectableFd(), POLLIN, 0});
  return fds;
}

void CaptureRun::DrainLive(uint64_t stop_us, uint64_t& clock_us, DaemonEvents& events,
                           LiveFigures& figures) {
  // The kernel hands a block of packets over when it is full or its timeout has passed: the
  // last block captured before the stop comes within a timeout; a wait of two that brings
  // nothing means everything captured is read.
  std::vector<pollfd> fds = LiveFds();
  std::vector<bool> done(live.size(), false);
  while (poll(fds.data(), fds.size(), 2 * kLiveTimeoutMs) > 0) {
    bool more = false;
    for (size_t i = 0; i < live.size(); i++) {
      if (done[i] || fds[i].revents == 0) continue;
      while (live[i]->Next()) {
        Play(i, clock_us, events);
        figures.packets++;
        more = true;
        if (live[i]->TimeUs() > stop_us) {
          done[i] = true;
          fds[i].fd = -1;  // poll skips it from now on
          break;
        }
      }
    }
    if (!more) break;  // readable without packets: an error, told by the next read
  }
}

std::string CaptureRun::RunLive(DaemonEvents& events, LiveControl& control) {
  Open();
  if (ran) return "";
  ran = true;

  uint64_t clock_us = control.NowUs() - kLiveClockLagUs;
  cycle->StartLive(clock_us);
  cycle->SetBeforeUpdate([this] { TakeLosses(); });
  // The interfaces' descriptors, then the control's.
  std::vector<pollfd> fds = LiveFds();
  fds.push_back(pollfd{control.WakeFd(), POLLIN, 0});
  pollfd& wake = fds.back();

  LiveFigures figures;
  uint64_t next_beat = clock_us + kLiveHeartbeatUs;
  std::string error;
  // The cycle's clock: the wall clock kLiveClockLagUs ago, or the latest packet's time.
  const auto lagged = [&control] { return control.NowUs() - kLiveClockLagUs; };
  for (bool stop = false; !stop && error.empty();) {
    const uint64_t now_us = std::max(clock_us, lagged());
    const uint64_t due_us = std::min(cycle->NextDueUs(), next_beat);
    // Rounded up, so that the wait does not end just before what it waits for.
    const uint64_t wait_ms = due_us > now_us ? (due_us - now_us + kMicrosPerMilli - 1) /
                                                   kMicrosPerMilli
                                             : 0;
    const int timeout =
        static_cast<int>(std::min<uint64_t>(wait_ms, kLiveHeartbeatUs / kMicrosPerMilli));
    if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) {
      error = std::string("poll: ") + std::strerror(errno);
      break;
    }
    // The packets waiting came before now: they are played before the clock moves on.
    for (size_t i = 0; i < live.size(); i++) {
      if (fds[i].revents == 0) continue;
      LiveInterface& iface = *live[i];
      int read = 0;
      for (; read < kLiveBatchPackets && iface.Next(); read++) Play(i, clock_us, events);
      figures.packets += static_cast<uint64_t>(read);
      if (!iface.Error().empty()) {
        error = iface.File() + ": " + iface.Error();
      } else if (read == 0 && (fds[i].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
        error = iface.File() + ": the capture ended";
      }
    }
    if (wake.fd >= 0 && wake.revents != 0 && control.Woken()) {
      stop = true;
      DrainLive(control.NowUs(), clock_us, events, figures);
    }

    clock_us = std::max(clock_us, lagged());
    cycle->Advance(clock_us, events);
    if (clock_us >= next_beat) {
      figures.flows = tracker->LiveFlows();
      figures.dropped = live_dropped;
      control.Heartbeat(figures);
      next_beat = clock_us + kLiveHeartbeatUs;
    }
  }

  // Stopped (or an interface failed): a last update at the clock's time, then every flow expires.
  cycle->Finish(std::max(clock_us, control.NowUs()), events);
  return error;
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

std::string CaptureSource::RunLive(DaemonEvents& events, LiveControl& control) {
  return run->RunLive(events, control);
}

bool CaptureSource::Live() const {
  return run->IsLive();
}

std::vector<std::string> CaptureSource::Warnings() const {
  return run->Warnings();
}

kvFlowMap& CaptureSource::FlowMap() {
  return run->flow_map;
}

std::map<std::string, std::shared_ptr<kvInterface>>& CaptureSource::Interfaces() {
  return run->interfaces;
}

}  // namespace capture

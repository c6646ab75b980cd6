// CaptureSource: plays capture files as the daemon would see them: flows, updates and expiries.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "kv/flow_map.h"
#include "kv/interface.h"
#include "tools/capture/capture_error.h"
#include "tools/capture/live_control.h"
#include "tools/capture/read/interface_spec.h"
#include "tools/capture/track/daemon_events.h"
#include "tools/capture/track/tracker_settings.h"

namespace capture {

class CaptureRun;

// Plays capture files, or captures live on network interfaces (InterfaceSpec::live; the two are
// not mixed). Used by one thread, the one that calls Open and Run; the plugin's worker reads the
// records it hands out under their locks.
class CaptureSource {
 public:
  // Throws CaptureError for an interface address or local network that does not parse
  // ("ADDR: not an address", "CIDR: not a network").
  CaptureSource(std::vector<InterfaceSpec> interfaces, TrackerSettings settings, size_t buckets);
  ~CaptureSource();
  CaptureSource(const CaptureSource&) = delete;
  CaptureSource& operator=(const CaptureSource&) = delete;

  // Opens every file or interface; throws CaptureError("FILE: reason") for a missing file, a
  // file that is not a capture, an unsupported link type, an interface that does not exist or
  // may not be captured on, a filter that does not compile, before anything is played.
  void Open();
  bool Live() const;
  // libpcap's warnings about the live interfaces opened ("IFACE: text").
  std::vector<std::string> Warnings() const;

  // Plays every packet in timestamp order across the files, with the updates, expiries, the last
  // update and the final expiry of every remaining flow. A file damaged in the middle: everything
  // read before the damage is played and delivered in full (including the last update and the
  // final purges), then the error is returned ("FILE: reason"); "" when all went well. Open
  // first.
  std::string Run(DaemonEvents& events);

  // Captures on the live interfaces until `control` asks to stop (or an interface fails), on the
  // wall clock: every update interval brings an update, packets or not; the idle times and the
  // linger run on it too. Each update's interface counters carry the capture's losses since the
  // previous one (capture_dropped). Then a last update and the purge of every flow, as at the
  // end of a file. Returns "IFACE: reason" when an interface failed, "" when stopped. Open first.
  std::string RunLive(DaemonEvents& events, LiveControl& control);

  kvFlowMap& FlowMap();
  // The interfaces by name, in the order of the names; their records exist from construction.
  std::map<std::string, std::shared_ptr<kvInterface>>& Interfaces();

 private:
  std::unique_ptr<CaptureRun> run;
};

}  // namespace capture

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
#include "tools/capture/read/interface_spec.h"
#include "tools/capture/track/daemon_events.h"
#include "tools/capture/track/tracker_settings.h"

namespace capture {

class CaptureRun;

// Used by one thread, the one that calls Open and Run; the plugin's worker reads the records it
// hands out under their locks.
class CaptureSource {
 public:
  // Throws CaptureError for an interface address or local network that does not parse
  // ("ADDR: not an address", "CIDR: not a network").
  CaptureSource(std::vector<InterfaceSpec> interfaces, TrackerSettings settings, size_t buckets);
  ~CaptureSource();
  CaptureSource(const CaptureSource&) = delete;
  CaptureSource& operator=(const CaptureSource&) = delete;

  // Opens every file; throws CaptureError("FILE: reason") for a missing file, a file that is not
  // a capture, an unsupported link type, before anything is played.
  void Open();

  // Plays every packet in timestamp order across the files, with the updates, expiries, the last
  // update and the final expiry of every remaining flow. A file damaged in the middle: everything
  // read before the damage is played and delivered in full (including the last update and the
  // final purges), then the error is returned ("FILE: reason"); "" when all went well. Open
  // first.
  std::string Run(DaemonEvents& events);

  kvFlowMap& FlowMap();
  // The interfaces by name, in the order of the names; their records exist from construction.
  std::map<std::string, std::shared_ptr<kvInterface>>& Interfaces();

 private:
  std::unique_ptr<CaptureRun> run;
};

}  // namespace capture

// LiveControl: what a live capture asks of the one running it: the clock, wake-ups, figures.
#pragma once

#include <cstdint>

namespace capture {

// What a live capture has seen so far.
struct LiveFigures {
  uint64_t packets = 0;  // frames read on every interface
  uint64_t flows = 0;    // flows in the table now
  uint64_t dropped = 0;  // frames the captures lost (buffer and interface drops)
};

// Called by the thread that runs CaptureSource::RunLive, one call at a time.
class LiveControl {
 public:
  virtual ~LiveControl() = default;
  // The wall clock, microseconds since the epoch.
  virtual uint64_t NowUs() = 0;
  // A descriptor the capture waits on beside its interfaces; when it is readable, Woken() is
  // called. -1: none.
  virtual int WakeFd() = 0;
  // The wake descriptor is readable (a signal came); true when the capture is to stop.
  virtual bool Woken() = 0;
  // Called about once a second (kLiveHeartbeatUs), packets or not: flushing, progress.
  virtual void Heartbeat(const LiveFigures& figures) = 0;
};

}  // namespace capture

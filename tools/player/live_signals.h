// LiveSignals: SIGINT, SIGTERM and SIGHUP turned into bytes on a pipe a live capture waits on.
#pragma once

namespace replay {

// What the signals since the last Take() ask for.
struct SignalRequests {
  bool stop = false;    // SIGINT or SIGTERM: stop the capture, deliver the rest, exit 0
  bool reload = false;  // SIGHUP: reload the configuration, reopen the output files
};

// One per process; main thread. While it exists the handlers write one byte per signal to a
// pipe (a self-pipe: all they do is async-signal-safe); a SIGINT after a stop was asked for ends
// the process at once with status 130. The destructor puts the default actions back.
class LiveSignals {
 public:
  // Throws std::runtime_error when the pipe or a handler cannot be set up.
  LiveSignals();
  ~LiveSignals();
  LiveSignals(const LiveSignals&) = delete;
  LiveSignals& operator=(const LiveSignals&) = delete;

  // Readable when a signal has come.
  int Fd() const;
  // Reads what came since the last call, without waiting.
  SignalRequests Take();
};

}  // namespace replay

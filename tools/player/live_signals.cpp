// LiveSignals: the handlers write the signal's byte to a non-blocking pipe; Take reads them.
#include "tools/player/live_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <stdexcept>
#include <string>

#include "tools/constants.h"

namespace replay {

namespace {

// Written by the handlers, read by the main thread; the pipe's ends are set before the handlers
// are installed and closed after they are taken away.
volatile sig_atomic_t stopping = 0;  // a stop was asked for
int pipe_read = -1;
int pipe_write = -1;

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

void OnSignal(int signal) {
  const int saved = errno;
  if (signal != SIGHUP) {
    if (stopping != 0 && signal == SIGINT) _exit(kExitInterrupted);
    stopping = 1;
  }
  const char byte = static_cast<char>(signal);
  // A full pipe already holds a byte that wakes the capture; losing this one loses nothing, as
  // `stopping` tells a stop on its own.
  [[maybe_unused]] const ssize_t written = write(pipe_write, &byte, 1);
  errno = saved;
}

std::string Failure(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

LiveSignals::LiveSignals() {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error(Failure("pipe"));
  pipe_read = ends[0];
  pipe_write = ends[1];
  stopping = 0;
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : kSignals) {
    if (sigaction(signal, &action, nullptr) != 0) throw std::runtime_error(Failure("sigaction"));
  }
}

LiveSignals::~LiveSignals() {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (int signal : kSignals) sigaction(signal, &action, nullptr);
  close(pipe_read);
  close(pipe_write);
  pipe_read = pipe_write = -1;
}

int LiveSignals::Fd() const {
  return pipe_read;
}

SignalRequests LiveSignals::Take() {
  SignalRequests requests;
  char bytes[64];
  for (ssize_t got; (got = read(pipe_read, bytes, sizeof bytes)) > 0;) {
    for (ssize_t i = 0; i < got; i++) {
      if (bytes[i] == static_cast<char>(SIGHUP)) requests.reload = true;
    }
  }
  requests.stop = stopping != 0;
  return requests;
}

}  // namespace replay

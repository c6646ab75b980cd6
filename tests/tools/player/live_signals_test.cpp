// The signals of a live capture: what each asks for, and the second SIGINT that ends the process.
#include <gtest/gtest.h>
#include <poll.h>

#include <csignal>
#include <vector>

#include "tools/constants.h"
#include "tools/player/live_signals.h"

namespace {

using replay::LiveSignals;
using replay::SignalRequests;

bool Readable(int fd) {
  pollfd entry{fd, POLLIN, 0};
  return poll(&entry, 1, 0) == 1;
}

struct SignalCase {
  const char* name;
  std::vector<int> signals;
  bool stop;
  bool reload;
};

TEST(LiveSignals, EachSignalWakesTheCaptureAndAsksForItsWork) {
  const SignalCase cases[] = {
      {"SIGTERM stops", {SIGTERM}, true, false},
      {"SIGINT stops", {SIGINT}, true, false},
      {"SIGHUP reloads", {SIGHUP}, false, true},
      {"two SIGHUPs are one reload", {SIGHUP, SIGHUP}, false, true},
      {"SIGHUP then SIGTERM", {SIGHUP, SIGTERM}, true, true},
  };
  for (const SignalCase& c : cases) {
    LiveSignals signals;
    EXPECT_FALSE(Readable(signals.Fd())) << c.name;
    for (int signal : c.signals) std::raise(signal);
    EXPECT_TRUE(Readable(signals.Fd())) << c.name;
    const SignalRequests requests = signals.Take();
    EXPECT_EQ(requests.stop, c.stop) << c.name;
    EXPECT_EQ(requests.reload, c.reload) << c.name;
    EXPECT_FALSE(Readable(signals.Fd())) << c.name;
  }
}

TEST(LiveSignals, ASecondSigintWhileStoppingEndsTheProcessAtOnce) {
  EXPECT_EXIT(
      {
        LiveSignals signals;
        std::raise(SIGTERM);
        std::raise(SIGINT);
        std::_Exit(0);  // not reached
      },
      ::testing::ExitedWithCode(replay::kExitInterrupted), "");
  // A SIGTERM after the stop does not: the stop goes on.
  EXPECT_EXIT(
      {
        LiveSignals signals;
        std::raise(SIGINT);
        std::raise(SIGTERM);
        std::_Exit(signals.Take().stop ? 7 : 8);
      },
      ::testing::ExitedWithCode(7), "");
}

}  // namespace

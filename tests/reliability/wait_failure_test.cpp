// A failure of the worker's own wait ends the worker with its exception, and from then on the
// daemon's flow events are no longer queued: the queue and the flows it held are released.
// The failure is injected by standing in for pthread_cond_timedwait in this test program.
#include <dlfcn.h>
#include <pthread.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "kv/flow_map.h"
#include "kv/global_config.h"
#include "kv/interface.h"
#include "plugin/plugin.h"
#include "reliability/plugin_runner.h"
#include "support/flows.h"
#include "support/log_capture.h"
#include "support/wait.h"

// The sanitizers stand in for pthread_cond_timedwait themselves; a stand-in here would hide the
// waits of the whole program from them, so the test runs in the plain builds only.
#ifndef KORVEL_SANITIZED

namespace {

// The condition variable whose wait is to fail, and the handshake with the test: `entered` once
// the worker is in the failing wait, which returns EINVAL when `release` is set.
std::atomic<pthread_cond_t*> failing_cond{nullptr};
std::atomic<bool> entered{false};
std::atomic<bool> release{false};

using TimedWait = int (*)(pthread_cond_t*, pthread_mutex_t*, const struct timespec*);

}  // namespace

// Every other wait of the process goes to the C library's own.
extern "C" int pthread_cond_timedwait(pthread_cond_t* cond, pthread_mutex_t* mutex,
                                      const struct timespec* deadline) {
  if (cond == failing_cond.load()) {
    entered.store(true);
    while (!release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return EINVAL;
  }
  static const auto next = reinterpret_cast<TimedWait>(dlsym(RTLD_NEXT, "pthread_cond_timedwait"));
  return next(cond, mutex, deadline);
}

namespace {

using korvel_test::LogCapture;
using korvel_test::MakeFlow;
using korvel_test::MakeInterface;
using korvel_test::WaitUntil;

TEST(WaitFailure, EndsTheWorkerAndStopsTheIntake) {
  kvGlobalConfig::Create();
  LogCapture log(false);
  auto plugin = std::make_unique<korvel_test::PluginRunner>(
      R"({"sinks": {"s": {"c": {"types": ["stream-flows", "legacy-http"]}}}})", "proc");
  auto flow = MakeFlow(MakeInterface("eth0", kvInterface::ROLE_LAN), 1);
  kvFlowMap map(1);
  map.Insert("flow", flow);

  failing_cond.store(&(*plugin)->cond);
  ASSERT_TRUE(WaitUntil([] { return entered.load(); }));
  // Queued while the worker is in its last wait: released when the worker ends.
  for (int i = 0; i < 10; i++) {
    (*plugin)->DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_NEW, flow);
  }
  (*plugin)->DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_MAP, &map);
  EXPECT_EQ(flow.use_count(), 2 + 11);
  release.store(true);
  ASSERT_TRUE(WaitUntil([&] { return log.PrintedLines().size() == 2; }));
  // The daemon logs what left the thread body: the wait's exception, which names the plugin.
  EXPECT_EQ(log.PrintedLines()[1], "proc: proc: pthread_cond_timedwait: Invalid argument\n");
  ASSERT_TRUE(WaitUntil([&] { return flow.use_count() == 2; }));
  failing_cond.store(nullptr);

  // Nothing is queued any more, by either intake.
  for (int i = 0; i < 100; i++) {
    (*plugin)->DispatchProcessorEvent(kvPluginProcessor::EVENT_DPI_UPDATE, flow);
    (*plugin)->DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_MAP, &map);
  }
  EXPECT_EQ(flow.use_count(), 2);
  (*plugin)->Lock();
  EXPECT_TRUE((*plugin)->event_queue.empty());
  (*plugin)->Unlock();
  EXPECT_EQ((*plugin)->channel_types.load(), 0);
  plugin.reset();
  EXPECT_EQ(log.PrintedLines().size(), 2u);
}

}  // namespace

#endif  // KORVEL_SANITIZED

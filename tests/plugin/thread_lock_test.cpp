// How often each kind of worker pass takes the thread lock. The replay tool's sync waits for that
// many acquisitions (tools/constants.h, kLocksPerSync and kLocksPerSyncAfterReload), so one more
// Lock() in a pass must fail here rather than make its golden runs flaky.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "kv/global_config.h"
#include "plugin/plugin.h"
#include "support/flows.h"
#include "support/sink_recorder.h"
#include "support/temp_file.h"
#include "support/wait.h"
#include "tools/constants.h"

namespace {

using korvel_test::WaitUntil;

// How long a worker that went to its wait is left before its lock count is read: far less than
// its one-second wait, far more than the rest of a pass takes.
constexpr std::chrono::milliseconds kSettle{150};

class ThreadLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kvGlobalConfig::Create();
    config.Write(R"({"sinks": {"s": {"c": {"types": ["stream-flows", "stream-stats"]}}}})");
    plugin =
        std::make_unique<kppPlugin>("proc", kvPlugin::Params{{"conf_filename", config.Path()}});
    plugin->Create();
    ASSERT_TRUE(WaitUntil([this] { return !plugin->reload.load(); }));
  }
  void TearDown() override {
    plugin->Terminate();
    plugin->Join();
  }

  // Queues a new-flow event, waits for its document and for the worker to go back to its wait,
  // and returns the thread lock acquisitions the worker made since `before`.
  uint64_t PassAfter(uint64_t before) {
    const size_t calls = sink.Count();
    plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_FLOW_NEW, flow);
    EXPECT_TRUE(WaitUntil([&] { return sink.Count() > calls; }));
    std::this_thread::sleep_for(kSettle);
    return plugin->GetThreadLockCount() - before;
  }

  korvel_test::TempFile config;
  korvel_test::SinkRecorder sink;
  std::unique_ptr<kppPlugin> plugin;
  std::shared_ptr<kvFlow> flow =
      korvel_test::MakeFlow(korvel_test::MakeInterface("eth0", kvInterface::ROLE_LAN), 0xa1);
};

TEST_F(ThreadLockTest, EachKindOfPassTakesTheLockAFixedNumberOfTimes) {
  // Brings the worker to a known point: just gone to its wait after a pass.
  PassAfter(0);
  uint64_t count = plugin->GetThreadLockCount();

  // A pass that takes over a batch, then the pass that finds the queue empty and waits.
  uint64_t taken = PassAfter(count);
  EXPECT_EQ(taken, 2u);
  EXPECT_EQ(taken, replay::kLocksPerSync);
  count += taken;

  // Ending an update adds one: the dropped-events count is read under the lock.
  plugin->DispatchProcessorEvent(kvPluginProcessor::EVENT_UPDATE_COMPLETE);
  taken = PassAfter(count);
  EXPECT_EQ(taken, 3u);
  EXPECT_FALSE(plugin->dispatch_pending.load());
  count += taken;

  // A reload installs the configuration under the lock once more.
  plugin->DispatchEvent(kvPlugin::EVENT_RELOAD);
  taken = PassAfter(count);
  EXPECT_EQ(taken, 3u);
  EXPECT_EQ(taken, replay::kLocksPerSyncAfterReload);
  EXPECT_FALSE(plugin->reload.load());
}

}  // namespace

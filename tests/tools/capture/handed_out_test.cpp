// HandedOut: waiting for the plugin's side to let go of handed-out flows; and the recording
// daemon side of these tests catching a record changed while handed out.
#include "tools/capture/handed_out.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "tests/tools/capture/recorder.h"

namespace capture_test {
namespace {

using capture::HandedOut;

// Drops `held` on another thread after a moment, as a worker finishing its batch.
std::thread ReleaseLater(std::shared_ptr<kvFlow>& held, std::atomic<bool>& released) {
  return std::thread([&held, &released] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    released = true;
    held.reset();
  });
}

TEST(HandedOutTest, WaitReturnsOnceThePluginSideLetGo) {
  // The daemon side holds two references (its table and the flow map).
  auto flow = std::make_shared<kvFlow>();
  auto map_copy = flow;
  HandedOut handed;
  handed.Add(flow);
  auto queued = flow;  // the plugin's queue
  handed.Add(flow);    // handed out again (a walk): the first count stays
  std::atomic<bool> released{false};
  std::thread worker = ReleaseLater(queued, released);
  handed.Wait();
  EXPECT_TRUE(released.load());
  EXPECT_TRUE(handed.Empty());
  worker.join();
  EXPECT_EQ(flow.use_count(), 2);
}

TEST(HandedOutTest, WeakEntriesAndFlowsThatAreGone) {
  auto flow = std::make_shared<kvFlow>();
  HandedOut handed;
  handed.Add(std::weak_ptr<kvFlow>(flow));
  auto queued = flow;
  EXPECT_FALSE(handed.Released());
  std::atomic<bool> released{false};
  std::thread worker = ReleaseLater(queued, released);
  handed.Wait();
  EXPECT_TRUE(released.load());
  worker.join();

  // A flow destroyed altogether is let go.
  auto purged = std::make_shared<kvFlow>();
  handed.Add(purged);
  purged.reset();
  EXPECT_EQ(handed.Size(), 1u);
  handed.Wait();
  EXPECT_TRUE(handed.Released());
}

TEST(HandedOutTest, TheRecorderCatchesARecordChangedWhileHandedOut) {
  auto flow = std::make_shared<kvFlow>();
  flow->iface = std::make_shared<kvInterface>("lan0");
  EXPECT_NONFATAL_FAILURE(
      {
        Recorder recorder;
        recorder.FlowEvent(kvPluginProcessor::EVENT_FLOW_NEW, flow);
        flow->stats.lower_bytes = 7;
        recorder.Finish();
      },
      "flow f1 changed while handed out (seen at end of run)");
  // After a settle the record may change.
  Recorder recorder;
  recorder.FlowEvent(kvPluginProcessor::EVENT_FLOW_NEW, flow);
  recorder.Settle();
  flow->stats.lower_bytes = 8;
  recorder.Finish();
}

}  // namespace
}  // namespace capture_test

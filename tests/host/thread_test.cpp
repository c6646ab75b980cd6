// Tests of kvThread: starting, stopping and joining, exceptions leaving Entry, the lock counter.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "kv/exception.h"
#include "kv/thread.h"
#include "support/log_capture.h"
#include "support/wait.h"

namespace {

// Runs `body` as its Entry and joins in its destructor, before the body's captures go away.
class BodyThread : public kvThread {
 public:
  BodyThread(const std::string& tag_, std::function<void(BodyThread&)> body_)
      : kvThread(tag_), body(std::move(body_)) {}
  ~BodyThread() override { Join(); }

  void* Entry() override {
    body(*this);
    return nullptr;
  }

 private:
  std::function<void(BodyThread&)> body;
};

void LockTimes(kvThread& thread, int times) {
  for (int i = 0; i < times; i++) {
    thread.Lock();
    thread.Unlock();
  }
}

TEST(ThreadTest, EntryRunsUntilTerminateAndJoinWaitsForIt) {
  int passes = 0;
  bool returned = false;
  BodyThread thread("worker", [&](BodyThread& self) {
    while (!self.ShouldTerminate()) {
      self.Lock();
      passes++;
      self.Unlock();
    }
    returned = true;
  });
  EXPECT_FALSE(thread.ShouldTerminate());
  thread.Create();
  EXPECT_TRUE(korvel_test::WaitUntil([&] { return thread.GetThreadLockCount() >= 3; }));
  thread.Terminate();
  EXPECT_TRUE(thread.ShouldTerminate());
  thread.Join();
  EXPECT_TRUE(returned);
  EXPECT_GE(passes, 3);
  thread.Join();  // a second join returns at once
}

TEST(ThreadTest, JoinWithoutCreateReturnsAndCreateTwiceThrows) {
  BodyThread idle("idle", [](BodyThread&) { FAIL() << "never started"; });
  idle.Join();
  EXPECT_EQ(idle.GetTag(), "idle");
  EXPECT_EQ(idle.GetThreadLockCount(), 0u);

  BodyThread thread("twice", [](BodyThread&) {});
  thread.Create();
  try {
    thread.Create();
    FAIL() << "second Create did not throw";
  } catch (const kvException& e) {
    EXPECT_EQ(std::string(e.what()), std::string("twice: pthread_create: ") + strerror(EALREADY));
  }
}

TEST(ThreadTest, ExceptionLeavingEntryIsLoggedOnceWithTheTag) {
  const std::pair<std::function<void(BodyThread&)>, const char*> cases[] = {
      {[](BodyThread&) { throw std::runtime_error("disk on fire"); }, "proc-core: disk on fire\n"},
      {[](BodyThread&) { throw kvException("%s: %d", "code", 42); }, "proc-core: code: 42\n"},
      {[](BodyThread&) { throw std::string("bad filter"); }, "proc-core: bad filter\n"},
  };
  for (const auto& [body, line] : cases) {
    korvel_test::LogCapture log(false);
    {
      BodyThread thread("proc-core", body);
      thread.Create();
      thread.Join();
    }
    EXPECT_EQ(log.Lines(), std::vector<std::string>{line});
    EXPECT_EQ(log.PrintedLines(), std::vector<std::string>{line});
  }
}

TEST(ThreadTest, LockCounterCountsEveryAcquisitionOfTheStartedThreadOnly) {
  BodyThread thread("counter", [](BodyThread& self) { LockTimes(self, 3); });
  LockTimes(thread, 2);  // before Create: the host's own acquisitions
  EXPECT_EQ(thread.GetThreadLockCount(), 0u);
  thread.Create();
  thread.Join();
  EXPECT_EQ(thread.GetThreadLockCount(), 3u);
  LockTimes(thread, 2);  // after the thread ended, from the host again
  EXPECT_EQ(thread.GetThreadLockCount(), 3u);

  // A body taking the lock at once: none of its acquisitions may be missed, however early.
  for (int round = 0; round < 200; round++) {
    BodyThread early("early", [](BodyThread& self) { LockTimes(self, 1); });
    early.Create();
    early.Join();
    ASSERT_EQ(early.GetThreadLockCount(), 1u) << "round " << round;
  }
}

TEST(ThreadTest, LockExcludesTheOtherThread) {
  int counter = 0;
  auto add = [&counter](kvThread& thread) {
    for (int i = 0; i < 100000; i++) {
      thread.Lock();
      counter++;
      thread.Unlock();
    }
  };
  BodyThread thread("adder", add);
  thread.Create();
  add(thread);
  thread.Join();
  EXPECT_EQ(counter, 200000);
  EXPECT_EQ(thread.GetThreadLockCount(), 100000u);
}

}  // namespace

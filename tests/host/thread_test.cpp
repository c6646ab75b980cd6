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
  // Wait for the body to make progress through the lock, then stop it.
  EXPECT_TRUE(korvel_test::WaitUntil([&] { return thread.GetThreadLockCount() >= 3; }));
  thread.Terminate();
  EXPECT_TRUE(thread.ShouldTerminate());
  thread.Join();
  EXPECT_TRUE(returned);
  EXPECT_GE(passes, 3);
  thread.Join();  // a second join returns at once
}

TEST(ThreadTest, JoinWithoutCreateReturnsAtOnce) {
  BodyThread thread("idle", [](BodyThread&) { FAIL() << "never started"; });
  thread.Join();
  EXPECT_EQ(thread.GetTag(), "idle");
  EXPECT_EQ(thread.GetThreadLockCount(), 0u);
}

TEST(ThreadTest, CreateTwiceThrows) {
  BodyThread thread("twice", [](BodyThread&) {});
  thread.Create();
  try {
    thread.Create();
    FAIL() << "second Create did not throw";
  } catch (const kvException& e) {
    EXPECT_EQ(std::string(e.what()), std::string("twice: pthread_create: ") + strerror(EALREADY));
  }
  thread.Join();
}

TEST(ThreadTest, StdExceptionFromEntryIsLoggedOnceWithTheTag) {
  korvel_test::LogCapture log(false);
  bool after = false;
  {
    BodyThread thread("proc-core", [](BodyThread&) { throw std::runtime_error("disk on fire"); });
    thread.Create();
    thread.Join();
    after = true;
  }
  EXPECT_TRUE(after);
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"proc-core: disk on fire\n"});
  EXPECT_EQ(log.PrintedLines(), std::vector<std::string>{"proc-core: disk on fire\n"});
}

TEST(ThreadTest, DaemonExceptionFromEntryIsLoggedWithItsMessage) {
  korvel_test::LogCapture log(false);
  BodyThread thread("proc-core", [](BodyThread&) { throw kvException("%s: %d", "code", 42); });
  thread.Create();
  thread.Join();
  EXPECT_EQ(log.PrintedLines(), std::vector<std::string>{"proc-core: code: 42\n"});
}

TEST(ThreadTest, StringThrownFromEntryIsLogged) {
  korvel_test::LogCapture log(false);
  BodyThread thread("proc-core", [](BodyThread&) { throw std::string("bad filter"); });
  thread.Create();
  thread.Join();
  EXPECT_EQ(log.PrintedLines(), std::vector<std::string>{"proc-core: bad filter\n"});
}

TEST(ThreadTest, LockCounterCountsOnlyTheStartedThread) {
  BodyThread thread("counter", [](BodyThread& self) { LockTimes(self, 3); });
  LockTimes(thread, 2);  // before Create: the host's own acquisitions
  EXPECT_EQ(thread.GetThreadLockCount(), 0u);
  thread.Create();
  thread.Join();
  EXPECT_EQ(thread.GetThreadLockCount(), 3u);
  LockTimes(thread, 2);  // after the thread ended, from the host again
  EXPECT_EQ(thread.GetThreadLockCount(), 3u);
}

TEST(ThreadTest, LockCounterCountsTheFirstAcquisitionsOfTheThread) {
  // The body takes the lock at once; none of its acquisitions may be missed, however early.
  for (int round = 0; round < 200; round++) {
    BodyThread thread("early", [](BodyThread& self) { LockTimes(self, 1); });
    thread.Create();
    thread.Join();
    ASSERT_EQ(thread.GetThreadLockCount(), 1u) << "round " << round;
  }
}

TEST(ThreadTest, LockExcludesTheOtherThread) {
  int counter = 0;
  BodyThread thread("adder", [&](BodyThread& self) {
    for (int i = 0; i < 100000; i++) {
      self.Lock();
      counter++;
      self.Unlock();
    }
  });
  thread.Create();
  for (int i = 0; i < 100000; i++) {
    thread.Lock();
    counter++;
    thread.Unlock();
  }
  thread.Join();
  EXPECT_EQ(counter, 200000);
  EXPECT_EQ(thread.GetThreadLockCount(), 100000u);
}

}  // namespace

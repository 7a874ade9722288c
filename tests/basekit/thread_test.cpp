#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "basekit/thread/platform_thread.h"
#include "basekit/thread/thread.h"
#include "basekit/thread/waitable_event.h"
#include "tests/basekit/threading_test_util.h"

namespace basekit {
namespace {

using testing::NewTask;

TEST(ThreadPriorityTest, MapsToThePlatformPriorities) {
  struct Case {
    ThreadPriority priority;
    bool applied;
    int platform_priority;
  } cases[] = {
      {-5, false, 0}, {0, false, 0}, {1, true, -2}, {2, true, -1},
      {3, true, 2},   {4, true, 15}, {5, true, -1}, {7, true, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.priority);
    int platform_priority = 12345;
    EXPECT_EQ(PlatformPriorityFor(c.priority, &platform_priority), c.applied);
    if (c.applied) {
      EXPECT_EQ(platform_priority, c.platform_priority);
    }
  }
}

class FlagThread : public Thread {
 public:
  // The body uses members of this class: join before they go.
  ~FlagThread() override { JoinAndClose(); }
  void Run() override {
    ran_on = PlatformCurrentThreadId();
    release.Wait();
  }
  WaitableEvent release;
  std::atomic<uint32_t> ran_on{0};
};

TEST(ThreadTest, RunsTheBodyOnANewThreadAndJoinsOnDestruction) {
  uint32_t id = 0;
  {
    FlagThread thread;
    ASSERT_TRUE(thread.Create());
    id = thread.thread_id();
    EXPECT_NE(id, 0u);
    EXPECT_NE(id, PlatformCurrentThreadId());
    thread.release.Signal();
    // The destructor waits for the body to finish.
  }
  EXPECT_NE(id, 0u);
}

// Counts its hooks and records the thread they ran on.
class CountingFrameworkThread : public FrameworkThread {
 public:
  CountingFrameworkThread() : FrameworkThread("test thread") {}
  ~CountingFrameworkThread() override { Stop(); }
  std::atomic<int> inits{0};
  std::atomic<int> cleanups{0};
  std::atomic<bool> loop_was_current{false};

 protected:
  void Init() override {
    ++inits;
    loop_was_current = MessageLoop::Current() == message_loop();
  }
  void CleanUp() override { ++cleanups; }
};

TEST(FrameworkThreadTest, StartHandshakeMakesTheLoopUsableAtOnce) {
  CountingFrameworkThread thread;
  EXPECT_EQ(thread.name(), "test thread");
  ASSERT_TRUE(thread.Start());
  ASSERT_NE(thread.message_loop(), nullptr);
  EXPECT_TRUE(thread.started());
  EXPECT_EQ(thread.inits.load(), 1);
  EXPECT_TRUE(thread.loop_was_current.load());

  WaitableEvent done;
  uint32_t ran_on = 0;
  thread.message_loop()->PostTask(NewTask([&] {
    ran_on = PlatformCurrentThreadId();
    done.Signal();
  }));
  done.Wait();
  EXPECT_EQ(ran_on, thread.thread_id());
  thread.Stop();
  EXPECT_EQ(thread.cleanups.load(), 1);
  EXPECT_EQ(thread.message_loop(), nullptr);
  EXPECT_EQ(thread.thread_id(), 0u);
  EXPECT_FALSE(thread.has_handle());
}

TEST(FrameworkThreadTest, StartWhileRunningStartsNothing) {
  CountingFrameworkThread thread;
  ASSERT_TRUE(thread.Start());
  uint32_t id = thread.thread_id();
  MessageLoop* loop = thread.message_loop();
  EXPECT_TRUE(thread.Start());
  EXPECT_EQ(thread.thread_id(), id);
  EXPECT_EQ(thread.message_loop(), loop);
  EXPECT_EQ(thread.inits.load(), 1);
}

TEST(FrameworkThreadTest, StopIsIdempotentAndTheThreadRestarts) {
  CountingFrameworkThread thread;
  thread.Stop();  // never started
  EXPECT_FALSE(thread.started());

  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE(round);
    ASSERT_TRUE(thread.Start());
    std::atomic<int> ran{0};
    thread.message_loop()->PostTask(NewTask([&] { ++ran; }));
    thread.Stop();
    EXPECT_EQ(ran.load(), 1);
    thread.Stop();  // second Stop: nothing
    EXPECT_FALSE(thread.started());
    EXPECT_EQ(thread.inits.load(), round);
    EXPECT_EQ(thread.cleanups.load(), round);
  }
}

TEST(FrameworkThreadTest, StopRunsEverythingQueuedBeforeTheLoopGoesIdle) {
  CountingFrameworkThread thread;
  ASSERT_TRUE(thread.Start());
  MessageLoop* loop = thread.message_loop();
  std::vector<int> ran;  // touched on the worker only, read after Stop
  // The worker is held until everything is queued: otherwise it may go idle
  // right after the early quit, before the task behind it has been posted.
  WaitableEvent all_posted;
  loop->PostTask(NewTask([&all_posted] { all_posted.Wait(); }));
  for (int i = 0; i < 50; ++i)
    loop->PostTask(NewTask([&ran, i] { ran.push_back(i); }));
  // A quit ahead of Stop's own, and a task that posts more after it.
  loop->PostTask(new ThreadQuitTask);
  loop->PostTask(NewTask([&ran, loop] {
    ran.push_back(50);
    loop->PostTask(NewTask([&ran] { ran.push_back(51); }));
  }));
  all_posted.Signal();
  thread.Stop();
  ASSERT_EQ(ran.size(), 52u);
  for (int i = 0; i < 52; ++i) EXPECT_EQ(ran[i], i);
}

TEST(FrameworkThreadTest, ThreadEndedByItsOwnQuitCanBeStoppedAndRestarted) {
  CountingFrameworkThread thread;
  ASSERT_TRUE(thread.Start());
  thread.message_loop()->PostTask(new ThreadQuitTask);
  // Stop finds the loop gone (or going) and only waits for the thread.
  thread.Stop();
  EXPECT_EQ(thread.cleanups.load(), 1);
  ASSERT_TRUE(thread.Start());
  EXPECT_EQ(thread.inits.load(), 2);
}

TEST(FrameworkThreadTest, PendingTasksAreDeletedUnrunWhenTheLoopEnds) {
  CountingFrameworkThread thread;
  ASSERT_TRUE(thread.Start());
  std::atomic<int> ran{0};
  std::atomic<int> deleted{0};
  thread.message_loop()->PostDelayedTask(
      NewTask([&] { ++ran; }, [&] { ++deleted; }), 60'000);
  thread.Stop();
  EXPECT_EQ(ran.load(), 0);
  EXPECT_EQ(deleted.load(), 1);
}

}  // namespace
}  // namespace basekit

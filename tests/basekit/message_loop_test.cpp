#include <gtest/gtest.h>

#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "basekit/loop/message_loop.h"
#include "basekit/thread/waitable_event.h"
#include "tests/basekit/threading_test_util.h"

namespace basekit {
namespace {

using testing::CountingPump;
using testing::NewTask;
using testing::ScopedFakeClock;

// Runs the loop until everything posted so far (and whatever that posts
// before the loop goes idle) has run.
void RunUntilIdle(MessageLoop& loop) {
  loop.PostTask(new ThreadQuitTask);
  loop.Run();
}

TEST(MessageLoopTest, IsTheCurrentLoopOfItsThreadOnly) {
  EXPECT_EQ(MessageLoop::Current(), nullptr);
  {
    MessageLoop loop;
    EXPECT_EQ(MessageLoop::Current(), &loop);
    MessageLoop* seen_elsewhere = &loop;
    std::thread([&] { seen_elsewhere = MessageLoop::Current(); }).join();
    EXPECT_EQ(seen_elsewhere, nullptr);
  }
  EXPECT_EQ(MessageLoop::Current(), nullptr);
}

TEST(MessageLoopTest, TasksFromSeveralThreadsRunInInboxOrder) {
  MessageLoop loop;
  constexpr int kThreads = 4;
  constexpr int kPerThread = 200;
  // A ticket drawn under the same mutex as the post gives the order in
  // which the tasks entered the inbox.
  std::mutex post_mutex;
  int next_ticket = 0;
  std::vector<int> ran;
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t) {
    posters.emplace_back([&] {
      for (int i = 0; i < kPerThread; ++i) {
        std::lock_guard<std::mutex> hold(post_mutex);
        int ticket = next_ticket++;
        loop.PostTask(NewTask([&ran, ticket] { ran.push_back(ticket); }));
      }
    });
  }
  // The loop runs while the posters post.
  loop.PostTask(NewTask([&] {
    for (std::thread& poster : posters) poster.join();
  }));
  // Everything the posters queued is in the inbox before this task runs.
  RunUntilIdle(loop);
  ASSERT_EQ(ran.size(), static_cast<size_t>(kThreads * kPerThread));
  for (size_t i = 0; i < ran.size(); ++i)
    ASSERT_EQ(ran[i], static_cast<int>(i));
}

TEST(MessageLoopTest, BurstPostedWhileBusyWakesThePumpOnce) {
  RefPtr<CountingPump> pump(new CountingPump);
  MessageLoop loop(kLoopTypeDefault, pump);
  constexpr int kBurst = 1000;
  int ran = 0;
  int wake_ups_during_burst = -1;
  loop.PostTask(NewTask([&] {
    // The inbox has been swapped out: it is empty while this task runs.
    int before = pump->wake_ups.load();
    std::thread poster([&] {
      for (int i = 0; i < kBurst; ++i) loop.PostTask(NewTask([&] { ++ran; }));
    });
    poster.join();
    wake_ups_during_burst = pump->wake_ups.load() - before;
  }));
  RunUntilIdle(loop);
  EXPECT_EQ(wake_ups_during_burst, 1);
  EXPECT_EQ(ran, kBurst);
}

TEST(MessageLoopTest, TaskPostedByATaskRunsAfterEverythingAlreadyQueued) {
  MessageLoop loop;
  std::string order;
  loop.PostTask(NewTask([&] {
    order += 'a';
    loop.PostTask(NewTask([&] { order += 'd'; }));
  }));
  loop.PostTask(NewTask([&] { order += 'b'; }));
  loop.PostTask(NewTask([&] { order += 'c'; }));
  RunUntilIdle(loop);
  EXPECT_EQ(order, "abcd");
}

TEST(MessageLoopTest, QuitLetsTasksPostedAfterItRun) {
  MessageLoop loop;
  std::string order;
  loop.PostTask(new ThreadQuitTask);
  loop.PostTask(NewTask([&] {
    order += 'a';
    loop.PostTask(NewTask([&] { order += 'c'; }));  // still before idle
  }));
  loop.PostTask(NewTask([&] { order += 'b'; }));
  loop.Run();
  EXPECT_EQ(order, "abc");
  EXPECT_FALSE(loop.is_running());

  // The loop can run again after it quit.
  loop.PostTask(NewTask([&] { order += 'e'; }));
  RunUntilIdle(loop);
  EXPECT_EQ(order, "abce");
}

class Service {
 public:
  void Step() { ++steps; }
  int steps = 0;
};

TEST(MessageLoopTest, CancelledRunnableMethodPassesThroughWithoutCalling) {
  MessageLoop loop;
  Service service;
  RefPtr<CancelableTask> cancelled(
      MakeRunnableMethod(&service, &Service::Step));
  RefPtr<CancelableTask> kept(MakeRunnableMethod(&service, &Service::Step));
  loop.PostTask(cancelled.get());
  loop.PostTask(kept.get());
  EXPECT_EQ(cancelled->ref_count_for_testing(), 2);
  cancelled->Cancel();
  RunUntilIdle(loop);
  EXPECT_EQ(service.steps, 1);
  // The loop dropped its references: ours are the last ones.
  EXPECT_EQ(cancelled->ref_count_for_testing(), 1);
  EXPECT_EQ(kept->ref_count_for_testing(), 1);
}

TEST(MessageLoopTest, TimersWithEqualRunTimesRunInPostingOrder) {
  ScopedFakeClock clock;
  MessageLoop loop;
  std::string order;
  // With the clock standing still, equal delays give equal run times.
  loop.PostDelayedTask(NewTask([&] { order += 'x'; }), 5);
  for (char c : std::string("abc")) {
    loop.PostDelayedTask(NewTask([&order, c] { order += c; }), 0);
  }
  loop.PostTask(NewTask([&] { order += '!'; }));
  loop.PostTask(NewTask([&] { ScopedFakeClock::Advance(5); }));
  RunUntilIdle(loop);
  EXPECT_EQ(order, "!abcx");
}

TEST(MessageLoopTest, DelayedTaskWaitsForItsTime) {
  MessageLoop loop;
  int64_t posted_at = MonotonicNow();
  int64_t ran_at = 0;
  loop.PostDelayedTask(NewTask([&] {
                         ran_at = MonotonicNow();
                         loop.QuitWhenIdle();
                       }),
                       20);
  loop.Run();
  EXPECT_GE(ran_at - posted_at, 20000);
}

TEST(MessageLoopTest, HugeDelayStaysInTheFuture) {
  MessageLoop loop;
  std::string order;
  loop.PostDelayedTask(NewTask([&] { order += "never"; }), INT64_MAX);
  loop.PostDelayedTask(NewTask([&] {
                         order += "soon";
                         loop.QuitWhenIdle();
                       }),
                       1);
  loop.Run();
  EXPECT_EQ(order, "soon");
}

TEST(MessageLoopTest, NestedRunDefersNonNestableTasksToTheOuterRun) {
  MessageLoop loop;
  std::string order;
  loop.PostTask(NewTask([&] {
    order += "outer(";
    loop.PostTask(NewTask([&] { order += "plain "; }));
    loop.PostNestableTask(NewTask([&] {
      order += "nestable ";
      EXPECT_EQ(loop.run_depth(), 2);
    }));
    loop.PostNestableTask(new ThreadQuitTask);
    loop.SetNestableTasksAllowed(true);
    loop.Run();
    order += ")";
  }));
  RunUntilIdle(loop);
  EXPECT_EQ(order, "outer(nestable )plain ");
  EXPECT_TRUE(loop.NestableTasksAllowed());
}

TEST(MessageLoopTest, DestructionReleasesPendingTasksWithoutRunningThem) {
  int ran = 0;
  int deleted = 0;
  int deleted_before_observers = -1;
  struct Observer : MessageLoop::DestructionObserver {
    std::function<void()> on_destroy;
    void LoopWillBeDestroyed() override { on_destroy(); }
  } observer;
  observer.on_destroy = [&] { deleted_before_observers = deleted; };
  {
    MessageLoop loop;
    loop.AddDestructionObserver(&observer);
    auto count_run = [&] { ++ran; };
    auto count_delete = [&] { ++deleted; };
    loop.PostTask(NewTask(count_run, count_delete));
    loop.PostDelayedTask(NewTask(count_run, count_delete), 1000);
    loop.PostNestableTask(NewTask(count_run, count_delete));
    // Deleting this one posts to the dying loop; that task is released by
    // the second half of the same pass, before the observers hear of it.
    loop.PostTask(NewTask(count_run, [&] {
      ++deleted;
      loop.PostTask(NewTask(count_run, count_delete));
    }));
  }
  EXPECT_EQ(ran, 0);
  EXPECT_EQ(deleted, 5);
  EXPECT_EQ(deleted_before_observers, 5);
}

TEST(MessageLoopTest, DestructionPassesStopAfterAHundred) {
  // A delayed task whose deletion posts the next one keeps the passes
  // going, one task per pass; the rest goes after the observers.
  constexpr int kChain = 150;
  int deleted = 0;
  int deleted_before_observers = -1;
  struct Observer : MessageLoop::DestructionObserver {
    std::function<void()> on_destroy;
    void LoopWillBeDestroyed() override { on_destroy(); }
  } observer;
  observer.on_destroy = [&] { deleted_before_observers = deleted; };
  std::function<void()> post_next;  // outlives the loop: the tasks call it
  {
    MessageLoop loop;
    loop.AddDestructionObserver(&observer);
    post_next = [&] {
      if (++deleted < kChain)
        loop.PostDelayedTask(NewTask({}, post_next), 1000);
    };
    loop.PostDelayedTask(NewTask({}, post_next), 1000);
  }
  EXPECT_EQ(deleted_before_observers, 100);
  EXPECT_EQ(deleted, kChain);
}

TEST(MessageLoopTest, ObserversSurroundEveryTask) {
  MessageLoop loop;
  std::string log;
  struct Observer : MessageLoop::TaskObserver {
    std::string* log;
    void WillRunTask() override { *log += '<'; }
    void DidRunTask() override { *log += '>'; }
  } observer;
  observer.log = &log;
  loop.AddTaskObserver(&observer);
  loop.PostTask(NewTask([&] { log += 't'; }));
  loop.PostTask(NewTask([&] { loop.RemoveTaskObserver(&observer); }));
  RunUntilIdle(loop);
  EXPECT_EQ(log, "<t><");
}

TEST(MessageLoopTest, ExceptionFromATaskLeavesTheLoopUsable) {
  MessageLoop loop;
  int deleted = 0;
  loop.PostTask(NewTask([] { throw std::runtime_error("task failed"); },
                        [&] { ++deleted; }));
  EXPECT_THROW(loop.Run(), std::runtime_error);
  EXPECT_EQ(deleted, 1);
  EXPECT_FALSE(loop.is_running());
  EXPECT_TRUE(loop.NestableTasksAllowed());
  int ran = 0;
  loop.PostTask(NewTask([&] { ++ran; }));
  RunUntilIdle(loop);
  EXPECT_EQ(ran, 1);
}

TEST(MessageLoopTest, PostingFromAnotherThreadWakesAnIdleLoop) {
  MessageLoop loop;
  WaitableEvent loop_idle;
  int ran = 0;
  // The loop runs out of work and waits; the poster then wakes it.
  loop.PostTask(NewTask([&] { loop_idle.Signal(); }));
  std::thread poster([&] {
    loop_idle.Wait();
    loop.PostTask(NewTask([&] {
      ++ran;
      loop.QuitWhenIdle();
    }));
  });
  loop.Run();
  poster.join();
  EXPECT_EQ(ran, 1);
}

}  // namespace
}  // namespace basekit

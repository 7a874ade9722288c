#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "basekit/loop/monotonic_clock.h"
#include "basekit/thread/thread.h"
#include "basekit/thread/waitable_event.h"
#include "basekit/win/win_message_loop.h"
#include "tests/basekit/threading_test_util.h"

namespace basekit {
namespace {

using testing::NewTask;

void RunUntilIdle(MessageLoop& loop) {
  loop.PostTask(new ThreadQuitTask);
  loop.Run();
}

// Removes whatever a test left in this thread's queue (a re-posted quit).
void DrainThreadQueue() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
  }
}

TEST(WinUIMessagePumpTest, RunsTasksPostedFromAnotherThreadInOrder) {
  UIMessageLoop loop;
  EXPECT_EQ(loop.type(), kLoopTypeUI);
  ASSERT_NE(loop.ui_pump()->window(), nullptr);
  std::vector<int> ran;
  std::thread poster([&] {
    for (int i = 0; i < 100; ++i)
      loop.PostTask(NewTask([&ran, i] { ran.push_back(i); }));
    loop.PostTask(new ThreadQuitTask);
  });
  loop.Run();
  poster.join();
  ASSERT_EQ(ran.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(ran[i], i);
}

TEST(WinUIMessagePumpTest, ForeignMessagesToThePumpWindowAreIgnored) {
  UIMessageLoop loop;
  HWND window = loop.ui_pump()->window();
  ASSERT_NE(window, nullptr);
  // Someone else's 0x401 and WM_TIMER with values that are no pump.
  for (WPARAM bogus : {WPARAM{0}, WPARAM{0x1234}, ~WPARAM{0}}) {
    SendMessageW(window, kMsgPumpWork, bogus, 0);
    SendMessageW(window, WM_TIMER, bogus, 0);
  }
  bool ran = false;
  loop.PostTask(NewTask([&] { ran = true; }));
  RunUntilIdle(loop);
  EXPECT_TRUE(ran);
}

TEST(WinUIMessagePumpTest, QuitMessageEndsRunAndIsPostedAgainForTheOuterLoop) {
  DrainThreadQueue();
  UIMessageLoop loop;
  bool ran_after_quit = false;
  loop.PostTask(NewTask([] { PostQuitMessage(7); }));
  loop.Run();  // no quit task: the quit message alone ends it
  MSG message;
  ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(message.wParam, 7u);
  loop.PostTask(NewTask([&] { ran_after_quit = true; }));
  RunUntilIdle(loop);
  EXPECT_TRUE(ran_after_quit);
}

// In a modal context the work message's turn goes only to paint or timer
// messages: a plain posted message then waits for the next cycle, after the
// task; otherwise it is handled in the work message's place, before it.
TEST(WinUIMessagePumpTest,
     ReplacementStepInAModalContextTakesOnlyPaintOrTimer) {
  for (bool modal : {false, true}) {
    SCOPED_TRACE(modal ? "modal" : "not modal");
    DrainThreadQueue();
    UIMessageLoop loop;
    std::string order;
    struct Observer : WinUIMessagePump::UIObserver {
      std::string* order;
      void BeforeMessage(const MSG& m) override {
        if (m.message == WM_APP + 5) *order += 'm';
      }
      void AfterMessage(const MSG&) override {}
    } observer;
    observer.order = &order;
    loop.ui_pump()->AddUIObserver(&observer);
    loop.PostTask(NewTask([&] {
      loop.set_in_modal_loop(modal);
      // The work message for the next task is queued ahead of WM_APP + 5.
      loop.PostTask(NewTask([&] {
        order += 't';
        loop.set_in_modal_loop(false);
        loop.PostTask(new ThreadQuitTask);
      }));
      PostThreadMessageW(GetCurrentThreadId(), WM_APP + 5, 0, 0);
    }));
    loop.Run();
    loop.ui_pump()->RemoveUIObserver(&observer);
    EXPECT_EQ(order, modal ? "tm" : "mt");
  }
}

TEST(WinUIMessagePumpTest, DelayedTasksRunInTimeOrderOnTheWindowTimer) {
  UIMessageLoop loop;
  std::string order;
  int64_t start = MonotonicNow();
  int64_t late_ran_at = 0;
  loop.PostDelayedTask(NewTask([&] {
                         order += 'b';
                         late_ran_at = MonotonicNow();
                         loop.QuitWhenIdle();
                       }),
                       40);
  loop.PostDelayedTask(NewTask([&] { order += 'a'; }), 15);
  loop.Run();
  EXPECT_EQ(order, "ab");
  EXPECT_GE(late_ran_at - start, 40000);
}

// A pump whose first work-message post fails, as with a full queue.
class FlakyUIPump : public WinUIMessagePump {
 public:
  int posts = 0;

 protected:
  bool PostWorkMessage() override {
    if (++posts == 1) return false;
    return WinUIMessagePump::PostWorkMessage();
  }
};

TEST(WinUIMessagePumpTest, FailedWakeUpPostDoesNotBlockLaterWakeUps) {
  RefPtr<FlakyUIPump> pump(new FlakyUIPump);
  MessageLoop loop(kLoopTypeUI, pump);
  bool ran = false;
  loop.PostTask(NewTask([&] { ran = true; }));  // the wake-up post fails
  EXPECT_EQ(pump->work_posted_for_testing(), 0);
  pump->WakeUp();  // a later wake-up must post again
  EXPECT_EQ(pump->posts, 2);
  EXPECT_EQ(pump->work_posted_for_testing(), 1);
  RunUntilIdle(loop);
  EXPECT_TRUE(ran);
}

// The pump of a failed window creation.
class WindowlessUIPump : public WinUIMessagePump {
 public:
  WindowlessUIPump() : WinUIMessagePump(false) {}
};

TEST(WinUIMessagePumpTest, WithoutAWindowWakeUpsStillReachThePumpsThread) {
  RefPtr<WindowlessUIPump> pump(new WindowlessUIPump);
  ASSERT_EQ(pump->window(), nullptr);
  MessageLoop loop(kLoopTypeUI, pump);
  const DWORD loop_thread = GetCurrentThreadId();
  std::atomic<bool> ran{false};
  bool delayed_ran = false;
  bool stray_message_on_poster = true;
  WaitableEvent loop_idle;
  loop.PostTask(NewTask([&] { loop_idle.Signal(); }));
  std::thread poster([&] {
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0,
                 PM_NOREMOVE);  // gives this thread a queue
    loop_idle.Wait();
    loop.PostTask(NewTask([&] {
      ran = true;
      loop.PostDelayedTask(NewTask([&] {
                             delayed_ran = true;
                             loop.QuitWhenIdle();
                           }),
                           20);
    }));
    stray_message_on_poster = PeekMessageW(&message, nullptr, kMsgPumpWork,
                                           kMsgPumpWork, PM_REMOVE) != 0;
    // Should the wake-up be lost, the loop is ended instead of hanging.
    for (int i = 0; i < 500 && !ran; ++i) Sleep(10);
    if (!ran) PostThreadMessageW(loop_thread, WM_QUIT, 0, 0);
  });
  loop.Run();
  poster.join();
  DrainThreadQueue();
  EXPECT_TRUE(ran);
  EXPECT_TRUE(delayed_ran);
  EXPECT_FALSE(stray_message_on_poster);
}

TEST(WinIOMessagePumpTest, RunsTasksAndDeliversCompletions) {
  IOMessageLoop loop;
  EXPECT_EQ(loop.type(), kLoopTypeIO);
  ASSERT_NE(loop.io_pump()->port(), nullptr);

  struct Handler : CompletionHandler {
    std::vector<DWORD> bytes;
    std::vector<DWORD> errors;
    void HandleCompletion(CompletionContext* context, DWORD transferred,
                          DWORD error) override {
      bytes.push_back(transferred);
      errors.push_back(error);
      delete context;
    }
  } handler;
  struct Observer : WinIOMessagePump::IOObserver {
    std::string log;
    void WillProcessIOEvent() override { log += '<'; }
    void DidProcessIOEvent() override { log += '>'; }
  } observer;
  loop.io_pump()->AddIOObserver(&observer);

  auto* context = new CompletionContext{};
  context->handler = &handler;
  ASSERT_TRUE(PostQueuedCompletionStatus(loop.io_pump()->port(), 12,
                                         reinterpret_cast<ULONG_PTR>(&handler),
                                         &context->overlapped));
  // A context without a handler is deleted by the pump and counts as work.
  auto* orphan = new CompletionContext{};
  ASSERT_TRUE(PostQueuedCompletionStatus(loop.io_pump()->port(), 3,
                                         reinterpret_cast<ULONG_PTR>(&handler),
                                         &orphan->overlapped));
  bool task_ran = false;
  std::thread poster([&] { loop.PostTask(NewTask([&] { task_ran = true; })); });
  poster.join();
  RunUntilIdle(loop);
  loop.io_pump()->RemoveIOObserver(&observer);
  EXPECT_TRUE(task_ran);
  EXPECT_EQ(handler.bytes, std::vector<DWORD>{12});
  EXPECT_EQ(handler.errors, std::vector<DWORD>{0});
  EXPECT_EQ(observer.log, "<>");
}

class FlakyIOPump : public WinIOMessagePump {
 public:
  int posts = 0;

 protected:
  bool PostWakeUpCompletion() override {
    if (++posts == 1) return false;
    return WinIOMessagePump::PostWakeUpCompletion();
  }
};

TEST(WinIOMessagePumpTest, FailedWakeUpPostDoesNotBlockLaterWakeUps) {
  RefPtr<FlakyIOPump> pump(new FlakyIOPump);
  MessageLoop loop(kLoopTypeIO, pump);
  bool ran = false;
  loop.PostTask(NewTask([&] { ran = true; }));
  EXPECT_EQ(pump->work_posted_for_testing(), 0);
  pump->WakeUp();
  EXPECT_EQ(pump->posts, 2);
  RunUntilIdle(loop);
  EXPECT_TRUE(ran);
}

class ProbeThread : public FrameworkThread {
 public:
  ProbeThread() : FrameworkThread("probe thread") {}
  ~ProbeThread() override { Stop(); }
  std::atomic<int> priority_seen{-100};
  std::atomic<int> loop_type_seen{-1};

 protected:
  void Init() override {
    priority_seen = GetThreadPriority(GetCurrentThread());
    loop_type_seen = MessageLoop::Current()->type();
  }
};

TEST(FrameworkThreadWinTest, CreatesTheLoopOfEachTypeAndStops) {
  for (LoopType type : {kLoopTypeDefault, kLoopTypeUI, kLoopTypeIO}) {
    SCOPED_TRACE(type);
    ProbeThread thread;
    ASSERT_TRUE(thread.Start(type));
    EXPECT_EQ(thread.loop_type_seen.load(), type);
    WaitableEvent done;
    thread.message_loop()->PostTask(NewTask([&] { done.Signal(); }));
    EXPECT_TRUE(done.Wait());
    thread.Stop();
    EXPECT_FALSE(thread.has_handle());
  }
}

TEST(FrameworkThreadWinTest, AppliesThePriorityTable) {
  struct Case {
    ThreadPriority priority;
    int platform_priority;
  } cases[] = {{3, THREAD_PRIORITY_HIGHEST},
               {7, THREAD_PRIORITY_BELOW_NORMAL},
               {1, THREAD_PRIORITY_LOWEST},
               {0, THREAD_PRIORITY_NORMAL}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.priority);
    ProbeThread thread;
    thread.set_priority(c.priority);
    ASSERT_TRUE(thread.Start());
    // Init may run before Create applied the priority: ask again from a task.
    WaitableEvent done;
    thread.message_loop()->PostTask(NewTask([&] {
      thread.priority_seen = GetThreadPriority(GetCurrentThread());
      done.Signal();
    }));
    done.Wait();
    EXPECT_EQ(thread.priority_seen.load(), c.platform_priority);
  }
}

}  // namespace
}  // namespace basekit

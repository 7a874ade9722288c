#include <gtest/gtest.h>

#include <thread>

#include "basekit/loop/default_message_pump.h"
#include "basekit/loop/monotonic_clock.h"
#include "basekit/thread/waitable_event.h"
#include "tests/basekit/threading_test_util.h"

namespace basekit {
namespace {

using testing::ScopedFakeClock;

TEST(MonotonicClockTest, KeepsIncreasingAcrossTheTickWrap) {
  ScopedFakeClock clock(0xFFFFFF00u);
  int64_t before = MonotonicNow();
  EXPECT_EQ(before, int64_t{0xFFFFFF00} * 1000);
  ScopedFakeClock::Set(0x10);  // the 32-bit counter wrapped
  int64_t after = MonotonicNow();
  EXPECT_EQ(after, (int64_t{0x10} + (int64_t{1} << 32)) * 1000);
  EXPECT_GT(after, before);
  ScopedFakeClock::Set(0x20);
  EXPECT_EQ(MonotonicNow(), (int64_t{0x20} + (int64_t{1} << 32)) * 1000);
  ScopedFakeClock::Set(0x05);  // a second wrap
  EXPECT_EQ(MonotonicNow(), (int64_t{0x05} + (int64_t{2} << 32)) * 1000);
}

TEST(MonotonicClockTest, DelaysRoundUpToWholeMilliseconds) {
  constexpr int64_t kNow = 5'000'000;
  struct Case {
    int64_t wake_time;
    int64_t delay_ms;
    int64_t window_timer_ms;
  } cases[] = {
      {0, -1, 10},           // no timer: infinite; a window timer of 10 ms
      {kNow + 3000, 3, 10},  // 3 ms ahead: raised to the minimum timer
      {kNow + 2'500'000, 2500, 2500},  // 2.5 s ahead
      {kNow + 2500, 3, 10},  // 2.5 ms rounds up, never ends a wait early
      {kNow + 1, 1, 10},
      {kNow, 0, 10},         // due now
      {kNow - 7000, 0, 10},  // in the past
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.wake_time - kNow);
    EXPECT_EQ(DelayMsUntil(c.wake_time, kNow), c.delay_ms);
    EXPECT_EQ(WindowTimerDelayMs(c.wake_time, kNow), c.window_timer_ms);
  }
}

// A delegate whose every callback is a function of the cycle number.
class ScriptedDelegate : public MessagePump::Delegate {
 public:
  int cycles = 0;
  std::function<bool(int)> ready = [](int) { return false; };
  std::function<bool(int, int64_t*)> timer = [](int, int64_t*) {
    return false;
  };
  std::function<bool(int)> idle = [](int) { return false; };

  bool RunReadyWork() override { return ready(++cycles); }
  bool RunTimerWork(int64_t* next) override { return timer(cycles, next); }
  bool RunIdleWork() override { return idle(cycles); }
};

TEST(DefaultMessagePumpTest, TwoWakeUpsBeforeTheWaitCostOneExtraCycle) {
  RefPtr<DefaultMessagePump> pump(new DefaultMessagePump);
  pump->WakeUp();
  pump->WakeUp();
  ScriptedDelegate delegate;
  int64_t timed_wait_start = 0;
  // Cycle 1 finds nothing and waits: the merged signal lets it through at
  // once. Cycle 2 arms a 30 ms timer; a second, unmerged signal would cut
  // that wait short. Cycle 3 quits.
  delegate.timer = [&](int cycle, int64_t* next) {
    if (cycle == 2) {
      timed_wait_start = MonotonicNow();
      *next = timed_wait_start + 30'000;
    } else {
      *next = 0;
    }
    return false;
  };
  delegate.idle = [&](int cycle) {
    if (cycle == 3) pump->Quit();
    return false;
  };
  pump->Run(&delegate);
  EXPECT_EQ(delegate.cycles, 3);
  EXPECT_GE(MonotonicNow() - timed_wait_start, 20'000);
}

TEST(DefaultMessagePumpTest, WakeTimeInThePastIsClearedWithoutWaiting) {
  RefPtr<DefaultMessagePump> pump(new DefaultMessagePump);
  ScriptedDelegate delegate;
  int64_t wake_time_seen_in_cycle_2 = -1;
  delegate.ready = [&](int cycle) {
    if (cycle == 2) {
      wake_time_seen_in_cycle_2 = pump->wake_time_for_testing();
      pump->Quit();
    }
    return false;
  };
  delegate.timer = [&](int cycle, int64_t* next) {
    if (cycle == 1) *next = 1;  // long past
    return false;
  };
  pump->Run(&delegate);  // would wait forever if it waited
  EXPECT_EQ(delegate.cycles, 2);
  EXPECT_EQ(wake_time_seen_in_cycle_2, 0);
}

TEST(DefaultMessagePumpTest, WakeUpFromAnotherThreadEndsAnUnlimitedWait) {
  RefPtr<DefaultMessagePump> pump(new DefaultMessagePump);
  ScriptedDelegate delegate;
  WaitableEvent waiting;
  bool woken_work = false;
  std::thread waker;
  delegate.idle = [&](int cycle) {
    if (cycle == 1) {
      waker = std::thread([&] {
        waiting.Wait();
        pump->WakeUp();
      });
      waiting.Signal();  // the pump is about to wait without a time limit
    } else {
      woken_work = true;
      pump->Quit();
    }
    return false;
  };
  pump->Run(&delegate);
  waker.join();
  EXPECT_TRUE(woken_work);
}

}  // namespace
}  // namespace basekit

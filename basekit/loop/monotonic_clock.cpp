#include "basekit/loop/monotonic_clock.h"

#include <cmath>

#include "basekit/thread/lock.h"

#if defined(_WIN32)
#include <windows.h>

#include "basekit/log/log.h"
#include "basekit/win/system_library.h"
#else
#include <time.h>
#endif

namespace basekit {

namespace {

#if defined(_WIN32)
constexpr const char* kLogSource = "message_loop";

using MillisecondCounter = DWORD(WINAPI*)();

// timeGetTime, from the multimedia library in the system folder; where it
// cannot be had, GetTickCount: the same milliseconds since start-up with the
// same 32-bit wrap, in coarser steps.
MillisecondCounter SystemCounter() {
  static const SystemLibrary winmm(L"winmm.dll");
  MillisecondCounter counter = winmm.Get<MillisecondCounter>("timeGetTime");
  if (counter == nullptr) {
    BASEKIT_LOG(
        Failure,
        "timeGetTime unavailable; GetTickCount counts the milliseconds");
    counter = &GetTickCount;
  }
  return counter;
}
#endif

uint32_t SystemTicks() {
#if defined(_WIN32)
  static const MillisecondCounter counter = SystemCounter();
  return counter();
#else
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  // Truncated on purpose: the same 32-bit wrap as the Windows counter.
  return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                               static_cast<uint64_t>(now.tv_nsec) / 1000000u);
#endif
}

struct ClockState {
  Lock lock;
  TickSource source = &SystemTicks;
  uint32_t last_ticks = 0;
  int64_t wrap_offset_ms = 0;
};

ClockState& State() {
  static ClockState* state = new ClockState;  // never destroyed: usable at exit
  return *state;
}

}  // namespace

int64_t MonotonicNow() {
  ClockState& state = State();
  AutoLock hold(state.lock);
  uint32_t ticks = state.source();
  if (ticks < state.last_ticks) state.wrap_offset_ms += int64_t{1} << 32;
  state.last_ticks = ticks;
  return (static_cast<int64_t>(ticks) + state.wrap_offset_ms) * 1000;
}

int64_t DelayMsUntil(int64_t wake_time, int64_t now) {
  if (wake_time == 0) return -1;
  // Rounded up: a wait never ends before the earliest timer is due.
  double delay_ms = std::ceil(static_cast<double>(wake_time - now) / 1000.0);
  return delay_ms < 0 ? 0 : static_cast<int64_t>(delay_ms);
}

int64_t DelayMsUntil(int64_t wake_time) {
  if (wake_time == 0) return -1;
  return DelayMsUntil(wake_time, MonotonicNow());
}

TickSource SetTickSourceForTesting(TickSource source) {
  ClockState& state = State();
  AutoLock hold(state.lock);
  TickSource previous = state.source;
  state.source = source != nullptr ? source : &SystemTicks;
  return previous;
}

void ResetMonotonicClockForTesting() {
  ClockState& state = State();
  AutoLock hold(state.lock);
  state.last_ticks = 0;
  state.wrap_offset_ms = 0;
}

}  // namespace basekit

namespace basekit {

int64_t WindowTimerDelayMs(int64_t wake_time, int64_t now) {
  int64_t delay_ms = DelayMsUntil(wake_time, now);
  return delay_ms < kMinTimerDelayMs ? kMinTimerDelayMs : delay_ms;
}

}  // namespace basekit

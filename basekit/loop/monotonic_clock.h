#pragma once

// The monotonic clock used for every run time and delay of the loops and
// pumps: signed 64-bit microseconds built from a 32-bit millisecond tick
// counter, extended across its wrap (every 49.7 days).
//
// Thread affinity: any thread; callers are serialised on one lock because
// the wrap detection reads and writes shared state.

#include <cstdint>

namespace basekit {

// Microseconds; increases by 2^32 ms of offset every time the tick counter
// is seen to go backwards.
int64_t MonotonicNow();

// Milliseconds to wait for a timer due at wake_time: -1 (infinite) when
// wake_time is 0, else the ceiling of (wake_time - now) / 1000, at least 0.
int64_t DelayMsUntil(int64_t wake_time, int64_t now);
// The same against MonotonicNow().
int64_t DelayMsUntil(int64_t wake_time);

// The 32-bit millisecond tick source (timeGetTime on Windows, the monotonic
// system clock elsewhere). Tests replace it to drive the wrap; the returned
// value is the previous source. Passing null restores the system source.
using TickSource = uint32_t (*)();
TickSource SetTickSourceForTesting(TickSource source);
// Forgets the last tick read and the wrap offset.
void ResetMonotonicClockForTesting();

}  // namespace basekit

namespace basekit {

// The shortest window timer a pump sets, in milliseconds.
inline constexpr int64_t kMinTimerDelayMs = 10;

// The window timer period for a timer due at wake_time: DelayMsUntil with
// an infinite delay taken as -1, raised to at least kMinTimerDelayMs.
int64_t WindowTimerDelayMs(int64_t wake_time, int64_t now);

}  // namespace basekit

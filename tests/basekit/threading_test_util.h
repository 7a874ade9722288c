#pragma once

// Helpers shared by the threading tests.

#include <atomic>
#include <cstdint>
#include <functional>
#include <utility>

#include "basekit/loop/default_message_pump.h"
#include "basekit/loop/monotonic_clock.h"
#include "basekit/task/task.h"

namespace basekit::testing {

// A task that runs a function and reports its own deletion.
class FunctionTask : public Task {
 public:
  explicit FunctionTask(std::function<void()> body,
                        std::function<void()> on_delete = {})
      : body_(std::move(body)), on_delete_(std::move(on_delete)) {}
  void Run() override {
    if (body_) body_();
  }

 protected:
  ~FunctionTask() override {
    if (on_delete_) on_delete_();
  }

 private:
  std::function<void()> body_;
  std::function<void()> on_delete_;
};

inline Task* NewTask(std::function<void()> body,
                     std::function<void()> on_delete = {}) {
  return new FunctionTask(std::move(body), std::move(on_delete));
}

// Replaces the clock's tick source with a counter the test moves by hand.
class ScopedFakeClock {
 public:
  explicit ScopedFakeClock(uint32_t start_ms = 1000) {
    ticks_.store(start_ms);
    previous_ = SetTickSourceForTesting(&Ticks);
    ResetMonotonicClockForTesting();
  }
  ~ScopedFakeClock() {
    SetTickSourceForTesting(previous_);
    ResetMonotonicClockForTesting();
  }
  static void Set(uint32_t ms) { ticks_.store(ms); }
  static void Advance(uint32_t ms) { ticks_.fetch_add(ms); }

 private:
  static uint32_t Ticks() { return ticks_.load(); }
  static inline std::atomic<uint32_t> ticks_{0};
  TickSource previous_;
};

// A default pump that counts its wake-ups.
class CountingPump : public DefaultMessagePump {
 public:
  void WakeUp() override {
    wake_ups.fetch_add(1);
    DefaultMessagePump::WakeUp();
  }
  std::atomic<int> wake_ups{0};

 protected:
  ~CountingPump() override = default;
};

}  // namespace basekit::testing

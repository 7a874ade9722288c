#pragma once

// The pump of plain loops: an auto-reset event that other threads signal.
//
// Thread affinity: WakeUp from any thread; the rest on the loop's thread.

#include <atomic>
#include <cstdint>

#include <boost/noncopyable.hpp>

#include "basekit/loop/message_pump.h"
#include "basekit/thread/waitable_event.h"

namespace basekit {

class DefaultMessagePump : public MessagePump, private boost::noncopyable {
 public:
  DefaultMessagePump() = default;

  // Cycles through ready, timer and idle work and waits on the event when
  // none is left. One quit flag serves every nesting level; it is cleared
  // when Run returns so the pump can run again.
  void Run(Delegate* delegate) override;
  void Quit() override { quit_ = true; }
  // Signals merge: several WakeUps before the wait cost one extra cycle.
  void WakeUp() override { wake_event_.Signal(); }
  // No signal needed: only the pump's own thread calls it, between waits.
  void WakeUpAt(int64_t run_time) override { wake_time_ = run_time; }

  int64_t wake_time_for_testing() const { return wake_time_; }

 protected:
  ~DefaultMessagePump() override = default;

 private:
  WaitableEvent wake_event_;
  bool quit_ = false;
  int64_t wake_time_ = 0;
};

}  // namespace basekit

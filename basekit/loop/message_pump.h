#pragma once

// The waiting half of a MessageLoop: a pump sleeps until there may be work
// and then calls the loop back through its Delegate.
//
// Thread affinity: WakeUp from any thread. Everything else, the Delegate
// callbacks included, on the loop's thread only.

#include <cstdint>

#include "basekit/task/ref_count.h"

namespace basekit {

class MessagePump : public ThreadSafeRefCount {
 public:
  class Delegate {
   public:
    virtual ~Delegate() = default;
    // Runs at most one ready task; true when one ran.
    virtual bool RunReadyWork() = 0;
    // Runs at most one due timer task; true when one ran. next_run_time
    // receives the run time of the earliest remaining timer, or 0 when the
    // timer queue is empty (it may be left unchanged when the last timer
    // was just taken).
    virtual bool RunTimerWork(int64_t* next_run_time) = 0;
    // Runs a deferred task or, with nothing to do, lets the pump quit when
    // a quit was requested; true when a task ran.
    virtual bool RunIdleWork() = 0;
  };

  // Runs until Quit() is called from inside one of the delegate callbacks.
  virtual void Run(Delegate* delegate) = 0;
  // Ends the innermost Run once control is back in the pump.
  virtual void Quit() = 0;
  // Any thread: makes the pump call the delegate soon.
  virtual void WakeUp() = 0;
  // Loop thread: the earliest timer is due at run_time (monotonic
  // microseconds, MonotonicNow).
  virtual void WakeUpAt(int64_t run_time) = 0;

 protected:
  ~MessagePump() override = default;
};

}  // namespace basekit

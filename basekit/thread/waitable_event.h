#pragma once

// An auto-reset event, created non-signalled: Signal lets one waiter through
// (or the next Wait, when nobody waits) and signals merge until consumed.
//
// Thread affinity: Signal from any thread; Wait/TimedWait from any thread.

#include <cstdint>
#include <memory>

#include <boost/noncopyable.hpp>

namespace basekit {

class WaitableEvent : private boost::noncopyable {
 public:
  WaitableEvent();
  ~WaitableEvent();

  void Signal();
  // Waits without time limit. False only when the platform wait failed.
  bool Wait();
  // True when signalled within timeout_ms milliseconds.
  bool TimedWait(int64_t timeout_ms);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace basekit

#include "basekit/thread/waitable_event.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace basekit {

struct WaitableEvent::Impl {
  std::mutex mutex;
  std::condition_variable signalled_cv;
  bool signalled = false;
};

WaitableEvent::WaitableEvent() : impl_(std::make_unique<Impl>()) {}

WaitableEvent::~WaitableEvent() = default;

void WaitableEvent::Signal() {
  {
    std::lock_guard<std::mutex> hold(impl_->mutex);
    impl_->signalled = true;
  }
  impl_->signalled_cv.notify_one();
}

bool WaitableEvent::Wait() {
  std::unique_lock<std::mutex> hold(impl_->mutex);
  impl_->signalled_cv.wait(hold, [this] { return impl_->signalled; });
  impl_->signalled = false;  // auto-reset
  return true;
}

bool WaitableEvent::TimedWait(int64_t timeout_ms) {
  std::unique_lock<std::mutex> hold(impl_->mutex);
  // Bounded so that now + timeout cannot overflow the clock.
  const int64_t bounded_ms =
      timeout_ms < (int64_t{1} << 40) ? timeout_ms : (int64_t{1} << 40);
  if (!impl_->signalled_cv.wait_for(hold, std::chrono::milliseconds(bounded_ms),
                                    [this] { return impl_->signalled; })) {
    return false;
  }
  impl_->signalled = false;
  return true;
}

}  // namespace basekit

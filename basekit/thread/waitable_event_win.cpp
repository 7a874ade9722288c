#include "basekit/thread/waitable_event.h"

#include <windows.h>

#include "basekit/log/log.h"

namespace basekit {

namespace {

constexpr const char* kLogSource = "waitable_event";

}  // namespace

struct WaitableEvent::Impl {
  HANDLE event = nullptr;
};

WaitableEvent::WaitableEvent() : impl_(std::make_unique<Impl>()) {
  impl_->event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (impl_->event == nullptr) {
    BASEKIT_LOG(Failure, "CreateEvent failed, error %lu", GetLastError());
  }
}

WaitableEvent::~WaitableEvent() {
  if (impl_->event != nullptr) CloseHandle(impl_->event);
}

void WaitableEvent::Signal() {
  if (!SetEvent(impl_->event)) {
    BASEKIT_LOG(Failure, "SetEvent failed, error %lu", GetLastError());
  }
}

bool WaitableEvent::Wait() { return TimedWait(-1); }

bool WaitableEvent::TimedWait(int64_t timeout_ms) {
  DWORD wait_ms = INFINITE;
  if (timeout_ms >= 0) {
    wait_ms =
        timeout_ms >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(timeout_ms);
  }
  DWORD result = WaitForSingleObject(impl_->event, wait_ms);
  if (result == WAIT_FAILED) {
    BASEKIT_LOG(Failure, "WaitForSingleObject failed, error %lu",
                GetLastError());
  }
  return result == WAIT_OBJECT_0;
}

}  // namespace basekit

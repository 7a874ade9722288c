#include "basekit/win/win_message_pump.h"

#include <utility>

#include "basekit/log/log.h"
#include "basekit/loop/message_loop.h"
#include "basekit/loop/monotonic_clock.h"

namespace basekit {

namespace {

constexpr const char* kLogSource = "message_pump";

const wchar_t kWindowClassName[] = L"CorvaneMessagePumpWindow";

DWORD ToWaitMs(int64_t delay_ms) {
  if (delay_ms < 0) return INFINITE;
  if (delay_ms >= static_cast<int64_t>(INFINITE)) return INFINITE - 1;
  return static_cast<DWORD>(delay_ms);
}

}  // namespace

// ----------------------------------------------------------------
// WinMessagePump

void WinMessagePump::Run(Delegate* delegate) {
  PumpFrame frame;
  frame.depth = frame_ != nullptr ? frame_->depth + 1 : 1;
  frame.delegate = delegate;
  PumpFrame* previous = std::exchange(frame_, &frame);
  struct Restore {
    WinMessagePump* pump;
    PumpFrame* previous;
    ~Restore() { pump->frame_ = previous; }
  } restore{this, previous};
  PumpLoop();
}

void WinMessagePump::Quit() {
  if (frame_ != nullptr) frame_->quit = true;
}

DWORD WinMessagePump::WaitDelayMs() const {
  return ToWaitMs(DelayMsUntil(wake_time_));
}

// --------------------------------------------------------------
// WinUIMessagePump

WinUIMessagePump::WinUIMessagePump() : WinUIMessagePump(true) {}

WinUIMessagePump::WinUIMessagePump(bool create_window)
    : thread_id_(GetCurrentThreadId()) {
  if (!create_window) return;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = &WinUIMessagePump::WindowProc;
  window_class.hInstance = instance;
  window_class.lpszClassName = kWindowClassName;
  // Fails harmlessly when another pump of the process registered it.
  RegisterClassExW(&window_class);
  window_ = CreateWindowExW(0, kWindowClassName, nullptr, 0, 0, 0, 0, 0,
                            HWND_MESSAGE, nullptr, instance, nullptr);
  if (window_ == nullptr) {
    BASEKIT_LOG(Failure, "the pump window was not created, error %lu",
                GetLastError());
    return;
  }
  // The window procedure finds its pump here, never in a message's wParam.
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

WinUIMessagePump::~WinUIMessagePump() {
  if (window_ != nullptr) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    KillTimer(window_, reinterpret_cast<UINT_PTR>(this));
    // Fails when the last reference went on another thread (a poster's);
    // the window then goes with the pump's thread.
    if (!DestroyWindow(window_)) {
      BASEKIT_LOG(Failure, "the pump window was not destroyed, error %lu",
                  GetLastError());
    }
  }
  // Fails harmlessly while another pump's window still uses the class.
  UnregisterClassW(kWindowClassName, GetModuleHandleW(nullptr));
}

void WinUIMessagePump::WakeUp() {
  if (InterlockedExchange(&work_posted_, 1) != 0) return;  // one is on its way
  if (!PostWorkMessage()) {
    // Nothing is outstanding after all; without this reset no later
    // WakeUp would ever post again and the loop would never wake.
    InterlockedExchange(&work_posted_, 0);
    BASEKIT_LOG(Failure, "posting the pump's work message failed, error %lu",
                GetLastError());
  }
}

bool WinUIMessagePump::PostWorkMessage() {
  if (window_ == nullptr) {
    // A post to a null window would land in the queue of the calling
    // thread, not the pump's, and the pump would never wake.
    return PostThreadMessageW(thread_id_, kMsgPumpWork,
                              reinterpret_cast<WPARAM>(this), 0) != 0;
  }
  return PostMessageW(window_, kMsgPumpWork, reinterpret_cast<WPARAM>(this),
                      0) != 0;
}

void WinUIMessagePump::WakeUpAt(int64_t run_time) {
  wake_time_ = run_time;
  // Without a window a timer would be a fresh thread timer on every call,
  // never killed; the pump's timed wait covers the run time by itself.
  if (window_ == nullptr) return;
  int64_t delay_ms = WindowTimerDelayMs(run_time, MonotonicNow());
  if (delay_ms > USER_TIMER_MAXIMUM) delay_ms = USER_TIMER_MAXIMUM;
  if (SetTimer(window_, reinterpret_cast<UINT_PTR>(this),
               static_cast<UINT>(delay_ms), nullptr) == 0) {
    BASEKIT_LOG(Failure, "SetTimer(%lld ms) failed, error %lu",
                static_cast<long long>(delay_ms), GetLastError());
  }
}

void WinUIMessagePump::BeforeMessage(const MSG& message) {
  ui_observers_.ForEach(
      [&](UIObserver* observer) { observer->BeforeMessage(message); });
}

void WinUIMessagePump::AfterMessage(const MSG& message) {
  ui_observers_.ForEach(
      [&](UIObserver* observer) { observer->AfterMessage(message); });
}

void WinUIMessagePump::PumpLoop() {
  Delegate* delegate = frame_->delegate;
  for (;;) {
    bool did_work = ProcessNextWindowsMessage();
    if (quit_requested()) break;
    did_work |= delegate->RunReadyWork();
    if (quit_requested()) break;

    did_work |= delegate->RunTimerWork(&wake_time_);
    if (did_work && wake_time_ == 0 && window_ != nullptr) {
      KillTimer(window_, reinterpret_cast<UINT_PTR>(this));
    }
    if (quit_requested()) break;
    if (did_work) continue;

    did_work = delegate->RunIdleWork();
    if (quit_requested()) break;
    if (did_work) continue;

    WaitForWork();
  }
}

void WinUIMessagePump::WaitForWork() {
  DWORD result = MsgWaitForMultipleObjectsEx(0, nullptr, WaitDelayMs(),
                                             QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  if (result == WAIT_OBJECT_0) {
    // Input is reported while a mouse message another window owns (after a
    // capture change, for example) is not yet in our reach: without a real
    // wait here the pump would spin.
    DWORD queue_status = GetQueueStatus(QS_MOUSE);
    MSG message;
    if ((HIWORD(queue_status) & QS_MOUSE) != 0 &&
        !PeekMessageW(&message, nullptr, WM_MOUSEFIRST, WM_MOUSELAST,
                      PM_NOREMOVE)) {
      WaitMessage();
    }
  } else if (result == WAIT_FAILED) {
    BASEKIT_LOG(Failure, "MsgWaitForMultipleObjectsEx failed, error %lu",
                GetLastError());
  }
}

bool WinUIMessagePump::ProcessNextWindowsMessage() {
  // Sent messages are delivered inside PeekMessage; they count as work even
  // when nothing is left to remove.
  bool sent_messages_waiting =
      (HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) != 0;
  MSG message;
  if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
    return ProcessMessage(message);
  return sent_messages_waiting;
}

bool WinUIMessagePump::ProcessMessage(const MSG& message) {
  if (message.message == WM_QUIT) {
    // Ends this run; the re-posted quit reaches the outer loop too.
    frame_->quit = true;
    PostQuitMessage(static_cast<int>(message.wParam));
    return false;
  }
  if (message.message == kMsgPumpWork && message.hwnd == window_ &&
      message.wParam == reinterpret_cast<WPARAM>(this)) {
    return ProcessPumpReplacementMessage();
  }
  MSG copy = message;
  if (CallMsgFilterW(&copy, kMessageFilterCode)) return true;
  BeforeMessage(copy);
  TranslateMessage(&copy);
  DispatchMessageW(&copy);
  AfterMessage(copy);
  return true;
}

bool WinUIMessagePump::ProcessPumpReplacementMessage() {
  // A kMsgPumpWork takes the turn of one real message, so a flood of posted
  // tasks cannot starve painting and input. In a modal context only paint
  // and timer messages are taken.
  MSG message;
  bool have_message;
  MessageLoop* loop = MessageLoop::Current();
  if (loop != nullptr && loop->in_modal_loop()) {
    have_message =
        PeekMessageW(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE) ||
        PeekMessageW(&message, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE);
  } else {
    have_message = PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != 0;
  }
  InterlockedExchange(&work_posted_, 0);
  if (!have_message) return false;
  // Work keeps its turn while the removed message is handled.
  WakeUp();
  return ProcessMessage(message);
}

void WinUIMessagePump::HandleTimerMessage() {
  KillTimer(window_, reinterpret_cast<UINT_PTR>(this));
  if (frame_ == nullptr) return;
  frame_->delegate->RunTimerWork(&wake_time_);
  if (wake_time_ != 0) WakeUpAt(wake_time_);
}

void WinUIMessagePump::HandleWorkMessage() {
  if (frame_ == nullptr) {
    InterlockedExchange(&work_posted_, 0);
    return;
  }
  // Reached when another message loop on this thread (a modal dialog's)
  // dispatched the message: one task per message, the next message brings
  // the next task.
  ProcessPumpReplacementMessage();
  if (frame_->delegate->RunReadyWork()) WakeUp();
}

LRESULT CALLBACK WinUIMessagePump::WindowProc(HWND window, UINT message,
                                              WPARAM wparam, LPARAM lparam) {
  // Only the pump's own timer and work message carry its address; a 0x401
  // or WM_TIMER from anyone else is not taken for one of them.
  auto* pump = reinterpret_cast<WinUIMessagePump*>(
      GetWindowLongPtrW(window, GWLP_USERDATA));
  if (pump != nullptr && wparam == reinterpret_cast<WPARAM>(pump)) {
    if (message == WM_TIMER) {
      pump->HandleTimerMessage();
      return 0;
    }
    if (message == kMsgPumpWork) {
      pump->HandleWorkMessage();
      return 0;
    }
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

// --------------------------------------------------------------
// WinIOMessagePump

WinIOMessagePump::WinIOMessagePump() {
  port_ = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
  if (port_ == nullptr) {
    BASEKIT_LOG(Failure, "CreateIoCompletionPort failed, error %lu",
                GetLastError());
  }
}

WinIOMessagePump::~WinIOMessagePump() {
  if (port_ != nullptr) CloseHandle(port_);
}

void WinIOMessagePump::WakeUp() {
  if (InterlockedExchange(&work_posted_, 1) != 0) return;
  if (!PostWakeUpCompletion()) {
    InterlockedExchange(&work_posted_, 0);
    BASEKIT_LOG(Failure, "posting the wake-up completion failed, error %lu",
                GetLastError());
  }
}

bool WinIOMessagePump::PostWakeUpCompletion() {
  return PostQueuedCompletionStatus(port_, 0, reinterpret_cast<ULONG_PTR>(this),
                                    reinterpret_cast<OVERLAPPED*>(this)) != 0;
}

bool WinIOMessagePump::RegisterIOHandler(HANDLE file,
                                         CompletionHandler* handler) {
  HANDLE port = CreateIoCompletionPort(file, port_,
                                       reinterpret_cast<ULONG_PTR>(handler), 1);
  if (port != port_) {
    BASEKIT_LOG(Failure, "associating a handle with the port failed, error %lu",
                GetLastError());
    return false;
  }
  return true;
}

void WinIOMessagePump::PumpLoop() {
  Delegate* delegate = frame_->delegate;
  for (;;) {
    bool did_work = delegate->RunReadyWork();
    if (quit_requested()) break;
    did_work |= WaitForIOCompletion(0);
    if (quit_requested()) break;
    did_work |= delegate->RunTimerWork(&wake_time_);
    if (quit_requested()) break;
    if (did_work) continue;

    did_work = delegate->RunIdleWork();
    if (quit_requested()) break;
    if (did_work) continue;

    WaitForIOCompletion(WaitDelayMs());
  }
}

bool WinIOMessagePump::WaitForIOCompletion(DWORD timeout_ms) {
  DWORD bytes = 0;
  ULONG_PTR key = 0;
  OVERLAPPED* overlapped = nullptr;
  DWORD error = 0;
  if (!GetQueuedCompletionStatus(port_, &bytes, &key, &overlapped,
                                 timeout_ms)) {
    if (overlapped == nullptr) {
      DWORD wait_error = GetLastError();
      if (wait_error != WAIT_TIMEOUT && !reported_wait_failure_) {
        reported_wait_failure_ = true;  // once: the pump may retry in a loop
        BASEKIT_LOG(Failure, "GetQueuedCompletionStatus failed, error %lu",
                    wait_error);
      }
      return false;
    }
    error = GetLastError();  // the overlapped operation failed
    bytes = 0;
  }
  if (key == reinterpret_cast<ULONG_PTR>(this) &&
      overlapped == reinterpret_cast<OVERLAPPED*>(this)) {
    InterlockedExchange(&work_posted_, 0);
    return true;
  }
  auto* context = reinterpret_cast<CompletionContext*>(overlapped);
  if (context->handler == nullptr) {
    delete context;
    return true;
  }
  io_observers_.ForEach(
      [](IOObserver* observer) { observer->WillProcessIOEvent(); });
  reinterpret_cast<CompletionHandler*>(key)->HandleCompletion(context, bytes,
                                                              error);
  io_observers_.ForEach(
      [](IOObserver* observer) { observer->DidProcessIOEvent(); });
  return true;
}

}  // namespace basekit

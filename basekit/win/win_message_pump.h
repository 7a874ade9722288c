#pragma once

// The Windows pumps: WinUIMessagePump waits on the thread's window messages
// (a hidden message-only window receives the wake-ups and timers) and
// WinIOMessagePump waits on an I/O completion port.
//
// Thread affinity: WakeUp from any thread. Construction, Run, Quit,
// WakeUpAt, observers and destruction on the loop's thread only (a window
// belongs to the thread that created it).

#include <windows.h>

#include <cstdint>

#include "basekit/loop/message_pump.h"
#include "basekit/task/observer_list.h"

namespace basekit {

// Posted to the pump's window to make it do work; wParam is the pump.
inline constexpr UINT kMsgPumpWork = WM_USER + 1;
// The code the pump passes to the message filter hook (CallMsgFilter).
inline constexpr int kMessageFilterCode = 0x5001;

class WinMessagePump : public MessagePump {
 public:
  // Runs PumpLoop in a new frame; nested runs each get their own frame and
  // Quit ends only the innermost one.
  void Run(Delegate* delegate) override;
  void Quit() override;

  bool is_running() const { return frame_ != nullptr; }

 protected:
  struct PumpFrame {
    int depth = 1;
    bool quit = false;
    Delegate* delegate = nullptr;
  };

  ~WinMessagePump() override = default;

  // One run of the pump's cycle until the current frame's quit is set.
  virtual void PumpLoop() = 0;

  bool quit_requested() const { return frame_->quit; }
  // Milliseconds to wait for wake_time_ (INFINITE when no timer).
  DWORD WaitDelayMs() const;

  int64_t wake_time_ = 0;
  // 1 while a wake-up message or completion is outstanding; changed only by
  // interlocked exchange so that at most one is posted at a time.
  volatile LONG work_posted_ = 0;
  PumpFrame* frame_ = nullptr;
};

class WinUIMessagePump : public WinMessagePump {
 public:
  class UIObserver {
   public:
    virtual ~UIObserver() = default;
    virtual void BeforeMessage(const MSG& message) = 0;
    virtual void AfterMessage(const MSG& message) = 0;
  };

  // Creates the hidden message-only window. When that fails (logged) the
  // pump still works: its wake-ups become thread messages to the pump's
  // own thread and its timers are kept by the wait alone.
  WinUIMessagePump();

  // Any thread. Posts kMsgPumpWork unless one is already outstanding. When
  // the post fails the flag is cleared, so a later WakeUp posts again.
  void WakeUp() override;
  // (Re)starts the window timer for run_time, at least kMinTimerDelayMs.
  void WakeUpAt(int64_t run_time) override;

  void AddUIObserver(UIObserver* observer) {
    ui_observers_.AddObserver(observer);
  }
  void RemoveUIObserver(UIObserver* observer) {
    ui_observers_.RemoveObserver(observer);
  }

  HWND window() const { return window_; }
  int64_t wake_time_for_testing() const { return wake_time_; }
  LONG work_posted_for_testing() const { return work_posted_; }

 protected:
  // Tests: create_window false gives the pump of a failed window creation.
  explicit WinUIMessagePump(bool create_window);
  ~WinUIMessagePump() override;

  void PumpLoop() override;
  virtual void BeforeMessage(const MSG& message);
  virtual void AfterMessage(const MSG& message);
  // Posts kMsgPumpWork to the window; false when the post failed.
  virtual bool PostWorkMessage();

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam,
                                     LPARAM lparam);

  bool ProcessNextWindowsMessage();
  bool ProcessMessage(const MSG& message);
  bool ProcessPumpReplacementMessage();
  void HandleTimerMessage();
  void HandleWorkMessage();
  void WaitForWork();

  HWND window_ = nullptr;
  // The pump's thread: the target of the wake-ups when there is no window.
  DWORD thread_id_ = 0;
  ObserverList<UIObserver> ui_observers_;
};

class CompletionHandler;

// What a caller hands to an overlapped operation: the platform record first,
// then the handler. A context is allocated with new; the pump deletes a
// context that arrives with a null handler.
struct CompletionContext {
  OVERLAPPED overlapped;
  CompletionHandler* handler;
};

class CompletionHandler {
 public:
  virtual ~CompletionHandler() = default;
  // Loop thread. error is 0 or the platform error of the failed operation.
  virtual void HandleCompletion(CompletionContext* context,
                                DWORD bytes_transferred, DWORD error) = 0;
};

class WinIOMessagePump : public WinMessagePump {
 public:
  class IOObserver {
   public:
    virtual ~IOObserver() = default;
    virtual void WillProcessIOEvent() = 0;
    virtual void DidProcessIOEvent() = 0;
  };

  // Creates the completion port (concurrency 1; failure is logged).
  WinIOMessagePump();

  // Any thread. Posts a wake-up completion unless one is outstanding; a
  // failed post clears the flag so a later WakeUp posts again.
  void WakeUp() override;
  void WakeUpAt(int64_t run_time) override { wake_time_ = run_time; }

  // Loop thread. Associates an overlapped file or socket with the port;
  // its completions go to handler (the completion key).
  bool RegisterIOHandler(HANDLE file, CompletionHandler* handler);

  void AddIOObserver(IOObserver* observer) {
    io_observers_.AddObserver(observer);
  }
  void RemoveIOObserver(IOObserver* observer) {
    io_observers_.RemoveObserver(observer);
  }

  HANDLE port() const { return port_; }
  LONG work_posted_for_testing() const { return work_posted_; }

 protected:
  ~WinIOMessagePump() override;

  void PumpLoop() override;
  // Posts the wake-up completion; false when the post failed.
  virtual bool PostWakeUpCompletion();

 private:
  // Handles at most one completion; false when none came within timeout_ms.
  bool WaitForIOCompletion(DWORD timeout_ms);

  HANDLE port_ = nullptr;
  bool reported_wait_failure_ = false;
  ObserverList<IOObserver> io_observers_;
};

}  // namespace basekit

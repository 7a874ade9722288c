#pragma once

// basekit::Thread wraps one native thread; basekit::FrameworkThread is a
// thread that owns a MessageLoop, runs it until told to quit and is stopped
// by posting a ThreadQuitTask and waiting for the thread to end.
//
//   FrameworkThread worker("repair thread");
//   if (worker.Start(kLoopTypeDefault))
//     worker.message_loop()->PostTask(MakeRunnableMethod(service, &S::Step));
//   ...
//   worker.Stop();  // runs what is queued, then waits for the thread
//
// Thread affinity: Create, Start, Stop and destruction on the owner thread;
// Run, Init, CleanUp and every task on the new thread. There are no
// time-outs: Start waits for the loop, Stop waits for the thread.

#include <atomic>
#include <cstdint>
#include <string>

#include "basekit/loop/message_loop.h"
#include "basekit/thread/lock.h"
#include "basekit/thread/platform_thread.h"
#include "basekit/thread/waitable_event.h"

namespace basekit {

// 0 or negative leaves the system default; see PlatformPriorityFor.
using ThreadPriority = int32_t;

inline constexpr ThreadPriority kThreadPriorityDefault = 0;
inline constexpr ThreadPriority kThreadPriorityLowest = 1;
inline constexpr ThreadPriority kThreadPriorityBelowNormal = 2;
inline constexpr ThreadPriority kThreadPriorityHighest = 3;
inline constexpr ThreadPriority kThreadPriorityTimeCritical = 4;

// The platform priority a ThreadPriority sets right after creation: false
// when the priority is left untouched. 1 -> -2, 2 -> -1, 3 -> 2, 4 -> 15,
// any other positive value -> -1.
bool PlatformPriorityFor(ThreadPriority priority, int* platform_priority);

class Thread {
 public:
  Thread() = default;
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  // Waits for the thread to end on its own (a plain Thread is never told to
  // stop), then closes its handle. A subclass whose Run uses the subclass's
  // own members calls JoinAndClose in its own destructor, before they go.
  virtual ~Thread();

  // Owner thread: starts a native thread that calls Run(). False (and
  // nothing changed) when the platform refuses.
  bool Create();

  // The thread body; empty by default.
  virtual void Run() {}

  uint32_t thread_id() const {
    return thread_id_.load(std::memory_order_acquire);
  }
  bool has_handle() const { return handle_ != nullptr; }
  ThreadPriority priority() const { return priority_; }
  // Takes effect at the next Create.
  void set_priority(ThreadPriority priority) { priority_ = priority; }

 protected:
  // Waits for the thread without time limit and closes the handle; a
  // failed wait terminates the thread. No-op without a handle.
  void JoinAndClose();

  // Written by the owner (Create) and by the thread itself, read by both.
  std::atomic<uint32_t> thread_id_{0};

 private:
  static unsigned ThreadEntry(void* argument);

  PlatformThreadHandle handle_ = nullptr;
  ThreadPriority priority_ = kThreadPriorityDefault;
};

class FrameworkThread : public Thread {
 public:
  explicit FrameworkThread(const char* name);
  // Stops the thread (see Stop).
  ~FrameworkThread() override;

  // Owner thread. Starts the thread with a loop of the given type and waits
  // until the loop exists and Init() has run, so the owner may post as soon
  // as this returns true. True without doing anything when the thread
  // already runs; false when the platform could not start a thread.
  bool Start(LoopType loop_type = kLoopTypeDefault);

  // Owner thread. Posts a ThreadQuitTask (once) and waits for the thread:
  // every task posted before, and any posted before the loop goes idle,
  // still runs. No-op when not started. The thread may be started again.
  void Stop();

  // The thread's loop; null unless the thread body runs. Valid for posting
  // from the end of Start until Stop.
  MessageLoop* message_loop() const {
    return loop_.load(std::memory_order_acquire);
  }
  const std::string& name() const { return name_; }
  bool started() const { return started_; }
  LoopType loop_type() const { return loop_type_; }

 protected:
  // On the new thread, after the loop exists and before Start returns.
  virtual void Init() {}
  // On the new thread, after the loop's Run has returned, before the loop
  // (and what is still queued) is destroyed.
  virtual void CleanUp() {}

  void Run() override;

 private:
  bool started_ = false;
  bool quit_posted_ = false;
  LoopType loop_type_ = kLoopTypeDefault;
  std::atomic<MessageLoop*> loop_{nullptr};
  // Set by the thread body next to signalling start_event_; Start falls
  // back on it should the wait on the event fail.
  std::atomic<bool> loop_ready_{false};
  // Held while posting the quit task and while the thread body drops the
  // loop, so Stop never posts to a loop that is being destroyed.
  Lock loop_lock_;
  WaitableEvent start_event_;
  std::string name_;
};

// Creates the loop for a loop type on the calling thread: the UI and IO
// loops on Windows; a default loop for every type elsewhere.
MessageLoop* CreateMessageLoop(LoopType type);

}  // namespace basekit

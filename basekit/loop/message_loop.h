#pragma once

// basekit::MessageLoop: the per-thread task queue and run loop.
//
// Any thread posts tasks; the loop's own thread runs them one at a time,
// in the order in which they entered the loop's inbox, inside Run(). The
// waiting is done by a MessagePump, which calls back through the Delegate
// operations.
//
// There is no immediate quit: QuitWhenIdle (or a posted ThreadQuitTask)
// lets the loop run every task that is ready, including tasks posted after
// the request, and Run returns when a pass finds nothing left to do.
//
// Nesting: a task may call Run again. Inside a nested run only nestable
// tasks run (and only while SetNestableTasksAllowed(true) is in effect);
// non-nestable ones, which is everything PostTask posts, wait in the
// deferred queue for the outermost run.
//
// Thread affinity: PostTask, PostDelayedTask and PostNestableTask from any
// thread. Construction, Run, destruction and everything else on the loop's
// thread only. A loop must be constructed on the thread that runs it.

#include <cstdint>
#include <deque>
#include <vector>

#include <boost/noncopyable.hpp>

#include "basekit/loop/message_pump.h"
#include "basekit/task/observer_list.h"
#include "basekit/task/ref_count.h"
#include "basekit/task/task.h"
#include "basekit/thread/lock.h"

namespace basekit {

enum LoopType : int32_t {
  kLoopTypeDefault = 0,
  kLoopTypeUI = 1,
  kLoopTypeIO = 2,
};

// One entry of a loop's queues; every copy holds a reference on the task.
struct QueuedTask {
  RefPtr<Task> task;
  int64_t run_time = 0;   // monotonic microseconds; 0 = as soon as possible
  int32_t sequence = 0;   // set when the record enters the timer queue
  bool nestable = false;  // may run inside a nested Run
};

class MessageLoop : public MessagePump::Delegate, private boost::noncopyable {
 public:
  class TaskObserver {
   public:
    virtual ~TaskObserver() = default;
    virtual void WillRunTask() = 0;
    virtual void DidRunTask() = 0;
  };

  class DestructionObserver {
   public:
    virtual ~DestructionObserver() = default;
    // Called on the loop's thread once pending tasks have been released,
    // before the loop stops being the thread's current loop.
    virtual void LoopWillBeDestroyed() = 0;
  };

  // A default loop with a DefaultMessagePump, made the calling thread's
  // current loop.
  MessageLoop();
  // A loop of the given type over the given pump (platform loops, tests).
  MessageLoop(LoopType type, RefPtr<MessagePump> pump);
  // Releases every pending task without running it (see the .cpp for the
  // passes), then clears the thread's current loop.
  ~MessageLoop() override;

  // The calling thread's loop, or null.
  static MessageLoop* Current();

  // Any thread. Queues a non-nestable task to run as soon as possible; the
  // loop takes over the caller's reference count of 0 or more. Never fails
  // (out of memory raises std::bad_alloc to the poster). Null is ignored.
  void PostTask(Task* task);
  // Any thread. Queues a non-nestable task that runs no earlier than
  // delay_ms milliseconds from now.
  void PostDelayedTask(Task* task, int64_t delay_ms);
  // Any thread. Queues a task that may also run inside a nested Run.
  void PostNestableTask(Task* task);

  // Runs the loop until it is asked to quit and goes idle. May nest.
  void Run();
  // Asks the innermost active Run to return once no ready work is left.
  // Does nothing when the loop is not running.
  void QuitWhenIdle();

  // Whether tasks may run now. False while a task runs; a task that starts a
  // nested Run sets it to true to let nestable tasks run inside.
  void SetNestableTasksAllowed(bool allowed) { tasks_allowed_ = allowed; }
  bool NestableTasksAllowed() const { return tasks_allowed_; }

  bool in_modal_loop() const { return in_modal_loop_; }
  void set_in_modal_loop(bool value) { in_modal_loop_ = value; }

  LoopType type() const { return type_; }
  bool is_running() const { return run_frame_ != nullptr; }
  // 1 for the outermost Run, more when nested, 0 when not running.
  int run_depth() const;
  MessagePump* pump() const { return pump_.get(); }

  void AddTaskObserver(TaskObserver* observer);
  void RemoveTaskObserver(TaskObserver* observer);
  void AddDestructionObserver(DestructionObserver* observer);
  void RemoveDestructionObserver(DestructionObserver* observer);

  // MessagePump::Delegate (loop thread, called by the pump).
  bool RunReadyWork() override;
  bool RunTimerWork(int64_t* next_run_time) override;
  bool RunIdleWork() override;

 private:
  struct RunFrame {
    int depth = 1;
    bool quit_requested = false;
  };

  // Orders the timer heap: earliest run_time on top, then lower sequence.
  struct LaterTimer {
    bool operator()(const QueuedTask& a, const QueuedTask& b) const;
  };

  void AddToInbox(QueuedTask record);
  void ReloadReadyQueue();
  void PushTimer(QueuedTask record);
  QueuedTask PopTimer();
  void RunTask(QueuedTask record);
  bool ReleasePendingTasks();

  LoopType type_ = kLoopTypeDefault;
  RunFrame* run_frame_ = nullptr;
  RefPtr<MessagePump> pump_;
  bool in_modal_loop_ = false;
  bool tasks_allowed_ = true;
  bool closed_ = false;  // set under inbox_lock_ at the end of destruction

  std::deque<QueuedTask> inbox_;  // the only member other threads touch
  Lock inbox_lock_;
  std::deque<QueuedTask> ready_queue_;
  std::deque<QueuedTask> deferred_queue_;
  std::vector<QueuedTask> timer_queue_;  // heap ordered by LaterTimer

  int32_t next_sequence_ = 0;
  int64_t recent_now_ = 0;

  ObserverList<TaskObserver> task_observers_;
  ObserverList<DestructionObserver> destruction_observers_;
};

}  // namespace basekit

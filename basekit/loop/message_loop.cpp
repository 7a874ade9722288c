#include "basekit/loop/message_loop.h"

#include <algorithm>
#include <atomic>
#include <utility>

#include "basekit/log/log.h"
#include "basekit/loop/default_message_pump.h"
#include "basekit/loop/monotonic_clock.h"
#include "basekit/thread/platform_thread.h"

namespace basekit {

namespace {

constexpr const char* kLogSource = "message_loop";

// The thread-local slot of the current loop, allocated once per process:
// the state word goes 0 -> 1 (one thread allocating) -> 2 (ready).
std::atomic<int> g_slot_state{0};
PlatformTlsSlot g_slot = 0;
bool g_slot_valid = false;

bool EnsureSlot() {
  int state = g_slot_state.load(std::memory_order_acquire);
  if (state != 2) {
    int expected = 0;
    if (g_slot_state.compare_exchange_strong(expected, 1,
                                             std::memory_order_acq_rel)) {
      g_slot_valid = PlatformTlsAlloc(&g_slot);
      g_slot_state.store(2, std::memory_order_release);
    } else {
      while (g_slot_state.load(std::memory_order_acquire) != 2) PlatformYield();
    }
  }
  return g_slot_valid;
}

void SetCurrentLoop(MessageLoop* loop) {
  if (EnsureSlot()) PlatformTlsSet(g_slot, loop);
}

// At most this many release passes when a loop is destroyed: a task whose
// destructor posts to the dying loop must not keep it alive forever.
constexpr int kMaxReleasePasses = 100;

}  // namespace

void ThreadQuitTask::Run() {
  if (MessageLoop* loop = MessageLoop::Current()) loop->QuitWhenIdle();
}

MessageLoop::MessageLoop()
    : MessageLoop(kLoopTypeDefault,
                  RefPtr<MessagePump>(new DefaultMessagePump)) {}

MessageLoop::MessageLoop(LoopType type, RefPtr<MessagePump> pump)
    : type_(type), pump_(std::move(pump)) {
  SetCurrentLoop(this);
}

MessageLoop::~MessageLoop() {
  // Pass: release, reload the inbox, release again. Releasing may delete
  // tasks whose destructors post more work here; the second release gets
  // those. Another pass only while timer records kept turning up.
  for (int pass = 0; pass < kMaxReleasePasses; ++pass) {
    ReleasePendingTasks();
    ReloadReadyQueue();
    if (!ReleasePendingTasks()) break;
  }

  destruction_observers_.ForEach(
      [](DestructionObserver* observer) { observer->LoopWillBeDestroyed(); });

  SetCurrentLoop(nullptr);

  // Whatever the passes left behind goes without running.
  task_observers_.Clear();
  destruction_observers_.Clear();
  while (!timer_queue_.empty()) PopTimer();
  deferred_queue_.clear();
  ready_queue_.clear();
  // Tasks deleted here may still post here; their posts land in the inbox
  // (no wake-up any more) and are drained in a bounded number of rounds.
  for (int round = 0; round < kMaxReleasePasses; ++round) {
    std::deque<QueuedTask> inbox;
    {
      AutoLock hold(inbox_lock_);
      closed_ = true;
      inbox.swap(inbox_);
    }
    if (inbox.empty()) break;
    inbox.clear();
  }
  // Only a task chain that re-posts itself forever gets here. Deleting the
  // rest could post into the inbox while it is destroyed, so it is leaked.
  AutoLock hold(inbox_lock_);
  if (!inbox_.empty()) {
    BASEKIT_LOG(Failure, "%u tasks kept re-posting to a destroyed loop; leaked",
                static_cast<unsigned>(inbox_.size()));
    for (QueuedTask& record : inbox_) record.task.leak_ref();
  }
  pump_.reset();
}

MessageLoop* MessageLoop::Current() {
  if (g_slot_state.load(std::memory_order_acquire) != 2 || !g_slot_valid)
    return nullptr;
  return static_cast<MessageLoop*>(PlatformTlsGet(g_slot));
}

void MessageLoop::PostTask(Task* task) {
  if (task == nullptr) return;
  QueuedTask record;
  record.task = task;
  AddToInbox(std::move(record));
}

void MessageLoop::PostDelayedTask(Task* task, int64_t delay_ms) {
  if (task == nullptr) return;
  QueuedTask record;
  record.task = task;
  // Bounded (about 35 years) so that the run time cannot overflow into the
  // past. 0 means "as soon as possible", so a due time never reads as 0.
  constexpr int64_t kMaxDelayMs = int64_t{1} << 40;
  record.run_time =
      MonotonicNow() + std::clamp<int64_t>(delay_ms, 0, kMaxDelayMs) * 1000;
  if (record.run_time == 0) record.run_time = 1;
  AddToInbox(std::move(record));
}

void MessageLoop::PostNestableTask(Task* task) {
  if (task == nullptr) return;
  QueuedTask record;
  record.task = task;
  record.nestable = true;
  AddToInbox(std::move(record));
}

void MessageLoop::AddToInbox(QueuedTask record) {
  RefPtr<MessagePump> pump;
  {
    AutoLock hold(inbox_lock_);
    bool was_empty = inbox_.empty();
    inbox_.push_back(std::move(record));
    // Nothing to wake once the loop is being destroyed (see ~MessageLoop),
    // nor when a wake-up is already on its way.
    if (closed_ || !was_empty) return;
    pump = pump_;
  }
  // Outside the lock; the reference keeps the pump alive should the loop
  // be destroyed meanwhile.
  pump->WakeUp();
}

void MessageLoop::Run() {
  RunFrame frame;
  frame.depth = run_frame_ != nullptr ? run_frame_->depth + 1 : 1;
  RunFrame* previous = std::exchange(run_frame_, &frame);
  struct Restore {
    MessageLoop* loop;
    RunFrame* previous;
    ~Restore() { loop->run_frame_ = previous; }
  } restore{this, previous};
  pump_->Run(this);
}

void MessageLoop::QuitWhenIdle() {
  if (run_frame_ != nullptr) run_frame_->quit_requested = true;
}

int MessageLoop::run_depth() const {
  return run_frame_ != nullptr ? run_frame_->depth : 0;
}

void MessageLoop::AddTaskObserver(TaskObserver* observer) {
  task_observers_.AddObserver(observer);
}
void MessageLoop::RemoveTaskObserver(TaskObserver* observer) {
  task_observers_.RemoveObserver(observer);
}
void MessageLoop::AddDestructionObserver(DestructionObserver* observer) {
  destruction_observers_.AddObserver(observer);
}
void MessageLoop::RemoveDestructionObserver(DestructionObserver* observer) {
  destruction_observers_.RemoveObserver(observer);
}

void MessageLoop::ReloadReadyQueue() {
  if (!ready_queue_.empty()) return;
  AutoLock hold(inbox_lock_);
  if (!inbox_.empty()) ready_queue_.swap(inbox_);
}

bool MessageLoop::LaterTimer::operator()(const QueuedTask& a,
                                         const QueuedTask& b) const {
  if (a.run_time != b.run_time) return a.run_time > b.run_time;
  return a.sequence > b.sequence;
}

void MessageLoop::PushTimer(QueuedTask record) {
  record.sequence = next_sequence_;
  // Wraps instead of overflowing (signed overflow is undefined).
  next_sequence_ =
      static_cast<int32_t>(static_cast<uint32_t>(next_sequence_) + 1u);
  timer_queue_.push_back(std::move(record));
  std::push_heap(timer_queue_.begin(), timer_queue_.end(), LaterTimer());
}

QueuedTask MessageLoop::PopTimer() {
  std::pop_heap(timer_queue_.begin(), timer_queue_.end(), LaterTimer());
  QueuedTask record = std::move(timer_queue_.back());
  timer_queue_.pop_back();
  return record;
}

bool MessageLoop::RunReadyWork() {
  if (!tasks_allowed_) return false;
  for (;;) {
    ReloadReadyQueue();
    if (ready_queue_.empty()) return false;
    while (!ready_queue_.empty()) {
      QueuedTask record = std::move(ready_queue_.front());
      ready_queue_.pop_front();
      if (record.run_time != 0) {
        const int64_t run_time = record.run_time;
        const int32_t sequence = next_sequence_;
        PushTimer(std::move(record));
        if (timer_queue_.front().sequence == sequence)
          pump_->WakeUpAt(run_time);
        continue;
      }
      if (record.nestable || run_depth() == 1) {
        RunTask(std::move(record));
        return true;
      }
      deferred_queue_.push_back(std::move(record));
    }
  }
}

bool MessageLoop::RunTimerWork(int64_t* next_run_time) {
  if (!tasks_allowed_ || timer_queue_.empty()) {
    recent_now_ = 0;
    *next_run_time = 0;
    return false;
  }
  int64_t top_time = timer_queue_.front().run_time;
  if (top_time > recent_now_) {
    recent_now_ = MonotonicNow();
    if (top_time > recent_now_) {
      *next_run_time = top_time;
      return false;
    }
  }
  QueuedTask record = PopTimer();
  if (!timer_queue_.empty()) *next_run_time = timer_queue_.front().run_time;
  if (record.nestable || run_depth() == 1) {
    RunTask(std::move(record));
    return true;
  }
  deferred_queue_.push_back(std::move(record));
  return false;
}

bool MessageLoop::RunIdleWork() {
  if (run_depth() == 1 && !deferred_queue_.empty()) {
    QueuedTask record = std::move(deferred_queue_.front());
    deferred_queue_.pop_front();
    RunTask(std::move(record));
    return true;
  }
  if (run_frame_ != nullptr && run_frame_->quit_requested) pump_->Quit();
  return false;
}

void MessageLoop::RunTask(QueuedTask record) {
  // Restored even when the task throws, so a later Run can run tasks again;
  // the record (and possibly the task) is dropped on the way out.
  struct AllowTasksAgain {
    MessageLoop* loop;
    ~AllowTasksAgain() { loop->tasks_allowed_ = true; }
  } allow_again{this};
  tasks_allowed_ = false;
  task_observers_.ForEach(
      [](TaskObserver* observer) { observer->WillRunTask(); });
  record.task->Run();
  task_observers_.ForEach(
      [](TaskObserver* observer) { observer->DidRunTask(); });
}

bool MessageLoop::ReleasePendingTasks() {
  while (!ready_queue_.empty()) {
    QueuedTask record = std::move(ready_queue_.front());
    ready_queue_.pop_front();
    if (record.run_time != 0) PushTimer(std::move(record));
  }
  deferred_queue_.clear();
  bool had_timers = !timer_queue_.empty();
  while (!timer_queue_.empty()) PopTimer();
  return had_timers;
}

}  // namespace basekit

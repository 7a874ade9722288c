#include "basekit/thread/thread.h"

#include "basekit/log/log.h"

namespace basekit {

namespace {

constexpr const char* kLogSource = "thread";

}  // namespace

bool PlatformPriorityFor(ThreadPriority priority, int* platform_priority) {
  switch (priority) {
    case kThreadPriorityLowest:
      *platform_priority = -2;
      return true;
    case kThreadPriorityBelowNormal:
      *platform_priority = -1;
      return true;
    case kThreadPriorityHighest:
      *platform_priority = 2;
      return true;
    case kThreadPriorityTimeCritical:
      *platform_priority = 15;
      return true;
    default:
      if (priority <= 0) return false;
      *platform_priority = -1;
      return true;
  }
}

Thread::~Thread() { JoinAndClose(); }

bool Thread::Create() {
  // A thread that ended on its own still has its handle: reap it first.
  JoinAndClose();
  uint32_t id = 0;
  PlatformThreadHandle handle =
      PlatformCreateThread(&Thread::ThreadEntry, this, &id);
  if (handle == nullptr) {
    thread_id_.store(0, std::memory_order_release);
    return false;
  }
  handle_ = handle;
  // The thread may already have stored its id itself; it is the same value.
  thread_id_.store(id, std::memory_order_release);
  int platform_priority = 0;
  if (PlatformPriorityFor(priority_, &platform_priority)) {
    PlatformSetThreadPriority(handle_, platform_priority);
  }
  return true;
}

unsigned Thread::ThreadEntry(void* argument) {
  if (argument != nullptr) static_cast<Thread*>(argument)->Run();
  return 0;
}

void Thread::JoinAndClose() {
  if (handle_ == nullptr) return;
  if (!PlatformJoinThread(handle_)) PlatformTerminateThread(handle_);
  PlatformCloseThread(handle_);
  handle_ = nullptr;
  thread_id_.store(0, std::memory_order_release);
}

FrameworkThread::FrameworkThread(const char* name)
    : name_(name != nullptr ? name : "") {}

FrameworkThread::~FrameworkThread() { Stop(); }

bool FrameworkThread::Start(LoopType loop_type) {
  if (thread_id() != 0) return true;
  if (message_loop() != nullptr) {
    BASEKIT_LOG(Failure, "%s: start refused, the old loop still exists",
                name_.c_str());
    return false;
  }
  loop_type_ = loop_type;
  loop_ready_.store(false, std::memory_order_release);
  if (!Create()) {
    BASEKIT_LOG(Failure, "%s: the thread could not be created", name_.c_str());
    return false;
  }
  if (!start_event_.Wait()) {
    // Returning now would let the owner post to a loop that does not exist
    // yet, and a Stop that finds no loop would wait for ever.
    BASEKIT_LOG(Failure, "%s: waiting for the start failed; polling instead",
                name_.c_str());
    while (!loop_ready_.load(std::memory_order_acquire)) PlatformYield();
  }
  started_ = true;
  return true;
}

void FrameworkThread::Stop() {
  if (!started_) return;
  if (!quit_posted_) {
    AutoLock hold(loop_lock_);
    if (MessageLoop* loop = message_loop()) {
      quit_posted_ = true;
      loop->PostTask(new ThreadQuitTask);
    }
  }
  JoinAndClose();
  started_ = false;
  quit_posted_ = false;
}

void FrameworkThread::Run() {
  thread_id_.store(PlatformCurrentThreadId(), std::memory_order_release);
  MessageLoop* loop = CreateMessageLoop(loop_type_);
  loop_.store(loop, std::memory_order_release);
  Init();
  loop_ready_.store(true, std::memory_order_release);
  start_event_.Signal();

  loop->Run();

  CleanUp();
  {
    AutoLock hold(loop_lock_);
    loop_.store(nullptr, std::memory_order_release);
  }
  delete loop;  // pending tasks are released unrun
  thread_id_.store(0, std::memory_order_release);
}

}  // namespace basekit

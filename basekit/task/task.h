#pragma once

// Units of work that one thread hands to another thread's MessageLoop.
//
// A task is created with count 0 and given straight to MessageLoop::PostTask;
// the loop runs it once on its own thread and drops it, and the last holder
// deletes it. A task still queued when its loop is destroyed is deleted
// without running.
//
// Thread affinity: construction and posting on the posting thread; Run and,
// normally, destruction on the loop's thread; AddRef/Release anywhere.
// Cancel is not synchronised with Run: call it on the loop's thread, or
// before posting.

#include <cstdint>
#include <tuple>
#include <utility>

#include "basekit/task/ref_count.h"

namespace basekit {

class Task : public ThreadSafeRefCount {
 public:
  // Does the work. Called at most once, on the thread of the loop that holds
  // the task.
  virtual void Run() = 0;

 protected:
  Task() = default;
  ~Task() override = default;
};

class CancelableTask : public Task {
 public:
  // Makes a later Run do nothing; the task still passes through the queues
  // and is deleted normally.
  virtual void Cancel() = 0;

 protected:
  ~CancelableTask() override = default;
};

// The argument list of a RunnableMethod.
using Tuple0 = std::tuple<>;

// Calls a method on an object that it does NOT keep alive: the object must
// outlive every RunnableMethod that names it (or the task must be cancelled
// first). A null object makes Run do nothing.
template <typename T, typename Method, typename Params>
class RunnableMethod : public CancelableTask {
 public:
  RunnableMethod(T* object, Method method, Params params)
      : object_(object), method_(method), params_(std::move(params)) {}

  void Run() override {
    if (object_ == nullptr) return;
    std::apply([this](auto&... args) { (object_->*method_)(args...); },
               params_);
  }

  void Cancel() override { object_ = nullptr; }

  T* object_for_testing() const { return object_; }

 protected:
  // The marker makes a use after free of a dead task recognisable in a
  // debugger or crash dump.
  ~RunnableMethod() override {
    object_ = reinterpret_cast<T*>(static_cast<uintptr_t>(0xDEAD7A53u));
  }

 private:
  T* object_;
  Method method_;
  Params params_;
};

// Returns a new task (count 0) that calls (object->*method)(args...); the
// arguments are copied into the task. Give it straight to PostTask.
template <typename T, typename U, typename... MethodArgs, typename... Args>
RunnableMethod<T, void (T::*)(MethodArgs...),
               std::tuple<std::decay_t<Args>...>>*
MakeRunnableMethod(U* object, void (T::*method)(MethodArgs...),
                   Args&&... args) {
  return new RunnableMethod<T, void (T::*)(MethodArgs...),
                            std::tuple<std::decay_t<Args>...>>(
      object, method,
      std::tuple<std::decay_t<Args>...>(std::forward<Args>(args)...));
}

// Asks the loop of the current thread to quit once it has no ready work
// left (MessageLoop::QuitWhenIdle). Tasks that arrive before the loop goes
// idle still run.
class ThreadQuitTask : public Task {
 public:
  ThreadQuitTask() = default;
  void Run() override;

 protected:
  ~ThreadQuitTask() override = default;
};

}  // namespace basekit

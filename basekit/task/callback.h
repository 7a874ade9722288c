#pragma once

// Bound callbacks: a method plus its receiver, stored in a reference-counted
// storage so that copies of the callback share it.
//
// The receiver is never retained: BindMethod stores a plain pointer, and the
// caller guarantees that the receiver lives whenever the callback is invoked
// and decides on which thread that happens. Copying a Callback copies one
// reference (any thread may copy or drop copies concurrently; invoking is
// not synchronised with anything).
//
//   Callback<void(ServiceCallbackParam*)> cb =
//       BindMethod(&CRepairForm::OnServiceCallback, form);
//   Invoke(cb, &param);

#include <type_traits>
#include <utility>

#include "basekit/task/ref_count.h"

namespace basekit {

namespace internal {

class InvokerStorageBase : public ThreadSafeRefCount {
 protected:
  ~InvokerStorageBase() override = default;
};

// Marks a receiver that is held by plain pointer, without a reference.
template <typename T>
struct UnretainedWrapper {
  T* ptr;
};

template <typename Method, typename Receiver>
class InvokerStorage1;

template <typename R, typename T, typename... Args>
class InvokerStorage1<R (T::*)(Args...), UnretainedWrapper<T>>
    : public InvokerStorageBase {
 public:
  using Method = R (T::*)(Args...);

  InvokerStorage1(Method method, UnretainedWrapper<T> receiver)
      : method_(method), receiver_(receiver) {}

  static R DoInvoke(InvokerStorageBase* base, Args... args) {
    auto* self = static_cast<InvokerStorage1*>(base);
    // Copied out first: gcc 12 with ASan miscompiles the combined expression.
    T* receiver = self->receiver_.ptr;
    Method method = self->method_;
    return (receiver->*method)(std::forward<Args>(args)...);
  }

 private:
  ~InvokerStorage1() override = default;

  // A member pointer carries the receiver adjustment for classes with
  // several bases, so the call reaches the right sub-object.
  Method method_;
  UnretainedWrapper<T> receiver_;
};

}  // namespace internal

template <typename T>
internal::UnretainedWrapper<T> Unretained(T* receiver) {
  return {receiver};
}

template <typename Signature>
class Callback;

template <typename R, typename... Args>
class Callback<R(Args...)> {
 public:
  using InvokeFunction = R (*)(internal::InvokerStorageBase*, Args...);

  Callback() = default;
  Callback(internal::InvokerStorageBase* storage, InvokeFunction invoke)
      : storage_(storage), invoke_(invoke) {}

  bool is_null() const { return !storage_; }
  void Reset() {
    storage_.reset();
    invoke_ = nullptr;
  }

  // Calls the bound method. Must not be called on a null callback.
  R Run(Args... args) const {
    return invoke_(storage_.get(), std::forward<Args>(args)...);
  }

  const internal::InvokerStorageBase* storage_for_testing() const {
    return storage_.get();
  }

 private:
  RefPtr<internal::InvokerStorageBase> storage_;
  InvokeFunction invoke_ = nullptr;
};

// Binds method to receiver (not retained). The receiver may be of a class
// derived from the method's class.
template <typename R, typename T, typename... Args>
Callback<R(Args...)> BindMethod(R (T::*method)(Args...),
                                internal::UnretainedWrapper<T> receiver) {
  using Storage = internal::InvokerStorage1<R (T::*)(Args...),
                                            internal::UnretainedWrapper<T>>;
  return Callback<R(Args...)>(new Storage(method, receiver),
                              &Storage::DoInvoke);
}

template <typename R, typename T, typename U, typename... Args>
requires std::is_convertible_v<U*, T*> Callback<R(Args...)> BindMethod(
    R (T::*method)(Args...), U* receiver) {
  return BindMethod(method, Unretained<T>(receiver));
}

// Invokes a callback; a null callback does nothing and yields R().
template <typename R, typename... Args, typename... CallArgs>
R Invoke(const Callback<R(Args...)>& callback, CallArgs&&... args) {
  if (callback.is_null()) return R();
  return callback.Run(std::forward<CallArgs>(args)...);
}

}  // namespace basekit

#pragma once

// Thread-safe reference counting for objects handed between threads (tasks,
// pumps, callback storages).
//
// Protocol: a counted object is created with count 0 and the first RefPtr
// raises it to 1. Nobody calls delete on a counted object; whoever drops the
// last reference deletes it, on whatever thread that happens.
//
// Thread affinity: AddRef and Release from any thread, concurrently. Nothing
// else of a counted object is synchronised.

#include <atomic>
#include <cstdint>
#include <utility>

namespace basekit {

class ThreadSafeRefCount {
 public:
  ThreadSafeRefCount(const ThreadSafeRefCount&) = delete;
  ThreadSafeRefCount& operator=(const ThreadSafeRefCount&) = delete;

  void AddRef() const { ref_count_.fetch_add(1, std::memory_order_relaxed); }

  // Deletes the object when this drops the last reference. The value before
  // the decrement decides, so exactly one thread sees 1 -> 0.
  void Release() const {
    if (ref_count_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
      delete this;
    }
  }

  int32_t ref_count_for_testing() const {
    return ref_count_.load(std::memory_order_acquire);
  }

 protected:
  ThreadSafeRefCount() = default;
  virtual ~ThreadSafeRefCount() = default;

 private:
  mutable std::atomic<int32_t> ref_count_{0};
};

// Holds one reference on a counted object (or nothing).
template <typename T>
class RefPtr {
 public:
  RefPtr() = default;
  RefPtr(std::nullptr_t) {}
  RefPtr(T* ptr) : ptr_(ptr) {
    if (ptr_) ptr_->AddRef();
  }
  RefPtr(const RefPtr& other) : RefPtr(other.ptr_) {}
  template <typename U>
  RefPtr(const RefPtr<U>& other) : RefPtr(other.get()) {}
  RefPtr(RefPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  template <typename U>
  RefPtr(RefPtr<U>&& other) noexcept : ptr_(other.leak_ref()) {}
  ~RefPtr() { reset(); }

  RefPtr& operator=(const RefPtr& other) {
    RefPtr(other).swap(*this);
    return *this;
  }
  RefPtr& operator=(RefPtr&& other) noexcept {
    RefPtr(std::move(other)).swap(*this);
    return *this;
  }
  RefPtr& operator=(T* ptr) {
    RefPtr(ptr).swap(*this);
    return *this;
  }

  // Drops the held reference (the object may be deleted here).
  void reset() {
    if (T* old = std::exchange(ptr_, nullptr)) old->Release();
  }
  void swap(RefPtr& other) noexcept { std::swap(ptr_, other.ptr_); }
  // Gives up ownership of the reference without releasing it.
  T* leak_ref() { return std::exchange(ptr_, nullptr); }

  T* get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  T& operator*() const { return *ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }

 private:
  T* ptr_ = nullptr;
};

template <typename T, typename U>
bool operator==(const RefPtr<T>& a, const RefPtr<U>& b) {
  return a.get() == b.get();
}
template <typename T>
bool operator==(const RefPtr<T>& a, std::nullptr_t) {
  return a.get() == nullptr;
}

}  // namespace basekit

#pragma once

// A non-recursive mutual-exclusion lock (a critical section with spin count
// 2000 on Windows, std::mutex elsewhere) and its scoped holder.

#include <boost/noncopyable.hpp>

namespace basekit {

class Lock : private boost::noncopyable {
 public:
  Lock();
  ~Lock();
  void Acquire();
  void Release();

 private:
  // Room for the platform object, checked by the implementation.
  alignas(8) unsigned char storage_[48];
};

class AutoLock : private boost::noncopyable {
 public:
  explicit AutoLock(Lock& lock) : lock_(lock) { lock_.Acquire(); }
  ~AutoLock() { lock_.Release(); }

 private:
  Lock& lock_;
};

}  // namespace basekit

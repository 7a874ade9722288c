#include "basekit/thread/lock.h"

#include <mutex>
#include <new>

namespace basekit {

namespace {
std::mutex* Native(unsigned char* storage) {
  return std::launder(reinterpret_cast<std::mutex*>(storage));
}
}  // namespace

Lock::Lock() {
  static_assert(sizeof(std::mutex) <= sizeof(storage_));
  static_assert(alignof(std::mutex) <= 8);
  new (storage_) std::mutex();
}

Lock::~Lock() { Native(storage_)->~mutex(); }

void Lock::Acquire() { Native(storage_)->lock(); }

void Lock::Release() { Native(storage_)->unlock(); }

}  // namespace basekit

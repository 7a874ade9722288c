#include "basekit/thread/lock.h"

#include <windows.h>

#include <new>

namespace basekit {

namespace {
// Short critical sections (append to a queue): spinning first avoids a
// kernel wait on a multi-core machine.
constexpr DWORD kSpinCount = 2000;

CRITICAL_SECTION* Native(unsigned char* storage) {
  return std::launder(reinterpret_cast<CRITICAL_SECTION*>(storage));
}
}  // namespace

Lock::Lock() {
  static_assert(sizeof(CRITICAL_SECTION) <= sizeof(storage_));
  static_assert(alignof(CRITICAL_SECTION) <= 8);
  // Cannot fail on Windows Vista and later.
  InitializeCriticalSectionAndSpinCount(new (storage_) CRITICAL_SECTION,
                                        kSpinCount);
}

Lock::~Lock() { DeleteCriticalSection(Native(storage_)); }

void Lock::Acquire() { EnterCriticalSection(Native(storage_)); }

void Lock::Release() { LeaveCriticalSection(Native(storage_)); }

}  // namespace basekit

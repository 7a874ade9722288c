#include "basekit/thread/platform_thread.h"

#include <windows.h>
#include <process.h>

#include "basekit/log/log.h"

namespace basekit {

namespace {

constexpr const char* kLogSource = "thread";

struct WinThreadStart {
  PlatformThreadEntry entry;
  void* argument;
};

unsigned __stdcall Trampoline(void* raw) {
  WinThreadStart start = *static_cast<WinThreadStart*>(raw);
  delete static_cast<WinThreadStart*>(raw);
  unsigned code = start.entry(start.argument);
  _endthreadex(code);
  return code;
}

}  // namespace

PlatformThreadHandle PlatformCreateThread(PlatformThreadEntry entry,
                                          void* argument, uint32_t* thread_id) {
  auto* start = new WinThreadStart{entry, argument};
  unsigned id = 0;
  uintptr_t handle = _beginthreadex(nullptr, 0, &Trampoline, start, 0, &id);
  // _beginthreadex reports failure as 0 (and the older starter as -1 == ~0,
  // which is not below 2; values 0 and 1 are never valid handles).
  if (handle < 2) {
    BASEKIT_LOG(Failure, "_beginthreadex failed, errno %d, error %lu", errno,
                GetLastError());
    delete start;
    *thread_id = 0;
    return nullptr;
  }
  *thread_id = id;
  return reinterpret_cast<PlatformThreadHandle>(handle);
}

bool PlatformJoinThread(PlatformThreadHandle handle) {
  DWORD result = WaitForSingleObject(static_cast<HANDLE>(handle), INFINITE);
  if (result != WAIT_OBJECT_0) {
    BASEKIT_LOG(Failure, "waiting for a thread failed: result %lu, error %lu",
                result, GetLastError());
    return false;
  }
  return true;
}

void PlatformTerminateThread(PlatformThreadHandle handle) {
  if (!TerminateThread(static_cast<HANDLE>(handle), 0)) {
    BASEKIT_LOG(Failure, "TerminateThread failed, error %lu", GetLastError());
  }
}

void PlatformCloseThread(PlatformThreadHandle handle) {
  if (!CloseHandle(static_cast<HANDLE>(handle))) {
    BASEKIT_LOG(Failure, "closing a thread handle failed, error %lu",
                GetLastError());
  }
}

bool PlatformSetThreadPriority(PlatformThreadHandle handle,
                               int platform_priority) {
  if (!SetThreadPriority(static_cast<HANDLE>(handle), platform_priority)) {
    BASEKIT_LOG(Failure, "SetThreadPriority(%d) failed, error %lu",
                platform_priority, GetLastError());
    return false;
  }
  return true;
}

uint32_t PlatformCurrentThreadId() { return GetCurrentThreadId(); }

void PlatformYield() { Sleep(0); }

bool PlatformTlsAlloc(PlatformTlsSlot* slot) {
  DWORD index = TlsAlloc();
  if (index == TLS_OUT_OF_INDEXES) {
    BASEKIT_LOG(Failure, "TlsAlloc failed, error %lu", GetLastError());
    return false;
  }
  *slot = index;
  return true;
}

void* PlatformTlsGet(PlatformTlsSlot slot) { return TlsGetValue(slot); }

void PlatformTlsSet(PlatformTlsSlot slot, void* value) {
  if (!TlsSetValue(slot, value)) {
    BASEKIT_LOG(Failure, "TlsSetValue failed, error %lu", GetLastError());
  }
}

}  // namespace basekit

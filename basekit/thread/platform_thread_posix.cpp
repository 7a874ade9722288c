#include "basekit/thread/platform_thread.h"

#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <cstring>

#include "basekit/log/log.h"

namespace basekit {

namespace {

constexpr const char* kLogSource = "thread";

// Thread ids are small numbers handed out in creation order; a thread that
// basekit did not create gets one on first request.
std::atomic<uint32_t> g_next_thread_id{1};
thread_local uint32_t t_thread_id = 0;

uint32_t NewThreadId() {
  uint32_t id = g_next_thread_id.fetch_add(1, std::memory_order_relaxed);
  return id != 0 ? id
                 : g_next_thread_id.fetch_add(1, std::memory_order_relaxed);
}

struct PosixThread {
  pthread_t thread;
  PlatformThreadEntry entry;
  void* argument;
  uint32_t id;
};

void* Trampoline(void* raw) {
  auto* self = static_cast<PosixThread*>(raw);
  t_thread_id = self->id;
  self->entry(self->argument);
  return nullptr;
}

}  // namespace

PlatformThreadHandle PlatformCreateThread(PlatformThreadEntry entry,
                                          void* argument, uint32_t* thread_id) {
  auto* thread = new PosixThread{{}, entry, argument, NewThreadId()};
  *thread_id = thread->id;
  int error = pthread_create(&thread->thread, nullptr, &Trampoline, thread);
  if (error != 0) {
    BASEKIT_LOG(Failure, "pthread_create failed: %s", strerror(error));
    delete thread;
    *thread_id = 0;
    return nullptr;
  }
  return thread;
}

bool PlatformJoinThread(PlatformThreadHandle handle) {
  auto* thread = static_cast<PosixThread*>(handle);
  int error = pthread_join(thread->thread, nullptr);
  if (error != 0) {
    BASEKIT_LOG(Failure, "pthread_join failed: %s", strerror(error));
    return false;
  }
  return true;
}

void PlatformTerminateThread(PlatformThreadHandle handle) {
  // There is no safe forced end of a pthread; let it finish on its own.
  auto* thread = static_cast<PosixThread*>(handle);
  pthread_detach(thread->thread);
  BASEKIT_LOG(Failure, "thread %u detached after a failed join", thread->id);
}

void PlatformCloseThread(PlatformThreadHandle handle) {
  delete static_cast<PosixThread*>(handle);
}

bool PlatformSetThreadPriority(PlatformThreadHandle, int) {
  // Linux needs privileges to raise a thread's priority; the native build
  // runs only tests and tools, so the system default stays.
  return true;
}

uint32_t PlatformCurrentThreadId() {
  if (t_thread_id == 0) t_thread_id = NewThreadId();
  return t_thread_id;
}

void PlatformYield() { sched_yield(); }

bool PlatformTlsAlloc(PlatformTlsSlot* slot) {
  pthread_key_t key;
  int error = pthread_key_create(&key, nullptr);
  if (error != 0) {
    BASEKIT_LOG(Failure, "pthread_key_create failed: %s", strerror(error));
    return false;
  }
  *slot = static_cast<PlatformTlsSlot>(key);
  return true;
}

void* PlatformTlsGet(PlatformTlsSlot slot) {
  return pthread_getspecific(static_cast<pthread_key_t>(slot));
}

void PlatformTlsSet(PlatformTlsSlot slot, void* value) {
  int error = pthread_setspecific(static_cast<pthread_key_t>(slot), value);
  if (error != 0) {
    BASEKIT_LOG(Failure, "pthread_setspecific failed: %s", strerror(error));
  }
}

}  // namespace basekit

#pragma once

// The native thread primitives behind basekit::Thread (the C runtime's
// thread starter and kernel handles on Windows, pthreads elsewhere).
//
// Thread affinity: any thread.

#include <cstdint>

namespace basekit {

using PlatformThreadHandle = void*;
using PlatformThreadEntry = unsigned (*)(void* argument);

// Starts entry(argument) on a new thread with default stack and security.
// Returns the handle (null on failure) and stores the new thread's id.
PlatformThreadHandle PlatformCreateThread(PlatformThreadEntry entry,
                                          void* argument, uint32_t* thread_id);
// Waits without time limit; false when the wait itself failed.
bool PlatformJoinThread(PlatformThreadHandle handle);
// Last resort after a failed wait.
void PlatformTerminateThread(PlatformThreadHandle handle);
void PlatformCloseThread(PlatformThreadHandle handle);
bool PlatformSetThreadPriority(PlatformThreadHandle handle,
                               int platform_priority);
// Never 0.
uint32_t PlatformCurrentThreadId();
// Gives up the rest of the time slice.
void PlatformYield();

}  // namespace basekit

namespace basekit {

// One process-wide thread-local pointer slot. Allocation fails only when
// the platform has no slots left (then 0 is returned and logged).
using PlatformTlsSlot = uint32_t;
bool PlatformTlsAlloc(PlatformTlsSlot* slot);
void* PlatformTlsGet(PlatformTlsSlot slot);
void PlatformTlsSet(PlatformTlsSlot slot, void* value);

}  // namespace basekit

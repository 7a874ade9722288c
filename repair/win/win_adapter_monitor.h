#pragma once

// The adapters' state as the IP helper reports it (GetAdaptersAddresses),
// and the monotonic clock. Every IP helper call of the repair's checks is
// in this file.

#include <windows.h>

#include "repair/system_seams.h"

namespace repair {

class WinAdapterMonitor : public AdapterMonitor {
 public:
  AdapterLookup Find(const AdapterIdentity& identity, AdapterState* state) override;

 private:
  // The last error logged: the monitor is polled, and a failing call is
  // logged once, not at every poll.
  unsigned long last_error_ = 0;
};

class WinClock : public Clock {
 public:
  uint64_t NowMs() override { return GetTickCount64(); }
};

}  // namespace repair

#pragma once

// The timers of one window's controls. A timer is identified by (control,
// the caller's id) and runs as a native timer of the window under a local
// id the table gives out: (previous local id + 1) modulo 255, counting from
// kIdSeed, so a window's first timer gets 17. A killed timer keeps its
// record and restarts under its old local id.
//
// The window is passed to each call (the host's may change or be absent);
// without one, nothing can be set and killing only marks the records.
// Thread affinity: UI thread only.

#include <cstdint>
#include <vector>

namespace Veneer {

class CControlUI;
class INativeWindowUI;

class CTimerTableUI {
 public:
  // The counter the local ids start from: the first is 17.
  static constexpr uint32_t kIdSeed = 4096;

  struct Timer {
    CControlUI* sender;
    uint32_t id;
    uint32_t local_id;
    bool killed;
  };

  // Starts (control, id); false when it runs already or the native timer
  // could not be set.
  bool Set(INativeWindowUI* window, CControlUI* control, uint32_t id, uint32_t elapse_ms);
  // Stops (control, id); false when it is not running.
  bool Kill(INativeWindowUI* window, CControlUI* control, uint32_t id);
  // Stops and forgets every timer of `control`.
  void Remove(INativeWindowUI* window, CControlUI* control);
  // Stops and forgets every timer.
  void Clear(INativeWindowUI* window);
  // The local id of (control, id), or -1.
  int GetLocalId(const CControlUI* control, uint32_t id) const;
  // The running timer with `local_id`, or null. The record may go while its
  // control handles the timer: copy what is needed first.
  const Timer* FindRunning(uint32_t local_id) const;

 private:
  std::vector<Timer> timers_;
  uint32_t counter_ = kIdSeed;
};

}  // namespace Veneer

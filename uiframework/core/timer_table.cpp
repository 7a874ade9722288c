#include "uiframework/core/timer_table.h"

#include <algorithm>

#include "basekit/log/log.h"
#include "uiframework/base/text_conv.h"
#include "uiframework/core/control.h"
#include "uiframework/core/native_window.h"

namespace Veneer {

namespace {

constexpr const char* kLogSource = "timer_table";
constexpr uint32_t kIdModulus = 255;

}  // namespace

bool CTimerTableUI::Set(INativeWindowUI* window, CControlUI* control, uint32_t id, uint32_t elapse_ms) {
  if (control == nullptr || window == nullptr) return false;
  for (Timer& timer : timers_) {
    if (timer.sender != control || timer.id != id) continue;
    if (!timer.killed) return false;  // running already
    if (!window->SetNativeTimer(timer.local_id, elapse_ms)) return false;
    timer.killed = false;
    return true;
  }
  counter_ = (counter_ + 1) % kIdModulus;
  if (!window->SetNativeTimer(counter_, elapse_ms)) {
    BASEKIT_LOG(Failure, "timer %u of %s could not be set", id, ToLogText(control->GetName().c_str()).c_str());
    return false;
  }
  timers_.push_back(Timer{control, id, counter_, false});
  return true;
}

bool CTimerTableUI::Kill(INativeWindowUI* window, CControlUI* control, uint32_t id) {
  for (Timer& timer : timers_) {
    if (timer.sender != control || timer.id != id) continue;
    if (timer.killed) return false;
    if (window != nullptr) window->KillNativeTimer(timer.local_id);
    timer.killed = true;
    return true;
  }
  return false;
}

void CTimerTableUI::Remove(INativeWindowUI* window, CControlUI* control) {
  auto end = std::remove_if(timers_.begin(), timers_.end(), [&](const Timer& timer) {
    if (timer.sender != control) return false;
    if (!timer.killed && window != nullptr) window->KillNativeTimer(timer.local_id);
    return true;
  });
  timers_.erase(end, timers_.end());
}

void CTimerTableUI::Clear(INativeWindowUI* window) {
  for (const Timer& timer : timers_) {
    if (!timer.killed && window != nullptr) window->KillNativeTimer(timer.local_id);
  }
  timers_.clear();
}

int CTimerTableUI::GetLocalId(const CControlUI* control, uint32_t id) const {
  for (const Timer& timer : timers_) {
    if (timer.sender == control && timer.id == id) return static_cast<int>(timer.local_id);
  }
  return -1;
}

const CTimerTableUI::Timer* CTimerTableUI::FindRunning(uint32_t local_id) const {
  for (const Timer& timer : timers_) {
    if (timer.local_id == local_id && !timer.killed) return &timer;
  }
  return nullptr;
}

}  // namespace Veneer

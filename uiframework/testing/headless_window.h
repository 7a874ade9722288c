#pragma once

// A native window for hosts that run without one (benchmarks, fuzzing,
// tools that lay out and paint into the recording backend): a client area
// of the caller's choosing; everything else is accepted and ignored.
// Thread affinity: as its host.

#include "uiframework/core/paint_host.h"

namespace Veneer {

class CHeadlessWindowUI : public INativeWindowUI {
 public:
  explicit CHeadlessWindowUI(const UiRect& client = UiRect{}) : client_(client) {}

  void SetClientRect(const UiRect& client) { client_ = client; }
  // Invalidations asked for so far.
  int invalidations() const { return invalidations_; }

  UiRect GetClientRect() override { return client_; }
  void ResizeWindow(int cx, int cy) override { client_ = UiRect{0, 0, cx, cy}; }
  void Invalidate(const UiRect&) override { ++invalidations_; }
  bool SetNativeTimer(uint32_t, uint32_t) override { return true; }
  void KillNativeTimer(uint32_t) override {}
  void CaptureMouse() override {}
  void ReleaseMouse() override {}
  void TakeFocus() override {}
  void FocusOwner() override {}
  void TrackMouse(uint32_t) override {}
  int GetTooltipDelay() override { return -1; }
  void ShowTooltip(const std::wstring&, const UiRect&, int) override {}
  void HideTooltip() override {}
  void SetCursorShape(CursorShape) override {}
  void PostCleanup() override {}
  void SendClose() override {}
  void SetLayered(bool, bool, uint8_t) override {}

 private:
  UiRect client_;
  int invalidations_ = 0;
};

}  // namespace Veneer

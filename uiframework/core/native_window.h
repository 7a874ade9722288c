#pragma once

// What the window host needs from its native window. The Win32 binding
// implements it; tests fake it.
// Thread affinity: UI thread only.

#include <cstdint>
#include <string>

#include "uiframework/base/geometry.h"

namespace Veneer {

enum class CursorShape { kArrow, kHand };

class INativeWindowUI {
 public:
  virtual UiRect GetClientRect() = 0;
  // Resizes the window without moving or activating it.
  virtual void ResizeWindow(int cx, int cy) = 0;
  virtual void Invalidate(const UiRect& rect) = 0;
  // Native timers, identified by the host's local ids.
  virtual bool SetNativeTimer(uint32_t local_id, uint32_t elapse_ms) = 0;
  virtual void KillNativeTimer(uint32_t local_id) = 0;
  virtual void CaptureMouse() = 0;
  virtual void ReleaseMouse() = 0;
  // The native window takes the keyboard focus.
  virtual void TakeFocus() = 0;
  // The owner window (if any) takes the keyboard focus.
  virtual void FocusOwner() = 0;
  // Arms leave and hover tracking.
  virtual void TrackMouse(uint32_t hover_ms) = 0;
  // The tooltip's initial delay in milliseconds, or -1 without a tooltip
  // window.
  virtual int GetTooltipDelay() = 0;
  virtual void ShowTooltip(const std::wstring& text, const UiRect& rect, int max_width) = 0;
  virtual void HideTooltip() = 0;
  virtual void SetCursorShape(CursorShape shape) = 0;
  // Posts the delayed clean-up message to the window.
  virtual void PostCleanup() = 0;
  // Sends the window its close message (a tree that could not be attached).
  virtual void SendClose() = 0;
  // Adds or removes the layered style; with `alpha_attribute` the constant
  // alpha is set as well.
  virtual void SetLayered(bool layered, bool alpha_attribute, uint8_t alpha) = 0;
  // The host's last call, from its destructor once its tree is gone: the
  // window must not reach the host after it.
  virtual void OnHostDestroyed() {}

 protected:
  ~INativeWindowUI() = default;
};

}  // namespace Veneer

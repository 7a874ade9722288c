#pragma once

// The Win32 side of a window host: converts the window's messages into the
// host's input records, paints through GDI (double-buffered, or pushed with
// per-pixel alpha for "layerd" windows), and implements what the host asks
// of its native window (invalidation, timers, capture, mouse tracking, the
// tooltip, the cursor, layered styles).
//
// Every binding joins a process-wide list, so that the framework's message
// loop can let the hosts pre-translate messages (PreTranslateMessage).
//
// Thread affinity: UI thread only.

#include <windows.h>

#include <vector>

#include "uiframework/core/paint_host.h"
#include "uiframework/win/gdi_render.h"

namespace Veneer {

// The delayed clean-up message: the application message base plus 1.
inline constexpr UINT kMsgDelayedCleanup = WM_APP + 1;

class CWin32HostBinding : public INativeWindowUI {
 public:
  CWin32HostBinding();
  CWin32HostBinding(const CWin32HostBinding&) = delete;
  CWin32HostBinding& operator=(const CWin32HostBinding&) = delete;
  ~CWin32HostBinding();

  // Binds `host` to `window` and joins the process-wide list.
  void Attach(HWND window, CPaintHostUI* host);
  // Leaves the list, frees the tooltip, back buffer and GDI caches; the host
  // no longer reaches the window.
  void Detach();
  HWND GetWindow() const { return window_; }
  CPaintHostUI* GetHost() const { return host_; }
  CGdiRender& GetRender() { return render_; }

  // The host's message handler for one native message (paint, min/max
  // info, reflection and every input message included). True when handled.
  bool HandleMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);
  // The host's pre-message handler for a message about to be dispatched.
  bool PreMessage(const MSG& message);

  // The process-wide pre-translation: true when the message must not be
  // dispatched.
  static bool PreTranslateMessage(const MSG& message);
  // The framework's message loop: runs until the quit message, which it
  // leaves consumed; returns its exit code.
  static int MessageLoop();
  // The DPI `window` is drawn at: its host's when it is one of the
  // framework's windows, else the one the system gives it (GetWindowDpi).
  static int DrawnDpi(HWND window);

  // INativeWindowUI
  UiRect GetClientRect() override;
  void ResizeWindow(int cx, int cy) override;
  void Invalidate(const UiRect& rect) override;
  bool SetNativeTimer(uint32_t local_id, uint32_t elapse_ms) override;
  void KillNativeTimer(uint32_t local_id) override;
  void CaptureMouse() override;
  void ReleaseMouse() override;
  void TakeFocus() override;
  void FocusOwner() override;
  void TrackMouse(uint32_t hover_ms) override;
  int GetTooltipDelay() override;
  void ShowTooltip(const std::wstring& text, const UiRect& rect, int max_width) override;
  void HideTooltip() override;
  void SetCursorShape(CursorShape shape) override;
  void PostCleanup() override;
  void SendClose() override;
  void SetLayered(bool layered, bool alpha_attribute, uint8_t alpha) override;
  // Detaches: a window whose final message did not detach it (the wizard's
  // skips the base's) keeps its binding until after its host is gone.
  void OnHostDestroyed() override;

 private:
  static std::vector<CWin32HostBinding*>& Bindings();
  InputRecord Convert(UINT message, WPARAM wparam, LPARAM lparam) const;
  void Paint();
  void PaintLayered();
  bool EnsureBackBuffer(int width, int height);
  void ReleaseBackBuffer();
  bool Reflect(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);

  HWND window_ = nullptr;
  CPaintHostUI* host_ = nullptr;
  CGdiRender render_;
  HWND tooltip_ = nullptr;
  std::wstring tooltip_text_;
  HDC back_dc_ = nullptr;
  HBITMAP back_bitmap_ = nullptr;
  HGDIOBJ back_default_ = nullptr;
  void* back_bits_ = nullptr;
  SIZE back_size_ = {0, 0};
};

}  // namespace Veneer

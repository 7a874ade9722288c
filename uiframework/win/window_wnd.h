#pragma once

// A native window owned by a C++ object: class registration (or
// super-classing of a system class), creation with the object as creation
// parameter, message routing to HandleMessage, subclassing, the modal loop,
// closing and centring.
//
// Lifetime: the object must outlive its window. After the window's final
// message (WM_NCDESTROY) the object is told through OnFinalMessage and no
// longer knows the window. An object that goes first cuts its window off
// (no message reaches the object any more) and destroys it; a subclassed
// window gets its procedure back instead.
//
// Thread affinity: the thread that created the window.

#include <windows.h>

namespace Veneer {

class CWindowWnd {
 public:
  CWindowWnd();
  CWindowWnd(const CWindowWnd&) = delete;
  CWindowWnd& operator=(const CWindowWnd&) = delete;
  virtual ~CWindowWnd();

  HWND GetHWND() const { return hwnd_; }
  operator HWND() const { return hwnd_; }  // NOLINT: a window object is used where a handle is

  // Registers the window class (or the super-class when one is named);
  // "class already exists" counts as success.
  bool RegisterWindowClass();
  bool RegisterSuperclass();

  HWND Create(HWND parent, const wchar_t* name, DWORD style, DWORD ex_style, const RECT& rect, HMENU menu = nullptr);
  HWND Create(HWND parent, const wchar_t* name, DWORD style, DWORD ex_style, int x = CW_USEDEFAULT,
              int y = CW_USEDEFAULT, int cx = CW_USEDEFAULT, int cy = CW_USEDEFAULT, HMENU menu = nullptr);
  // Routes an existing window's messages through this object.
  HWND Subclass(HWND window);
  void Unsubclass();

  // Shows (taking the focus or not) or hides the window.
  void ShowWindow(bool show = true, bool take_focus = true);
  // Shows the window and runs its modal loop: the owner is disabled until
  // the window's close message passes; its wParam is the result. A window
  // whose owner is already disabled (another modal window is up) is closed
  // at once and the result is -1. A quit message ends the loop early and is
  // posted again afterwards.
  UINT ShowModal(int show_command = SW_SHOWNORMAL);
  // Posts the close message with `result` in wParam.
  void Close(UINT result = IDOK);
  // Centres on the owner, or on the monitor's work area without a visible
  // owner, and keeps the window inside the work area.
  void CenterWindow();

  LRESULT SendMessage(UINT message, WPARAM wparam = 0, LPARAM lparam = 0);
  BOOL PostMessage(UINT message, WPARAM wparam = 0, LPARAM lparam = 0);

 protected:
  virtual const wchar_t* GetWindowClassName() const = 0;
  // A system class to super-class, or null.
  virtual const wchar_t* GetSuperClassName() const;
  virtual UINT GetClassStyle() const;
  virtual LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  // Called after the native window is gone.
  virtual void OnFinalMessage(HWND window);

  // For destructors: see "Lifetime" above. Logged, as it is a caller's
  // mistake (or a modal loop ended by a quit message).
  void ReleaseWindow();

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK ControlProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  HWND hwnd_ = nullptr;
  WNDPROC old_proc_;
  bool subclassed_ = false;
};

}  // namespace Veneer

#pragma once

// The program's title and how its top-level windows open: the wizard (by
// the entry point) and the adapter picker get the same caption, styles and
// requested size; each skin then fixes its own size.
//
// Thread affinity: UI thread only.

#include <windows.h>

#include "uiframework/win/window_wnd.h"

namespace forms {

inline constexpr wchar_t kAppTitle[] =
    L"\u74e6\u5ddd"
    L"RAvozoder";  // 瓦川RAvozoder
inline constexpr DWORD kAppWindowStyle = WS_VISIBLE | WS_OVERLAPPEDWINDOW;
inline constexpr DWORD kAppWindowExStyle = WS_EX_APPWINDOW | WS_EX_STATICEDGE;
static_assert(kAppWindowStyle == 0x10CF0000);
static_assert(kAppWindowExStyle == 0x00060000);
inline constexpr int kAppWindowWidth = 500;
inline constexpr int kAppWindowHeight = 520;

// Creates `window` at (0, 0) over `owner` (or none); null when it was not
// created (the window has logged why).
inline HWND CreateAppWindow(Veneer::CWindowWnd& window, HWND owner) {
  return window.Create(owner, kAppTitle, kAppWindowStyle, kAppWindowExStyle, 0, 0, kAppWindowWidth, kAppWindowHeight);
}

}  // namespace forms

#include "uiframework/win/window_wnd.h"

#include <algorithm>

#include "basekit/log/log.h"
#include "uiframework/base/text_conv.h"
#include "uiframework/win/host_binding.h"

namespace Veneer {

namespace {

constexpr const char* kLogSource = "window_wnd";
// The property under which a super-classed or subclassed window finds its
// object.
constexpr const wchar_t kObjectProperty[] = L"WndX";
constexpr int kProgramIconId = 1;

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

}  // namespace

CWindowWnd::CWindowWnd() : old_proc_(::DefWindowProcW) {}

CWindowWnd::~CWindowWnd() { ReleaseWindow(); }

void CWindowWnd::ReleaseWindow() {
  HWND window = hwnd_;
  if (window == nullptr || !IsWindow(window)) {
    hwnd_ = nullptr;
    return;
  }
  if (subclassed_) {
    Unsubclass();
    hwnd_ = nullptr;
    return;
  }
  BASEKIT_LOG(Failure, "window %p outlives its object; it is destroyed without it", static_cast<void*>(window));
  if (reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(window, GWLP_USERDATA)) == this) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  }
  if (GetPropW(window, kObjectProperty) == this) RemovePropW(window, kObjectProperty);
  hwnd_ = nullptr;
  DestroyWindow(window);
}

const wchar_t* CWindowWnd::GetSuperClassName() const { return nullptr; }

UINT CWindowWnd::GetClassStyle() const { return 0; }

bool CWindowWnd::RegisterWindowClass() {
  WNDCLASSW window_class = {};
  window_class.style = GetClassStyle();
  window_class.lpfnWndProc = &CWindowWnd::WindowProc;
  window_class.hInstance = Instance();
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  // The program's icon (resource 1), when it has one, for the taskbar and
  // the task switcher.
  window_class.hIcon = LoadIconW(Instance(), MAKEINTRESOURCEW(kProgramIconId));
  window_class.lpszClassName = GetWindowClassName();
  if (RegisterClassW(&window_class) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS) return true;
  BASEKIT_LOG(Failure, "window class %s not registered, error %lu", ToLogText(GetWindowClassName()).c_str(),
              GetLastError());
  return false;
}

bool CWindowWnd::RegisterSuperclass() {
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof(window_class);
  if (!GetClassInfoExW(nullptr, GetSuperClassName(), &window_class) &&
      !GetClassInfoExW(Instance(), GetSuperClassName(), &window_class)) {
    BASEKIT_LOG(Failure, "no class %s to super-class", ToLogText(GetSuperClassName()).c_str());
    return false;
  }
  old_proc_ = window_class.lpfnWndProc;
  window_class.lpfnWndProc = &CWindowWnd::ControlProc;
  window_class.hInstance = Instance();
  window_class.lpszClassName = GetWindowClassName();
  if (RegisterClassExW(&window_class) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS) return true;
  BASEKIT_LOG(Failure, "super-class %s not registered, error %lu", ToLogText(GetWindowClassName()).c_str(),
              GetLastError());
  return false;
}

HWND CWindowWnd::Create(HWND parent, const wchar_t* name, DWORD style, DWORD ex_style, const RECT& rect, HMENU menu) {
  return Create(parent, name, style, ex_style, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                menu);
}

HWND CWindowWnd::Create(HWND parent, const wchar_t* name, DWORD style, DWORD ex_style, int x, int y, int cx, int cy,
                        HMENU menu) {
  if (GetSuperClassName() != nullptr ? !RegisterSuperclass() : !RegisterWindowClass()) return nullptr;
  hwnd_ = CreateWindowExW(ex_style, GetWindowClassName(), name, style, x, y, cx, cy, parent, menu, Instance(), this);
  if (hwnd_ == nullptr) {
    BASEKIT_LOG(Failure, "window %s not created, error %lu", ToLogText(GetWindowClassName()).c_str(), GetLastError());
  }
  return hwnd_;
}

HWND CWindowWnd::Subclass(HWND window) {
  if (window == nullptr || !IsWindow(window)) return nullptr;
  old_proc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWindowWnd::ControlProc)));
  if (old_proc_ == nullptr) return nullptr;
  subclassed_ = true;
  hwnd_ = window;
  SetPropW(window, kObjectProperty, this);
  return hwnd_;
}

void CWindowWnd::Unsubclass() {
  if (!subclassed_ || hwnd_ == nullptr) return;
  if (IsWindow(hwnd_)) {
    SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old_proc_));
    RemovePropW(hwnd_, kObjectProperty);
  }
  old_proc_ = ::DefWindowProcW;
  subclassed_ = false;
}

void CWindowWnd::ShowWindow(bool show, bool take_focus) {
  if (hwnd_ == nullptr || !IsWindow(hwnd_)) return;
  ::ShowWindow(hwnd_, show ? (take_focus ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE) : SW_HIDE);
}

UINT CWindowWnd::ShowModal(int show_command) {
  if (hwnd_ == nullptr || !IsWindow(hwnd_)) return static_cast<UINT>(-1);
  HWND owner = GetWindow(hwnd_, GW_OWNER);
  if (owner != nullptr && !IsWindowEnabled(owner)) {
    // Another modal window holds the owner. The refused window goes now,
    // not by a posted close that could reach it after its object is gone.
    SendMessage(WM_CLOSE);
    if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
    BringWindowToTop(owner);
    return static_cast<UINT>(-1);
  }
  ::ShowWindow(hwnd_, show_command);
  if (owner != nullptr) EnableWindow(owner, FALSE);
  UINT result = 0;
  MSG message = {};
  const HWND self = hwnd_;
  while (IsWindow(self)) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    if (message.hwnd == self && message.message == WM_CLOSE) {
      // Re-enabled before the window goes, so that the owner is activated.
      if (owner != nullptr) {
        EnableWindow(owner, TRUE);
        SetFocus(owner);
      }
      result = static_cast<UINT>(message.wParam);
    }
    if (!CWin32HostBinding::PreTranslateMessage(message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  if (owner != nullptr) {
    EnableWindow(owner, TRUE);
    SetFocus(owner);
  }
  if (message.message == WM_QUIT) PostQuitMessage(static_cast<int>(message.wParam));
  return result;
}

void CWindowWnd::Close(UINT result) {
  if (hwnd_ != nullptr && IsWindow(hwnd_)) PostMessage(WM_CLOSE, result, 0);
}

void CWindowWnd::CenterWindow() {
  if (hwnd_ == nullptr) return;
  RECT window = {};
  GetWindowRect(hwnd_, &window);
  HWND owner = GetWindow(hwnd_, GW_OWNER);
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(owner != nullptr ? owner : hwnd_, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT work = monitor.rcWork;
  RECT center = work;
  if (owner != nullptr && !IsIconic(owner)) GetWindowRect(owner, &center);
  const int width = window.right - window.left;
  const int height = window.bottom - window.top;
  int x = (center.left + center.right) / 2 - width / 2;
  int y = (center.top + center.bottom) / 2 - height / 2;
  // Back inside the work area (its top-left corner wins when too small).
  x = std::max<int>(work.left, std::min<int>(x, work.right - width));
  y = std::max<int>(work.top, std::min<int>(y, work.bottom - height));
  SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CWindowWnd::SendMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  return ::SendMessageW(hwnd_, message, wparam, lparam);
}

BOOL CWindowWnd::PostMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  return ::PostMessageW(hwnd_, message, wparam, lparam);
}

LRESULT CWindowWnd::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  return CallWindowProcW(old_proc_, hwnd_, message, wparam, lparam);
}

void CWindowWnd::OnFinalMessage(HWND) {}

LRESULT CALLBACK CWindowWnd::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  CWindowWnd* self;
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    self = static_cast<CWindowWnd*>(create->lpCreateParams);
    self->hwnd_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCDESTROY && self != nullptr) {
      const LRESULT result = CallWindowProcW(self->old_proc_, window, message, wparam, lparam);
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      if (self->subclassed_) self->Unsubclass();
      self->hwnd_ = nullptr;
      self->OnFinalMessage(window);
      return result;
    }
  }
  if (self != nullptr) return self->HandleMessage(message, wparam, lparam);
  return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT CALLBACK CWindowWnd::ControlProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  CWindowWnd* self;
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    self = static_cast<CWindowWnd*>(create->lpCreateParams);
    SetPropW(window, kObjectProperty, self);
    self->hwnd_ = window;
  } else {
    self = static_cast<CWindowWnd*>(GetPropW(window, kObjectProperty));
    if (message == WM_NCDESTROY && self != nullptr) {
      const LRESULT result = CallWindowProcW(self->old_proc_, window, message, wparam, lparam);
      if (self->subclassed_) self->Unsubclass();
      RemovePropW(window, kObjectProperty);
      self->hwnd_ = nullptr;
      self->OnFinalMessage(window);
      return result;
    }
  }
  if (self != nullptr) return self->HandleMessage(message, wparam, lparam);
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace Veneer

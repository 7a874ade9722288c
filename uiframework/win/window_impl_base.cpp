#include "uiframework/win/window_impl_base.h"

#include <windowsx.h>

#include "basekit/log/log.h"
#include "uiframework/base/attribute_values.h"
#include "uiframework/base/text_conv.h"
#include "uiframework/builder/dialog_builder.h"
#include "uiframework/core/control.h"
#include "uiframework/core/hit_test.h"
#include "uiframework/resources/skin_resources.h"
#include "uiframework/win/win_platform.h"

namespace Veneer {

namespace {

constexpr const char* kLogSource = "window_impl_base";
constexpr const wchar_t kLoadFailedText[] = L"\u52a0\u8f7d\u8d44\u6e90\u6587\u4ef6\u5931\u8d25";  // 加载资源文件失败
constexpr const wchar_t kLoadFailedTitle[] = L"Veneer";
// WM_DPICHANGED (Windows 8.1 on; older headers lack it).
constexpr UINT kMsgDpiChanged = 0x02E0;

void ShowSkinFailureAndExit(const wchar_t* text, const wchar_t* title) {
  MessageBoxW(nullptr, text, title, MB_OK | MB_ICONERROR);
  ExitProcess(1);
}

SkinFailureHook g_skin_failure_hook = &ShowSkinFailureAndExit;

}  // namespace

void SetSkinFailureHook(SkinFailureHook hook) {
  g_skin_failure_hook = hook != nullptr ? hook : &ShowSkinFailureAndExit;
}

WindowImplBase::WindowImplBase() = default;

// Before the host and its binding go: the window must not reach them.
WindowImplBase::~WindowImplBase() { ReleaseWindow(); }

void WindowImplBase::InitWindow() {}

void WindowImplBase::Notify(NotifyMsg& msg) { NotifyPump(msg); }

CControlUI* WindowImplBase::CreateControl(const wchar_t*) { return nullptr; }

intptr_t WindowImplBase::MessageHandler(uint32_t message, uintptr_t wparam, intptr_t, bool& handled) {
  if (message == WM_KEYDOWN && (wparam == VK_ESCAPE || wparam == VK_RETURN)) {
    return ResponseDefaultKeyEvent(wparam, handled);
  }
  return 0;
}

UINT WindowImplBase::GetClassStyle() const { return CS_DBLCLKS; }

const NotifyMap* WindowImplBase::GetNotifyMap() const {
  static const NotifyMapEntry entries[] = {NotifyEntry<&WindowImplBase::OnClick>(L"click", L"")};
  static const NotifyMap map = MakeNotifyMap(CNotifyPump::GetNotifyMap(), entries);
  return &map;
}

void WindowImplBase::OnClick(NotifyMsg& msg) {
  if (msg.sender == nullptr) return;
  const std::wstring& name = msg.sender->GetName();
  if (name == L"closebtn") {
    Close(1);
  } else if (name == L"minbtn") {
    SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
  } else if (name == L"maxbtn") {
    SendMessage(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  } else if (name == L"restorebtn") {
    SendMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
  }
}

LRESULT WindowImplBase::ResponseDefaultKeyEvent(WPARAM key, bool& handled) {
  if (key == VK_ESCAPE) {
    Close(1);
    handled = true;
    return TRUE;
  }
  handled = false;
  return FALSE;
}

int WindowImplBase::GetResourceType() const { return kResourceFile; }

std::wstring WindowImplBase::GetZipFileName() const { return std::wstring(); }

int WindowImplBase::GetResourceID() const { return 0; }

LONG WindowImplBase::GetStyle() {
  LONG style = GetWindowLongW(hwnd_, GWL_STYLE);
  style &= ~WS_CAPTION;
  style |= WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  return style;
}

LRESULT WindowImplBase::OnCreate(UINT, WPARAM, LPARAM, bool& handled) {
  handled = true;
  // 1. Frameless: no caption; the client area becomes the whole window.
  SetWindowLongW(hwnd_, GWL_STYLE, GetStyle());
  RECT client = {};
  GetClientRect(hwnd_, &client);
  SetWindowPos(hwnd_, nullptr, 0, 0, client.right - client.left, client.bottom - client.top,
               SWP_FRAMECHANGED | SWP_NOZORDER | SWP_NOACTIVATE);
  // 2. The host on this window, at the DPI of its owner (or its own).
  binding_.Attach(hwnd_, &host_);
  host_.AddPreMessageFilter(this);
  HWND owner = GetWindow(hwnd_, GW_OWNER);
  host_.SetDpi(owner != nullptr ? CWin32HostBinding::DrawnDpi(owner) : GetWindowDpi(hwnd_));
  // 3. Where skin files come from.
  if (CSkinResourcesUI::GetResourcePath().empty()) {
    const std::wstring path = CSkinResourcesUI::GetInstancePath() + GetSkinFolder();
    CSkinResourcesUI::SetResourcePath(path.c_str());
  }
  // 4. The archive, by resource type.
  switch (GetResourceType()) {
    case kResourceZipFile:
      CSkinResourcesUI::SetResourceZip(GetZipFileName().c_str(), true);
      break;
    case kResourceZip:
      if (!CSkinResourcesUI::SetResourceZipFromResource(static_cast<uint32_t>(GetResourceID()), L"ZIP")) {
        BASEKIT_LOG(Failure, "skin archive resource %d not available; the window has no skin", GetResourceID());
        return 0;
      }
      break;
    default:
      break;
  }
  // 5. The skin.
  CDialogBuilder builder;
  CControlUI* root;
  if (GetResourceType() == kResourceNumbered) {
    const int id = ParseDecimal(GetSkinFile().c_str());
    root = builder.Create(SkinSource(static_cast<uint32_t>(id >= 0 ? id : 0)), L"xml", this, &host_);
  } else {
    root = builder.Create(GetSkinFile().c_str(), nullptr, this, &host_);
  }
  // 6. Without a skin there is no window to show.
  if (root == nullptr) {
    BASEKIT_LOG(Failure, "skin %s could not be built", ToLogText(GetSkinFile().c_str()).c_str());
    g_skin_failure_hook(kLoadFailedText, kLoadFailedTitle);
    return -1;  // the hook returned: the creation fails
  }
  // 7. Attach, listen, let the window finish.
  host_.SetChildLayoutLoader(&child_layouts_);
  host_.AttachDialog(root);
  host_.AddNotifier(this);
  InitWindow();
  return 0;
}

LRESULT WindowImplBase::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  LRESULT result = 0;
  if (RouteMessage(message, wparam, lparam, result)) return result;
  bool handled = true;
  result = HandleCustomMessage(message, wparam, lparam, handled);
  if (handled) return result;
  if (binding_.HandleMessage(message, wparam, lparam, result)) return result;
  return CWindowWnd::HandleMessage(message, wparam, lparam);
}

bool WindowImplBase::RouteMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
  using Handler = LRESULT (WindowImplBase::*)(UINT, WPARAM, LPARAM, bool&);
  Handler handler = nullptr;
  switch (message) {
    case WM_CREATE:
      handler = &WindowImplBase::OnCreate;
      break;
    case WM_DESTROY:
      handler = &WindowImplBase::OnDestroy;
      break;
    case WM_SIZE:
      handler = &WindowImplBase::OnSize;
      break;
    case WM_SETFOCUS:
      handler = &WindowImplBase::OnSetFocus;
      break;
    case WM_KILLFOCUS:
      handler = &WindowImplBase::OnKillFocus;
      break;
    case WM_CLOSE:
      handler = &WindowImplBase::OnClose;
      break;
    case WM_GETMINMAXINFO:
      handler = &WindowImplBase::OnGetMinMaxInfo;
      break;
    case WM_NCCALCSIZE:
      handler = &WindowImplBase::OnNcCalcSize;
      break;
    case WM_NCHITTEST:
      handler = &WindowImplBase::OnNcHitTest;
      break;
    case WM_NCPAINT:
      handler = &WindowImplBase::OnNcPaint;
      break;
    case WM_NCACTIVATE:
      handler = &WindowImplBase::OnNcActivate;
      break;
    case WM_KEYDOWN:
      handler = &WindowImplBase::OnKeyDown;
      break;
    case WM_CHAR:
      handler = &WindowImplBase::OnChar;
      break;
    case WM_SYSCOMMAND:
      handler = &WindowImplBase::OnSysCommand;
      break;
    case WM_MOUSEMOVE:
      handler = &WindowImplBase::OnMouseMove;
      break;
    case WM_LBUTTONDOWN:
      handler = &WindowImplBase::OnLButtonDown;
      break;
    case WM_LBUTTONUP:
      handler = &WindowImplBase::OnLButtonUp;
      break;
    case WM_MOUSEWHEEL:
      handler = &WindowImplBase::OnMouseWheel;
      break;
    case WM_MOUSEHOVER:
      handler = &WindowImplBase::OnMouseHover;
      break;
    case kMsgDpiChanged:
      handler = &WindowImplBase::OnDpiChanged;
      break;
    default:
      return false;
  }
  bool handled = true;
  result = (this->*handler)(message, wparam, lparam, handled);
  return handled;
}

void WindowImplBase::OnFinalMessage(HWND) {
  host_.RemovePreMessageFilter(this);
  host_.RemoveNotifier(this);
  binding_.Detach();
}

LRESULT WindowImplBase::OnClose(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;
  return 0;
}

LRESULT WindowImplBase::OnDestroy(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;
  return 0;
}

LRESULT WindowImplBase::OnNcActivate(UINT, WPARAM wparam, LPARAM, bool& handled) {
  if (IsIconic(hwnd_)) {
    handled = false;
    return 0;
  }
  return wparam == 0 ? TRUE : FALSE;
}

LRESULT WindowImplBase::OnNcCalcSize(UINT, WPARAM wparam, LPARAM lparam, bool&) {
  if (wparam != 0 && IsZoomed(hwnd_)) {
    // A maximised window stays within the monitor's work area.
    auto* params = reinterpret_cast<NCCALCSIZE_PARAMS*>(lparam);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST), &monitor);
    params->rgrc[0] = monitor.rcWork;
  }
  return 0;
}

LRESULT WindowImplBase::OnNcPaint(UINT, WPARAM, LPARAM, bool&) { return 0; }

LRESULT WindowImplBase::OnNcHitTest(UINT, WPARAM, LPARAM lparam, bool&) { return HitTestAt(lparam); }

LRESULT WindowImplBase::HitTestAt(LPARAM lparam) {
  POINT point = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  ScreenToClient(hwnd_, &point);
  RECT client = {};
  GetClientRect(hwnd_, &client);
  const UiPoint at{point.x, point.y};
  const WindowSettings settings = host_.GetScaledWindowSettings();
  return HitTestFrame(at, UiRect{client.left, client.top, client.right, client.bottom}, settings.size_box,
                      settings.caption, host_.FindControl(at), IsZoomed(hwnd_) != FALSE);
}

LRESULT WindowImplBase::OnGetMinMaxInfo(UINT, WPARAM, LPARAM lparam, bool& handled) {
  auto* info = reinterpret_cast<MINMAXINFO*>(lparam);
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT work = monitor.rcWork;
  info->ptMaxPosition = POINT{work.left - monitor.rcMonitor.left, work.top - monitor.rcMonitor.top};
  info->ptMaxTrackSize = POINT{work.right - work.left, work.bottom - work.top};
  const UiSize min = host_.GetScaledWindowSettings().min_info;
  if (min.cx > 0) info->ptMinTrackSize.x = min.cx;
  if (min.cy > 0) info->ptMinTrackSize.y = min.cy;
  handled = false;  // the host applies "mininfo" and "maxinfo"
  return 0;
}

LRESULT WindowImplBase::OnMouseWheel(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;
  return 0;
}

LRESULT WindowImplBase::OnMouseHover(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;
  return 0;
}

void WindowImplBase::ApplyRoundCorner() {
  const UiSize round = host_.GetScaledWindowSettings().round_corner;
  if (IsIconic(hwnd_) || (round.cx == 0 && round.cy == 0)) return;
  RECT window = {};
  GetWindowRect(hwnd_, &window);
  // One pixel larger in both directions: the region's right and bottom
  // edges are exclusive.
  HRGN region =
      CreateRoundRectRgn(0, 0, window.right - window.left + 1, window.bottom - window.top + 1, round.cx, round.cy);
  if (region == nullptr) return;
  if (SetWindowRgn(hwnd_, region, TRUE) == 0) DeleteObject(region);  // the system owns it on success
}

LRESULT WindowImplBase::OnSize(UINT, WPARAM, LPARAM, bool& handled) {
  ApplyRoundCorner();
  handled = false;
  return 0;
}

LRESULT WindowImplBase::OnChar(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;
  return 0;
}

LRESULT WindowImplBase::OnSysCommand(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) {
  if ((wparam & 0xFFF0) == SC_CLOSE) {
    SendMessage(WM_CLOSE, 0, 0);
    return 0;
  }
  const bool zoomed = IsZoomed(hwnd_) != FALSE;
  const LRESULT result = CWindowWnd::HandleMessage(message, wparam, lparam);
  if (zoomed != (IsZoomed(hwnd_) != FALSE)) {
    CControlUI* max_button = host_.FindControl(std::wstring(L"maxbtn"));
    CControlUI* restore_button = host_.FindControl(std::wstring(L"restorebtn"));
    if (max_button != nullptr && restore_button != nullptr) {
      max_button->SetVisible(zoomed);
      restore_button->SetVisible(!zoomed);
    }
  }
  handled = true;
  return result;
}

LRESULT WindowImplBase::OnKeyDown(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;
  return 0;
}

LRESULT WindowImplBase::OnKillFocus(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;
  return 0;
}

LRESULT WindowImplBase::OnSetFocus(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;
  return 0;
}

LRESULT WindowImplBase::OnLButtonDown(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;
  return 0;
}

LRESULT WindowImplBase::OnLButtonUp(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;
  return 0;
}

LRESULT WindowImplBase::OnMouseMove(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;
  return 0;
}

LRESULT WindowImplBase::OnDpiChanged(UINT, WPARAM wparam, LPARAM lparam, bool&) {
  // The new scale first: the size the system suggests is checked against
  // the skin's limits at that scale, and the layout that follows uses it.
  host_.SetDpi(LOWORD(wparam));
  binding_.GetRender().ReleaseCaches();  // fonts and bitmaps of the old size
  const auto* suggested = reinterpret_cast<const RECT*>(lparam);
  if (suggested != nullptr) {
    SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                 suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  ApplyRoundCorner();  // a size that did not change sends no WM_SIZE
  return 0;
}

LRESULT WindowImplBase::HandleCustomMessage(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;
  return 0;
}

}  // namespace Veneer

#include "uiframework/win/host_binding.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>

#include "basekit/log/log.h"
#include "basekit/win/system_library.h"
#include "uiframework/win/win_platform.h"

namespace Veneer {

namespace {

constexpr const char* kLogSource = "host_binding";
// Repaint request of a layered window, which gets no WM_PAINT once it is
// drawn with UpdateLayeredWindow.
constexpr UINT kMsgRepaintLayered = WM_APP + 2;
// Reflected messages: command, control colours (+ 0x2000) and notify.
constexpr UINT kReflectBase = 0x2000;
constexpr UINT kReflectCommand = kReflectBase + WM_COMMAND;  // 0x2111
constexpr UINT kReflectNotify = kReflectBase + WM_NOTIFY;    // 0x204E
// The tooltip tool's id.
constexpr UINT_PTR kToolId = 1;
// Below the cursor, where a tooltip does not hide what it explains.
constexpr int kTooltipOffsetY = 20;

// Registers the tooltip's window class. The common controls are not
// imported: Windows does not always take comctl32.dll from the system
// folder. Loaded from there instead; the program's manifest asks for
// version 6, which Windows supplies from its side-by-side store ahead of
// any folder search. False, logged once by the loader, without them.
bool CommonControlsReady() {
  static const bool ready = [] {
    static const basekit::SystemLibrary comctl32(L"comctl32.dll");
    const auto init = comctl32.Get<decltype(&InitCommonControlsEx)>("InitCommonControlsEx");
    if (init == nullptr) return false;
    const INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES};
    init(&controls);
    return true;
  }();
  return ready;
}

uint16_t KeyState(WPARAM mouse_flags) {
  uint16_t state = 0;
  if ((mouse_flags & MK_LBUTTON) != 0) state |= kKeyStateLButton;
  if ((mouse_flags & MK_RBUTTON) != 0) state |= kKeyStateRButton;
  if ((mouse_flags & MK_SHIFT) != 0) state |= kKeyStateShift;
  if ((mouse_flags & MK_CONTROL) != 0) state |= kKeyStateControl;
  if (GetKeyState(VK_MENU) < 0) state |= kKeyStateAlt;
  return state;
}

uint16_t KeyboardState() {
  uint16_t state = 0;
  if (GetKeyState(VK_SHIFT) < 0) state |= kKeyStateShift;
  if (GetKeyState(VK_CONTROL) < 0) state |= kKeyStateControl;
  if (GetKeyState(VK_MENU) < 0) state |= kKeyStateAlt;
  return state;
}

using SetLayeredWindowAttributesProc = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);

}  // namespace

CWin32HostBinding::CWin32HostBinding() = default;

CWin32HostBinding::~CWin32HostBinding() { Detach(); }

std::vector<CWin32HostBinding*>& CWin32HostBinding::Bindings() {
  static std::vector<CWin32HostBinding*> bindings;
  return bindings;
}

void CWin32HostBinding::Attach(HWND window, CPaintHostUI* host) {
  Detach();
  window_ = window;
  host_ = host;
  host->AttachNativeWindow(this);
  host->SetRender(&render_);
  Bindings().push_back(this);
}

void CWin32HostBinding::OnHostDestroyed() { Detach(); }

void CWin32HostBinding::Detach() {
  auto& bindings = Bindings();
  bindings.erase(std::remove(bindings.begin(), bindings.end(), this), bindings.end());
  if (tooltip_ != nullptr) {
    DestroyWindow(tooltip_);
    tooltip_ = nullptr;
  }
  ReleaseBackBuffer();
  render_.ReleaseCaches();
  if (host_ != nullptr) {
    host_->SetRender(nullptr);
    host_->AttachNativeWindow(nullptr);
  }
  host_ = nullptr;
  window_ = nullptr;
}

InputRecord CWin32HostBinding::Convert(UINT message, WPARAM wparam, LPARAM lparam) const {
  InputRecord input;
  input.message = message;
  input.wparam = wparam;
  input.lparam = lparam;
  auto client_point = [&] { input.point = UiPoint{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)}; };
  auto screen_point = [&] {
    POINT p = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
    if (lparam == -1) GetCursorPos(&p);  // a context menu from the keyboard
    ScreenToClient(window_, &p);
    input.point = UiPoint{p.x, p.y};
  };
  switch (message) {
    case WM_LBUTTONDOWN:
      input.kind = InputKind::kButtonDown;
      break;
    case WM_LBUTTONUP:
      input.kind = InputKind::kButtonUp;
      break;
    case WM_LBUTTONDBLCLK:
      input.kind = InputKind::kDoubleClick;
      break;
    case WM_RBUTTONDOWN:
      input.kind = InputKind::kRightButtonDown;
      break;
    case WM_MOUSEMOVE:
      input.kind = InputKind::kMouseMove;
      break;
    case WM_MOUSEHOVER:
      input.kind = InputKind::kMouseHover;
      break;
    case WM_MOUSELEAVE:
      input.kind = InputKind::kMouseLeave;
      return input;
    case WM_CONTEXTMENU:
      input.kind = InputKind::kContextMenu;
      screen_point();
      input.key_state = KeyboardState();
      return input;
    case WM_MOUSEWHEEL:
      input.kind = InputKind::kMouseWheel;
      input.wheel_delta = GET_WHEEL_DELTA_WPARAM(wparam);
      screen_point();
      input.key_state = KeyState(GET_KEYSTATE_WPARAM(wparam));
      return input;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
    case WM_SYSKEYDOWN:
    case WM_SYSCHAR:
      input.kind = message == WM_KEYDOWN      ? InputKind::kKeyDown
                   : message == WM_KEYUP      ? InputKind::kKeyUp
                   : message == WM_CHAR       ? InputKind::kChar
                   : message == WM_SYSKEYDOWN ? InputKind::kSysKeyDown
                                              : InputKind::kSysChar;
      input.key = static_cast<uint32_t>(wparam);
      input.key_state = KeyboardState();
      return input;
    case WM_SETCURSOR: {
      if (LOWORD(lparam) != HTCLIENT) return input;  // the frame keeps its own cursors
      input.kind = InputKind::kSetCursor;
      POINT p = {};
      GetCursorPos(&p);
      ScreenToClient(window_, &p);
      input.point = UiPoint{p.x, p.y};
      return input;
    }
    case WM_SIZE:
      input.kind = InputKind::kSize;
      return input;
    case WM_TIMER:
      input.kind = InputKind::kTimer;
      input.key = static_cast<uint32_t>(wparam);
      return input;
    case WM_CLOSE:
      input.kind = InputKind::kClose;
      return input;
    case WM_ERASEBKGND:
      input.kind = InputKind::kEraseBackground;
      return input;
    case WM_NCLBUTTONDOWN:
      input.kind = InputKind::kNcButtonDown;
      return input;
    case kMsgDelayedCleanup:
      input.kind = InputKind::kDelayedCleanup;
      return input;
    default:
      return input;
  }
  // The mouse messages with client coordinates.
  client_point();
  input.key_state = KeyState(wparam);
  return input;
}

bool CWin32HostBinding::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
  if (host_ == nullptr) return false;
  intptr_t host_result = 0;
  if (host_->MessageHandler(Convert(message, wparam, lparam), host_result)) {
    result = host_result;
    return true;
  }
  if (host_ == nullptr) return false;  // the window went while the host handled it
  switch (message) {
    case WM_PAINT:
      if (host_->GetWindowSettings().layered) {
        PaintLayered();
        ValidateRect(window_, nullptr);
      } else {
        Paint();
      }
      result = 0;
      return true;
    case kMsgRepaintLayered:
      PaintLayered();
      result = 0;
      return true;
    case WM_PRINTCLIENT: {
      auto dc = reinterpret_cast<HDC>(wparam);
      host_->Layout();
      const UiRect client = GetClientRect();
      render_.Begin(dc);
      host_->Paint(client);
      render_.End();
      if ((lparam & PRF_CHILDREN) != 0) {
        for (HWND child = ::GetWindow(window_, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
          if (IsWindowVisible(child)) SendMessageW(child, WM_PRINT, wparam, PRF_NONCLIENT | PRF_CLIENT | PRF_CHILDREN);
        }
      }
      result = 0;
      return true;
    }
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(lparam);
      const WindowSettings settings = host_->GetScaledWindowSettings();
      const UiSize min = settings.min_info;
      const UiSize max = settings.max_info;
      if (min.cx > 0) info->ptMinTrackSize.x = min.cx;
      if (min.cy > 0) info->ptMinTrackSize.y = min.cy;
      if (max.cx > 0) info->ptMaxTrackSize.x = max.cx;
      if (max.cy > 0) info->ptMaxTrackSize.y = max.cy;
      result = 0;
      return true;
    }
    case WM_DESTROY:
      // The window's GDI objects go with it, whatever happens to the object.
      if (tooltip_ != nullptr) {
        DestroyWindow(tooltip_);
        tooltip_ = nullptr;
      }
      ReleaseBackBuffer();
      render_.ReleaseCaches();
      return false;
    default:
      return Reflect(message, wparam, lparam, result);
  }
}

bool CWin32HostBinding::Reflect(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
  HWND child = nullptr;
  UINT reflected = 0;
  switch (message) {
    case WM_COMMAND:
      child = reinterpret_cast<HWND>(lparam);
      reflected = kReflectCommand;
      break;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lparam);
      if (header != nullptr) child = header->hwndFrom;
      reflected = kReflectNotify;
      break;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORMSGBOX:
      child = reinterpret_cast<HWND>(lparam);
      reflected = message + kReflectBase;
      break;
    default:
      return false;
  }
  if (child == nullptr || child == tooltip_ || !IsWindow(child)) return false;
  result = SendMessageW(child, reflected, wparam, lparam);
  return true;
}

bool CWin32HostBinding::EnsureBackBuffer(int width, int height) {
  if (back_dc_ != nullptr && back_size_.cx == width && back_size_.cy == height) return true;
  ReleaseBackBuffer();
  if (width <= 0 || height <= 0) return false;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  back_dc_ = CreateCompatibleDC(nullptr);
  back_bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &back_bits_, nullptr, 0);
  if (back_dc_ == nullptr || back_bitmap_ == nullptr) {
    BASEKIT_LOG(Failure, "no %dx%d back buffer, error %lu", width, height, GetLastError());
    ReleaseBackBuffer();
    return false;
  }
  back_default_ = SelectObject(back_dc_, back_bitmap_);
  back_size_ = SIZE{width, height};
  return true;
}

void CWin32HostBinding::ReleaseBackBuffer() {
  if (back_dc_ != nullptr) {
    SelectObject(back_dc_, back_default_);
    DeleteDC(back_dc_);
  }
  if (back_bitmap_ != nullptr) DeleteObject(back_bitmap_);
  back_dc_ = nullptr;
  back_bitmap_ = nullptr;
  back_bits_ = nullptr;
  back_size_ = SIZE{0, 0};
}

void CWin32HostBinding::Paint() {
  RECT update = {};
  if (!GetUpdateRect(window_, &update, FALSE)) return;  // nothing to paint
  host_->Layout();                                      // may widen the area to repaint
  PAINTSTRUCT paint = {};
  HDC dc = BeginPaint(window_, &paint);
  if (dc == nullptr) return;
  const UiRect client = GetClientRect();
  const UiRect area{paint.rcPaint.left, paint.rcPaint.top, paint.rcPaint.right, paint.rcPaint.bottom};
  if (EnsureBackBuffer(client.Width(), client.Height())) {
    render_.Begin(back_dc_);
    host_->Paint(area);
    render_.End();
    BitBlt(dc, area.left, area.top, area.Width(), area.Height(), back_dc_, area.left, area.top, SRCCOPY);
  } else {
    render_.Begin(dc);
    host_->Paint(area);
    render_.End();
  }
  EndPaint(window_, &paint);
}

void CWin32HostBinding::PaintLayered() {
  host_->Layout();
  const UiRect client = GetClientRect();
  // Recreated for every push: the whole window is drawn each time.
  ReleaseBackBuffer();
  if (!EnsureBackBuffer(client.Width(), client.Height())) return;
  std::fill_n(static_cast<uint32_t*>(back_bits_), size_t(client.Width()) * size_t(client.Height()), 0u);
  render_.Begin(back_dc_);
  host_->Paint(client);
  render_.End();
  GdiFlush();
  // GDI leaves alpha 0 on what it draws (fills, text): those pixels are
  // opaque content, not holes.
  auto* pixels = static_cast<uint32_t*>(back_bits_);
  for (size_t i = 0, n = size_t(client.Width()) * size_t(client.Height()); i < n; ++i) {
    if ((pixels[i] >> 24) == 0 && (pixels[i] & 0xFFFFFF) != 0) pixels[i] |= 0xFF000000u;
  }
  RECT window_rect = {};
  GetWindowRect(window_, &window_rect);
  POINT position = {window_rect.left, window_rect.top};
  SIZE size = {client.Width(), client.Height()};
  POINT origin = {0, 0};
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  HDC screen = GetDC(nullptr);
  // The result is what counts: some implementations leave a stale last error.
  if (!UpdateLayeredWindow(window_, screen, &position, &size, back_dc_, &origin, 0, &blend, ULW_ALPHA)) {
    BASEKIT_LOG(Failure, "UpdateLayeredWindow failed, error %lu", GetLastError());
  }
  ReleaseDC(nullptr, screen);
}

bool CWin32HostBinding::PreMessage(const MSG& message) {
  if (host_ == nullptr) return false;
  return host_->PreMessageHandler(Convert(message.message, message.wParam, message.lParam));
}

bool CWin32HostBinding::PreTranslateMessage(const MSG& message) {
  if (message.hwnd == nullptr) return false;
  const std::vector<CWin32HostBinding*> bindings = Bindings();  // handlers may close windows
  if ((GetWindowLongW(message.hwnd, GWL_STYLE) & WS_CHILD) == 0) {
    for (CWin32HostBinding* binding : bindings) {
      if (binding->window_ == message.hwnd) return binding->PreMessage(message);
    }
    return false;
  }
  // A child window's message: every host above it looks (the newest
  // first), but only keyboard accelerators could stop it, and there are
  // none.
  for (auto it = bindings.rbegin(); it != bindings.rend(); ++it) {
    CWin32HostBinding* binding = *it;
    if (std::find(Bindings().begin(), Bindings().end(), binding) == Bindings().end()) continue;
    if (binding->window_ == message.hwnd || IsChild(binding->window_, message.hwnd)) binding->PreMessage(message);
  }
  return false;
}

int CWin32HostBinding::MessageLoop() {
  MSG message = {};
  for (;;) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(message.wParam);
    if (got == -1) {
      BASEKIT_LOG(Failure, "GetMessageW failed, error %lu", GetLastError());
      return -1;
    }
    if (!PreTranslateMessage(message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
}

int CWin32HostBinding::DrawnDpi(HWND window) {
  for (const CWin32HostBinding* binding : Bindings()) {
    if (binding->window_ == window && binding->host_ != nullptr) return binding->host_->GetDpiScale().Dpi();
  }
  return GetWindowDpi(window);
}

UiRect CWin32HostBinding::GetClientRect() {
  RECT r = {};
  if (window_ != nullptr) ::GetClientRect(window_, &r);
  return UiRect{r.left, r.top, r.right, r.bottom};
}

void CWin32HostBinding::ResizeWindow(int cx, int cy) {
  SetWindowPos(window_, nullptr, 0, 0, cx, cy, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
}

void CWin32HostBinding::Invalidate(const UiRect& rect) {
  if (window_ == nullptr) return;
  if (host_ != nullptr && host_->GetWindowSettings().layered &&
      (GetWindowLongW(window_, GWL_EXSTYLE) & WS_EX_LAYERED) != 0) {
    // No WM_PAINT comes to a window drawn with UpdateLayeredWindow: one
    // repaint request at a time does the whole window.
    MSG pending;
    if (!PeekMessageW(&pending, window_, kMsgRepaintLayered, kMsgRepaintLayered, PM_NOREMOVE)) {
      PostMessageW(window_, kMsgRepaintLayered, 0, 0);
    }
    return;
  }
  RECT r = {rect.left, rect.top, rect.right, rect.bottom};
  InvalidateRect(window_, &r, FALSE);
}

bool CWin32HostBinding::SetNativeTimer(uint32_t local_id, uint32_t elapse_ms) {
  if (::SetTimer(window_, local_id, elapse_ms, nullptr) != 0) return true;
  BASEKIT_LOG(Failure, "SetTimer %u failed, error %lu", local_id, GetLastError());
  return false;
}

void CWin32HostBinding::KillNativeTimer(uint32_t local_id) {
  if (window_ != nullptr) ::KillTimer(window_, local_id);
}

void CWin32HostBinding::CaptureMouse() { SetCapture(window_); }

void CWin32HostBinding::ReleaseMouse() {
  if (GetCapture() == window_) ReleaseCapture();
}

void CWin32HostBinding::TakeFocus() {
  if (window_ != nullptr && GetFocus() != window_) SetFocus(window_);
}

void CWin32HostBinding::FocusOwner() {
  HWND owner = window_ != nullptr ? ::GetWindow(window_, GW_OWNER) : nullptr;
  if (owner != nullptr) SetFocus(owner);
}

void CWin32HostBinding::TrackMouse(uint32_t hover_ms) {
  TRACKMOUSEEVENT track = {};
  track.cbSize = sizeof(track);
  track.dwFlags = TME_HOVER | TME_LEAVE;
  track.hwndTrack = window_;
  track.dwHoverTime = hover_ms;
  if (!TrackMouseEvent(&track)) {
    BASEKIT_LOG(Failure, "TrackMouseEvent failed, error %lu", GetLastError());
  }
}

int CWin32HostBinding::GetTooltipDelay() {
  if (tooltip_ == nullptr) return -1;
  return static_cast<int>(SendMessageW(tooltip_, TTM_GETDELAYTIME, TTDT_INITIAL, 0));
}

void CWin32HostBinding::ShowTooltip(const std::wstring& text, const UiRect& rect, int max_width) {
  if (window_ == nullptr) return;
  TOOLINFOW tool = {};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.uFlags = TTF_TRACK | TTF_ABSOLUTE;
  tool.hwnd = window_;
  tool.uId = kToolId;
  tool.rect = RECT{rect.left, rect.top, rect.right, rect.bottom};
  tooltip_text_ = text;
  tool.lpszText = tooltip_text_.data();
  if (tooltip_ == nullptr) {
    if (!CommonControlsReady()) return;
    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    if (tooltip_ == nullptr) {
      BASEKIT_LOG(Failure, "no tooltip window, error %lu", GetLastError());
      return;
    }
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  } else {
    SendMessageW(tooltip_, TTM_SETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool));
  }
  SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, max_width);
  POINT cursor = {};
  GetCursorPos(&cursor);
  const int below = host_ != nullptr ? host_->GetDpiScale().Scale(kTooltipOffsetY) : kTooltipOffsetY;
  SendMessageW(tooltip_, TTM_TRACKPOSITION, 0, MAKELPARAM(cursor.x, cursor.y + below));
  SendMessageW(tooltip_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
}

void CWin32HostBinding::HideTooltip() {
  if (tooltip_ == nullptr) return;
  TOOLINFOW tool = {};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.hwnd = window_;
  tool.uId = kToolId;
  SendMessageW(tooltip_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
}

void CWin32HostBinding::SetCursorShape(CursorShape shape) {
  SetCursor(LoadCursorW(nullptr, shape == CursorShape::kHand ? IDC_HAND : IDC_ARROW));
}

void CWin32HostBinding::PostCleanup() {
  if (window_ != nullptr) PostMessageW(window_, kMsgDelayedCleanup, 0, 0);
}

void CWin32HostBinding::SendClose() {
  if (window_ != nullptr) SendMessageW(window_, WM_CLOSE, 0, 0);
}

void CWin32HostBinding::SetLayered(bool layered, bool alpha_attribute, uint8_t alpha) {
  if (window_ == nullptr) return;
  LONG style = GetWindowLongW(window_, GWL_EXSTYLE);
  style = layered ? (style | WS_EX_LAYERED) : (style & ~WS_EX_LAYERED);
  SetWindowLongW(window_, GWL_EXSTYLE, style);
  if (!layered || !alpha_attribute) return;
  // Looked up at run time, as systems without it must still start.
  static const auto set_attributes = reinterpret_cast<SetLayeredWindowAttributesProc>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"User32.dll"), "SetLayeredWindowAttributes")));
  if (set_attributes == nullptr || !set_attributes(window_, 0, alpha, LWA_ALPHA)) {
    BASEKIT_LOG(Failure, "the window's alpha %u was not set", alpha);
  }
}

}  // namespace Veneer

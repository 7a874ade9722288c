// A test program for the GUI tests (run-gui-tests.sh): opens the program's
// windows and test windows under a real window system, logs what happens to
// standard output, one line per event, and lets the script drive them with
// real input. Commands:
//   window          the test window: paint, caption, buttons, keys, timers,
//                   modal windows; ends when the window is closed
//   alpha DONE      windows with "alpha" 255 and 300 and a "layerd" one;
//                   ends when the file DONE appears
//   leak N          opens and closes test windows N times, counts objects
//   broken          a window whose skin cannot be built (the default:
//                   message box, exit code 1)
//   broken-hook     the same with a skin-failure hook that logs and returns
//   alert N         the alert three times (without and with an owner), then
//                   N open/close cycles of its form for the object count
//   wizard SCENARIO [TRIGGER]
//                   the repair wizard on a scripted engine (gui_wizard.h)
//   ping CLASS SECS whether a window answers in time (gui_wizard.h)
//
// Log lines: "<window> <event> key=value ...", texts in UTF-8.

#include <windows.h>

#include <commctrl.h>
#include <fcntl.h>
#include <io.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "basekit/log/log.h"
#include "forms/confirm_form.h"
#include "forms/frameless_form.h"
#include "gui_wizard.h"
#include "probe_log.h"
#include "uiframework/base/dpi_scale.h"
#include "uiframework/core/control.h"
#include "uiframework/win/host_binding.h"
#include "uiframework/win/win_platform.h"
#include "uiframework/win/window_impl_base.h"

namespace {

// The test skins' archive, embedded by gui_probe.rc.
constexpr int kTestSkinArchiveId = 140;
constexpr const wchar_t kTestClass[] = L"VeneerGuiTest";
constexpr DWORD kPopupStyle = WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;

double NowMs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// GDI objects of this process. Wine does not implement GetGuiResources; its
// GDI handle table accepts a handle with a zero upper half as "whatever
// object holds this slot", so there the live slots are counted instead.
int GdiObjects() {
  const DWORD count = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  if (count != 0) return static_cast<int>(count);
  int live = 0;
  for (uintptr_t slot = 1; slot < 0x10000; ++slot) {
    if (GetObjectType(reinterpret_cast<HGDIOBJ>(slot)) != 0) ++live;
  }
  return live;
}

BOOL CALLBACK CountWindow(HWND window, LPARAM count) {
  ++*reinterpret_cast<int*>(count);
  EnumChildWindows(window, &CountWindow, count);
  return TRUE;
}

// Windows of this thread, top-level and children, hidden ones included.
int ThreadWindows() {
  int count = 0;
  EnumThreadWindows(GetCurrentThreadId(), &CountWindow, reinterpret_cast<LPARAM>(&count));
  return count;
}

// Runs the messages that are waiting, as the framework's loop would.
void Pump() {
  MSG message;
  for (int i = 0; i < 10000 && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    if (!Veneer::CWin32HostBinding::PreTranslateMessage(message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
}

void LogControls(const char* tag, Veneer::CPaintHostUI& host, std::initializer_list<const wchar_t*> names) {
  for (const wchar_t* name : names) {
    Veneer::CControlUI* control = host.FindControl(std::wstring(name));
    if (control == nullptr) {
      Log("%s pos %s missing", tag, Utf8(name).c_str());
      continue;
    }
    const Veneer::UiRect& r = control->GetPos();
    Log("%s pos %s %d %d %d %d", tag, Utf8(name).c_str(), r.left, r.top, r.right, r.bottom);
  }
}

void LogLayered(const char* tag, HWND window) {
  const bool layered = (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_LAYERED) != 0;
  BYTE alpha = 0;
  DWORD flags = 0;
  const BOOL got = layered ? GetLayeredWindowAttributes(window, nullptr, &alpha, &flags) : FALSE;
  Log("%s layered=%d attributes=%d alpha=%u lwa_alpha=%d", tag, layered ? 1 : 0, got ? 1 : 0, alpha,
      (flags & LWA_ALPHA) != 0 ? 1 : 0);
}

// A skinned test window: the program's frameless behaviour with a skin from
// the test archive, logging its life.
class TestWindow : public forms::CFramelessForm {
 public:
  TestWindow(std::string tag, std::wstring skin) : tag_(std::move(tag)), skin_(std::move(skin)) {}

  HWND Open(HWND owner, const wchar_t* title, DWORD style) {
    opened_at_ = NowMs();
    return Create(owner, title, style, 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT);
  }
  bool painted() const { return painted_; }
  const char* tag() const { return tag_.c_str(); }

  // Called for every notification before the window base sees it.
  std::function<void(Veneer::NotifyMsg&)> on_notify;
  // Called once the first paint is done.
  std::function<void()> on_first_paint;
  std::function<void()> on_destroyed;
  std::vector<const wchar_t*> logged_controls;

  void Notify(Veneer::NotifyMsg& msg) override {
    const std::string sender = msg.sender != nullptr ? Utf8(msg.sender->GetName()) : std::string("-");
    if (msg.type != L"timer") Log("%s notify %s %s", tag(), Utf8(msg.type).c_str(), sender.c_str());
    if (msg.type == L"windowinit") {
      for (const wchar_t* name : logged_controls) LogControls(tag(), host_, {name});
    }
    if (on_notify) on_notify(msg);
    WindowImplBase::Notify(msg);
  }

 protected:
  const wchar_t* GetWindowClassName() const override { return kTestClass; }
  std::wstring GetSkinFolder() override { return std::wstring(); }
  std::wstring GetSkinFile() override { return skin_; }
  int GetResourceType() const override { return kResourceZip; }
  int GetResourceID() const override { return kTestSkinArchiveId; }

  void InitWindow() override { Log("%s init", tag()); }

  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override {
    if (message == WM_SYSCOMMAND) Log("%s syscommand 0x%04X", tag(), static_cast<unsigned>(wparam & 0xFFF0));
    // WM_APP + 2: a layered window's repaint.
    const bool paint = message == WM_PAINT || (message == WM_APP + 2 && host_.GetWindowSettings().layered);
    const LRESULT result = WindowImplBase::HandleMessage(message, wparam, lparam);
    if (paint && !painted_ && hwnd_ != nullptr) {
      painted_ = true;
      HWND owner = GetWindow(hwnd_, GW_OWNER);
      Log("%s painted ms_since_create=%.1f ms_since_process_start=%.1f owner_enabled=%d", tag(), NowMs() - opened_at_,
          ProcessAgeMs(), owner != nullptr ? (IsWindowEnabled(owner) ? 1 : 0) : -1);
      if (on_first_paint) on_first_paint();
    }
    if (message == WM_SYSCOMMAND) Log("%s zoomed=%d", tag(), IsZoomed(hwnd_) ? 1 : 0);
    if (message == WM_MOUSEHOVER || message == WM_MOUSELEAVE) LogTooltip();
    // After the handling: whatever a button-up or a key did is logged by now.
    if (message == WM_LBUTTONUP) Log("%s input lbuttonup", tag());
    if (message == WM_MOUSELEAVE) Log("%s input mouseleave", tag());
    if (message == WM_KEYDOWN) Log("%s input keydown 0x%02X", tag(), static_cast<unsigned>(wparam));
    return result;
  }

  // The tooltip window this window owns: shown or not, where, and its text.
  void LogTooltip() {
    HWND tip = nullptr;
    while ((tip = FindWindowExW(nullptr, tip, TOOLTIPS_CLASSW, nullptr)) != nullptr) {
      if (GetWindow(tip, GW_OWNER) == hwnd_) break;
    }
    if (tip == nullptr) {
      Log("%s tooltip none", tag());
      return;
    }
    wchar_t text[256] = {};
    TOOLINFOW tool = {};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.lpszText = text;
    ::SendMessageW(tip, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&tool));
    RECT r = {};
    GetWindowRect(tip, &r);
    Log("%s tooltip visible=%d rect %ld %ld %ld %ld text=%s", tag(), IsWindowVisible(tip) ? 1 : 0, r.left, r.top,
        r.right, r.bottom, Utf8(text).c_str());
  }

  LRESULT OnClose(UINT, WPARAM wparam, LPARAM, bool& handled) override {
    Log("%s close wparam=%u", tag(), static_cast<unsigned>(wparam));
    closed_at_ = NowMs();
    handled = false;
    return 0;
  }

  void OnFinalMessage(HWND window) override {
    WindowImplBase::OnFinalMessage(window);
    Log("%s destroyed ms_after_close=%.0f", tag(), closed_at_ > 0 ? NowMs() - closed_at_ : -1.0);
    if (on_destroyed) on_destroyed();
  }

 private:
  std::string tag_;
  std::wstring skin_;
  double opened_at_ = 0;
  double closed_at_ = 0;
  bool painted_ = false;
};

// The GDI font check behind the Chinese texts: the face the skins name
// resolves to a font that has the glyphs.
void LogFontCheck(const std::wstring& text) {
  HDC dc = CreateCompatibleDC(nullptr);
  HFONT font =
      CreateFontW(-24, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                  CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"\u5fae\u8f6f\u96c5\u9ed1");
  HGDIOBJ old = SelectObject(dc, font);
  std::vector<WORD> glyphs(text.size());
  GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()), glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS);
  int missing = 0;
  for (WORD glyph : glyphs) missing += glyph == 0xFFFF ? 1 : 0;
  wchar_t face[LF_FACESIZE] = {};
  GetTextFaceW(dc, LF_FACESIZE, face);
  Log("font face=%s missing_glyphs=%d/%d", Utf8(face).c_str(), missing, static_cast<int>(text.size()));
  SelectObject(dc, old);
  DeleteObject(font);
  DeleteDC(dc);
}

// --- window ---------------------------------------------------------------

void RunModal(HWND owner) {
  TestWindow modal("modal", L"test_modal.xml");
  modal.logged_controls = {L"lb_modal", L"againbtn", L"closebtn"};
  modal.on_notify = [&](Veneer::NotifyMsg& msg) {
    if (msg.type != L"click" || msg.sender == nullptr || msg.sender->GetName() != L"againbtn") return;
    // The owner is disabled by the first modal window: this one is refused.
    TestWindow second("second", L"test_modal.xml");
    if (second.Open(owner, L"VeneerGuiSecond", kPopupStyle) == nullptr) {
      Log("second create failed");
      return;
    }
    const int result = static_cast<int>(second.ShowModal());
    Log("second result=%d exists=%d owner_enabled=%d", result, second.GetHWND() != nullptr ? 1 : 0,
        IsWindowEnabled(owner) ? 1 : 0);
  };
  if (modal.Open(owner, L"VeneerGuiModal", kPopupStyle) == nullptr) {
    Log("modal create failed");
    return;
  }
  modal.CenterWindow();
  Log("modal showing owner_enabled=%d", IsWindowEnabled(owner) ? 1 : 0);
  const int result = static_cast<int>(modal.ShowModal());
  Log("modal result=%d owner_enabled=%d", result, IsWindowEnabled(owner) ? 1 : 0);
}

int RunWindow() {
  LogFontCheck(L"\u4fee\u590d\u5b8c\u6210\u6d4b\u8bd5");  // 修复完成测试
  TestWindow main("main", L"test_main.xml");
  main.logged_controls = {L"lb_caption", L"caption_spacer", L"capbtn",   L"lb_cjk",
                          L"grad",       L"okbtn",          L"modalbtn", L"alphaimg"};
  Veneer::CControlUI* timed = nullptr;
  int ticks[2] = {0, 0};
  constexpr uint32_t kTimerIds[2] = {7, 8};
  constexpr int kTicksBeforeKill[2] = {5, 3};
  main.on_notify = [&](Veneer::NotifyMsg& msg) {
    if (msg.type == L"timer" && msg.sender == timed) {
      for (int i = 0; i < 2; ++i) {
        if (msg.wparam != kTimerIds[i]) continue;
        ++ticks[i];
        if (ticks[i] == kTicksBeforeKill[i]) {
          const bool killed = main.GetHost().KillTimer(timed, kTimerIds[i]);
          Log("main timer id=%u killed=%d after_ticks=%d", kTimerIds[i], killed ? 1 : 0, ticks[i]);
        } else if (ticks[i] > kTicksBeforeKill[i]) {
          Log("main timer id=%u tick_after_kill=%d", kTimerIds[i], ticks[i]);
        }
      }
    } else if (msg.type == L"click" && msg.sender != nullptr && msg.sender->GetName() == L"modalbtn") {
      RunModal(main.GetHWND());
    }
  };
  const int gdi_before = GdiObjects();
  main.on_first_paint = [&] { Log("main gdi_objects_held=%d", GdiObjects() - gdi_before); };
  main.on_destroyed = [] { PostQuitMessage(0); };
  // Maximise box and system menu as the program's main window has them: a
  // double click on the caption then asks to maximise.
  if (main.Open(nullptr, L"VeneerGuiMain", kPopupStyle | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX) == nullptr) {
    Log("main create failed");
    return 1;
  }
  timed = main.GetHost().FindControl(std::wstring(L"grad"));
  for (int i = 0; i < 2; ++i) {
    const bool set = main.GetHost().SetTimer(timed, kTimerIds[i], 100);
    Log("main timer id=%u set=%d local_id=%d", kTimerIds[i], set ? 1 : 0,
        main.GetHost().GetTimerLocalId(timed, kTimerIds[i]));
  }
  main.CenterWindow();
  main.ShowWindow(true, true);
  const int code = Veneer::CWin32HostBinding::MessageLoop();
  Log("main loop ended code=%d timer7_ticks=%d timer8_ticks=%d", code, ticks[0], ticks[1]);
  return 0;
}

// --- alpha ----------------------------------------------------------------

int RunAlpha(const std::wstring& done_file) {
  struct Spec {
    const char* tag;
    const wchar_t* skin;
    int x;
  };
  const Spec specs[] = {{"alpha255", L"test_alpha255.xml", 40},
                        {"alpha300", L"test_alpha300.xml", 240},
                        {"layered", L"test_layered.xml", 440}};
  std::vector<std::unique_ptr<TestWindow>> windows;
  for (const Spec& spec : specs) {
    auto window = std::make_unique<TestWindow>(spec.tag, spec.skin);
    const std::wstring title = L"VeneerGui-" + std::wstring(spec.tag, spec.tag + strlen(spec.tag));
    if (window->Open(nullptr, title.c_str(), kPopupStyle) == nullptr) {
      Log("%s create failed", spec.tag);
      return 1;
    }
    SetWindowPos(window->GetHWND(), nullptr, spec.x, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    window->ShowWindow(true, false);
    windows.push_back(std::move(window));
  }
  Pump();
  for (auto& window : windows) LogLayered(window->tag(), window->GetHWND());
  Log("alpha ready");
  // The script says when it has looked, by creating the file.
  while (GetFileAttributesW(done_file.c_str()) == INVALID_FILE_ATTRIBUTES) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    Pump();
  }
  for (auto& window : windows) {
    const double start = NowMs();
    DestroyWindow(window->GetHWND());
    Log("%s destroy_ms=%.0f", window->tag(), NowMs() - start);
  }
  return 0;
}

// --- leak -----------------------------------------------------------------

struct Counts {
  int gdi;
  int windows;
};

Counts Count() { return Counts{GdiObjects(), ThreadWindows()}; }

// Opens one window without activating it, lets it paint, and closes it.
// Returns the GDI objects it held while shown.
template <typename Window>
int Cycle(Window& window, const wchar_t* title, double* destroy_ms) {
  const int before = GdiObjects();
  if (window.Create(nullptr, title, kPopupStyle, 0, 0, 0, CW_USEDEFAULT, CW_USEDEFAULT) == nullptr) return -1;
  window.ShowWindow(true, false);
  UpdateWindow(window.GetHWND());
  Pump();
  const int held = GdiObjects() - before;
  const double start = NowMs();
  DestroyWindow(window.GetHWND());
  if (destroy_ms != nullptr) *destroy_ms = NowMs() - start;
  Pump();
  return held;
}

// Repeats the cycle: after two rounds (first-use caches) the counts must
// stay where they are.
template <typename MakeWindow>
void LeakRounds(const char* tag, int rounds, MakeWindow make) {
  int held = 0;
  double destroy_ms = 0;
  for (int i = 0; i < 2; ++i) {
    auto window = make();
    held = Cycle(*window, L"VeneerGuiLeak", &destroy_ms);
  }
  const Counts before = Count();
  for (int i = 0; i < rounds; ++i) {
    auto window = make();
    if (Cycle(*window, L"VeneerGuiLeak", nullptr) < 0) {
      Log("%s leak create failed", tag);
      return;
    }
  }
  const Counts after = Count();
  Log("%s leak rounds=%d gdi_held_per_window=%d destroy_ms=%.0f gdi_before=%d gdi_after=%d windows_before=%d "
      "windows_after=%d",
      tag, rounds, held, destroy_ms, before.gdi, after.gdi, before.windows, after.windows);
}

// The class is registered once and no window of it is left: unregistering
// works once, and then the class is gone.
void LogClassCheck(const wchar_t* class_name) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW info = {};
  info.cbSize = sizeof(info);
  const bool registered = GetClassInfoExW(instance, class_name, &info) != FALSE;
  const bool first = UnregisterClassW(class_name, instance) != FALSE;
  const DWORD first_error = first ? 0 : GetLastError();
  const bool second = UnregisterClassW(class_name, instance) != FALSE;
  Log("class %s registered=%d unregister_first=%d error=%lu unregister_second=%d", Utf8(class_name).c_str(),
      registered ? 1 : 0, first ? 1 : 0, first_error, second ? 1 : 0);
}

// A window object that goes while its window is up takes the window with
// it: afterwards nothing can reach the gone object.
void OrphanCheck() {
  auto window = std::make_unique<TestWindow>("orphan", L"test_main.xml");
  HWND handle = window->Open(nullptr, L"VeneerGuiOrphan", kPopupStyle);
  window->ShowWindow(true, false);
  UpdateWindow(handle);
  Pump();
  window.reset();
  const bool left = IsWindow(handle) != FALSE;
  if (left) {
    InvalidateRect(handle, nullptr, FALSE);
    UpdateWindow(handle);
  }
  Pump();
  Log("orphan window_left=%d", left ? 1 : 0);
}

int RunLeak(int rounds) {
  OrphanCheck();
  LeakRounds("main", rounds, [] { return std::make_unique<TestWindow>("leakmain", L"test_main.xml"); });
  LeakRounds("layered", rounds, [] { return std::make_unique<TestWindow>("leaklayered", L"test_layered.xml"); });
  LeakRounds("alpha", rounds, [] { return std::make_unique<TestWindow>("leakalpha", L"test_alpha255.xml"); });
  LogClassCheck(kTestClass);
  return 0;
}

// --- broken ---------------------------------------------------------------

void LogSkinFailure(const wchar_t* text, const wchar_t* title) {
  Log("brokenhook hook text=%s title=%s", Utf8(text).c_str(), Utf8(title).c_str());
}

// With the default the window base ends the process before "created".
int RunBroken(bool hooked) {
  const char* tag = hooked ? "brokenhook" : "broken";
  if (hooked) Veneer::SetSkinFailureHook(&LogSkinFailure);
  TestWindow window(tag, L"test_broken.xml");
  Log("%s creating", tag);
  HWND created = window.Open(nullptr, L"VeneerGuiBroken", kPopupStyle);
  Log("%s created hwnd=%s windows_left=%d", tag, created != nullptr ? "window" : "none", ThreadWindows());
  return 0;
}

// --- alert ----------------------------------------------------------------

HWND g_owner = nullptr;
HWND g_last_alert = nullptr;
int g_alert_number = 0;
bool g_watching = false;
constexpr int kQuitRound = 4;
constexpr int kQuitCode = 7;

// While an alert runs its modal loop, this thread timer reports it once it
// is laid out: its texts, where its buttons are and what is disabled.
void CALLBACK WatchAlert(HWND, UINT, UINT_PTR, DWORD) {
  if (!g_watching) return;
  HWND alert = FindWindowW(L"Confirm", nullptr);
  if (alert == nullptr || alert == g_last_alert || !IsWindowVisible(alert)) return;
  auto* object = reinterpret_cast<Veneer::CWindowWnd*>(GetWindowLongPtrW(alert, GWLP_USERDATA));
  auto* form = dynamic_cast<Veneer::WindowImplBase*>(object);
  if (form == nullptr) return;
  Veneer::CPaintHostUI& host = form->GetHost();
  Veneer::CControlUI* close = host.FindControl(std::wstring(L"bt_close"));
  if (close == nullptr || close->GetPos().IsEmpty()) return;  // not laid out yet
  g_last_alert = alert;
  auto text = [&](const wchar_t* name) {
    Veneer::CControlUI* control = host.FindControl(std::wstring(name));
    return control != nullptr ? Utf8(control->GetText()) : std::string("<missing>");
  };
  const HWND owner = GetWindow(alert, GW_OWNER);
  Log("alert%d up owner=%s owner_window_enabled=%d", g_alert_number, owner == nullptr ? "none" : "window",
      IsWindowEnabled(g_owner) ? 1 : 0);
  Log("alert%d text lb_title=%s", g_alert_number, text(L"lb_title").c_str());
  Log("alert%d text lb_content=%s", g_alert_number, text(L"lb_content").c_str());
  LogLayered(("alert" + std::to_string(g_alert_number)).c_str(), alert);
  LogControls(("alert" + std::to_string(g_alert_number)).c_str(), host,
              {L"lb_title", L"bt_close", L"lb_content", L"bt_close_down"});
  // The last round: the program is told to quit while the alert is up.
  if (g_alert_number == kQuitRound) PostQuitMessage(kQuitCode);
}

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_LBUTTONDOWN) Log("owner click");
  return DefWindowProcW(window, message, wparam, lparam);
}

int RunAlert(int rounds) {
  WNDCLASSW owner_class = {};
  owner_class.lpfnWndProc = &OwnerProc;
  owner_class.hInstance = GetModuleHandleW(nullptr);
  owner_class.hbrBackground = CreateSolidBrush(RGB(60, 90, 60));
  owner_class.lpszClassName = L"VeneerGuiOwner";
  RegisterClassW(&owner_class);
  // 600 x 400 at 20,20 on a 96-DPI screen, as large on any other.
  const Veneer::DpiScale scale(Veneer::GetWindowDpi(nullptr));
  g_owner = CreateWindowExW(0, owner_class.lpszClassName, L"VeneerGuiOwner", WS_POPUP | WS_VISIBLE, scale.Scale(20),
                            scale.Scale(20), scale.Scale(600), scale.Scale(400), nullptr, nullptr,
                            owner_class.hInstance, nullptr);
  UpdateWindow(g_owner);
  g_watching = true;
  const UINT_PTR watch = SetTimer(nullptr, 0, 50, &WatchAlert);
  struct Round {
    HWND owner;
    const wchar_t* title;
    const wchar_t* message;
  };
  // The program's two alerts: at start-up without an owner, and a failed
  // repair over the wizard.
  const Round alerts[] = {
      {nullptr,
       L"\u74e6\u5ddd"
       L"RAvozoder",
       L"\u4fee\u590d\u7a0b\u5e8f\u6b63\u5728\u8fd0\u884c"},
      {g_owner,
       L"\u74e6\u5ddd"
       L"QX",
       L"\u4fee\u590d\u5931\u8d25"},
      {g_owner,
       L"\u74e6\u5ddd"
       L"QX",
       L"\u4fee\u590d\u5931\u8d25"},
  };
  for (const Round& round : alerts) {
    ++g_alert_number;
    forms::Alert(round.owner, round.title, round.message);
    Log("alert%d returned owner_window_enabled=%d", g_alert_number, IsWindowEnabled(g_owner) ? 1 : 0);
  }
  // A quit message ends the alert's loop: the alert returns with its
  // window gone and the quit message posted again.
  ++g_alert_number;
  forms::Alert(g_owner,
               L"\u74e6\u5ddd"
               L"QX",
               L"\u4fee\u590d\u5931\u8d25");
  MSG quit = {};
  const bool requeued = PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
  Log("alert%d returned window_left=%d quit_reposted=%d code=%d", g_alert_number,
      FindWindowW(L"Confirm", nullptr) != nullptr ? 1 : 0, requeued ? 1 : 0,
      requeued ? static_cast<int>(quit.wParam) : -1);
  // Destroying the owner destroys what it owns: nothing may reach a
  // destroyed alert object.
  DestroyWindow(g_owner);
  Log("owner destroyed");
  g_watching = false;
  KillTimer(nullptr, watch);
  LeakRounds("confirm", rounds, [] { return std::make_unique<forms::ConfirmForm>(); });
  LogClassCheck(L"Confirm");
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // The script reads the log from a file: plain "\n" line ends.
  _setmode(_fileno(stdout), _O_BINARY);
  // The framework's own log lines go to standard error.
  basekit::GetLog()->SetLevel(basekit::kLogLevelProgress);
  basekit::GetLog()->SetLogDescriptor(2);
  Veneer::InstallWin32Platform(GetModuleHandleW(nullptr));
  const std::wstring command = argc > 1 ? argv[1] : L"";
  const std::wstring argument = argc > 2 ? argv[2] : L"";
  Log("probe %s pid=%lu", Utf8(command).c_str(), GetCurrentProcessId());
  int rc = 2;
  if (command == L"window") {
    rc = RunWindow();
  } else if (command == L"alpha" && !argument.empty()) {
    rc = RunAlpha(argument);
  } else if (command == L"leak") {
    rc = RunLeak(argument.empty() ? 20 : _wtoi(argument.c_str()));
  } else if (command == L"broken" || command == L"broken-hook") {
    rc = RunBroken(command == L"broken-hook");
  } else if (command == L"alert") {
    rc = RunAlert(argument.empty() ? 10 : _wtoi(argument.c_str()));
  } else if (command == L"wizard" && !argument.empty()) {
    rc = RunWizard(argument, argc > 3 ? argv[3] : L"");
  } else if (command == L"ping" && !argument.empty()) {
    rc = RunPing(argument, argc > 3 ? _wtoi(argv[3]) : 60);
  } else {
    Log("unknown command");
  }
  Log("probe end rc=%d", rc);
  return rc;
}

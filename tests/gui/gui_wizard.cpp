// The repair wizard in the GUI tests: the real window and the real engine,
// on the engine's fakes (tests/repair/fake_system.h) with real pauses, so
// each state can be reached on demand and looked at. Nothing here runs a
// command or touches a network.

#include "gui_wizard.h"

#include <windows.h>

#include <string>
#include <vector>

#include "forms/app_window.h"
#include "forms/repair_form.h"
#include "probe_log.h"
#include "repair/repair_service.h"
#include "tests/repair/fake_system.h"
#include "uiframework/controls/progress.h"
#include "uiframework/core/container.h"
#include "uiframework/core/control.h"
#include "uiframework/win/host_binding.h"
#include "uiframework/win/window_impl_base.h"

namespace {

using repair::fakes::FakeSystem;
using repair::fakes::kMac1;
using repair::fakes::MakeAdapter;

constexpr size_t kImageSize = 5628964;

// What an unfinished repair of the fake adapter left: the rule, and the
// adapter on the recovery address.
constexpr char kJournal[] =
    "DEzed repair journal\r\nformat=1\r\nfirewall-rule=VA Rovade Varoza\r\nadapter={0A}\r\n"
    "mac=00-1A-2B-3C-4D-5E\r\nconnection=\xE6\x9C\xAC\xE5\x9C\xB0\xE8\xBF\x9E\xE6\x8E\xA5\r\nbefore=dhcp\r\nend\r\n";

FakeSystem* g_system = nullptr;
// A file the script creates to move the wizard to another DPI: it holds
// the DPI (see WatchWizard).
std::wstring g_dpi_trigger;
// WM_DPICHANGED (older headers lack it).
constexpr UINT kMsgDpiChanged = 0x02E0;

Veneer::CPaintHostUI* HostOf(const wchar_t* window_class) {
  HWND window = FindWindowW(window_class, nullptr);
  if (window == nullptr || !IsWindowVisible(window)) return nullptr;
  auto* object = reinterpret_cast<Veneer::CWindowWnd*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  auto* form = dynamic_cast<Veneer::WindowImplBase*>(object);
  return form != nullptr ? &form->GetHost() : nullptr;
}

std::string Shown(Veneer::CPaintHostUI& host, const wchar_t* name) {
  Veneer::CControlUI* control = host.FindControl(std::wstring(name));
  if (control == nullptr) return "<missing>";
  return control->IsVisible() ? Utf8(control->GetText()) : std::string("<hidden>");
}

int Page(Veneer::CPaintHostUI& host) {
  const wchar_t* pages[] = {L"repair_step1", L"repair_step2", L"repair_step3"};
  for (int i = 0; i < 3; ++i) {
    Veneer::CControlUI* page = host.FindControl(std::wstring(pages[i]));
    if (page != nullptr && page->IsVisible()) return i + 1;
  }
  return 0;
}

void LogPositions(Veneer::CPaintHostUI& host) {
  for (const wchar_t* name :
       {L"repair_notice", L"repair_heading", L"repair_status", L"repair_amount", L"repair_progress", L"repair_cause",
        L"repair_next", L"repair_btn_retry", L"repair_btn_quit", L"repair_btn_step1", L"repair_btn_close"}) {
    Veneer::CControlUI* control = host.FindControl(std::wstring(name));
    if (control == nullptr || !control->IsVisible()) continue;
    const Veneer::UiRect& r = control->GetPos();
    Log("wizard pos %s %d %d %d %d", Utf8(name).c_str(), r.left, r.top, r.right, r.bottom);
  }
}

// The system moving the wizard to a screen of another DPI, as it does
// (WM_DPICHANGED, sent to the window on its own thread): the DPI from the
// trigger file, and a window rectangle of the same centre, scaled.
void MoveToDpi(HWND window, Veneer::CPaintHostUI& host) {
  FILE* file = _wfopen(g_dpi_trigger.c_str(), L"rb");
  if (file == nullptr) return;
  int dpi = 0;
  const bool read = fscanf(file, "%d", &dpi) == 1;
  fclose(file);
  _wremove(g_dpi_trigger.c_str());
  if (!read) return;
  const int old_dpi = host.GetDpiScale().Dpi();
  RECT rect = {};
  GetWindowRect(window, &rect);
  const int width = MulDiv(rect.right - rect.left, dpi, old_dpi);
  const int height = MulDiv(rect.bottom - rect.top, dpi, old_dpi);
  const int cx = (rect.left + rect.right) / 2;
  const int cy = (rect.top + rect.bottom) / 2;
  RECT suggested = {cx - width / 2, cy - height / 2, cx - width / 2 + width, cy - height / 2 + height};
  SendMessageW(window, kMsgDpiChanged, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
  UpdateWindow(window);  // laid out and painted now, for the places logged next
  GetWindowRect(window, &rect);
  RECT client = {};
  GetClientRect(window, &client);
  Log("wizard dpi changed from=%d to=%d host=%d window=%ld %ld %ld %ld client=%ld %ld", old_dpi, dpi,
      host.GetDpiScale().Dpi(), rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, client.right,
      client.bottom);
}

// The picker's entries, once they are laid out.
void WatchPicker() {
  static HWND last_picker = nullptr;
  HWND picker = FindWindowW(L"QX_ADAPTER", nullptr);
  Veneer::CPaintHostUI* host = HostOf(L"QX_ADAPTER");
  if (host == nullptr || picker == last_picker) return;
  Veneer::CControlUI* found = host->FindControl(std::wstring(L"adapter_list"));
  auto* list = found != nullptr ? static_cast<Veneer::CContainerUI*>(found->GetInterface(L"Container")) : nullptr;
  if (list == nullptr || list->GetCount() == 0 || list->GetItemAt(list->GetCount() - 1)->GetPos().IsEmpty()) return;
  last_picker = picker;
  Log("wizard picker up dpi=%d entries=%d", host->GetDpiScale().Dpi(), list->GetCount() - 2);
  for (int i = 2; i < list->GetCount(); ++i) {
    const Veneer::UiRect& r = list->GetItemAt(i)->GetPos();
    Log("wizard picker entry %d %d %d %d %d", i - 2, r.left, r.top, r.right, r.bottom);
  }
}

// Logs the wizard's view whenever it changes, the places of its controls
// with it, and the alert when one comes up.
void CALLBACK WatchWizard(HWND, UINT, UINT_PTR, DWORD) {
  static std::string last;
  static HWND last_alert = nullptr;
  Veneer::CPaintHostUI* host = HostOf(L"QX_REPAIR");
  if (host == nullptr) return;
  if (!g_dpi_trigger.empty()) {
    HWND window = FindWindowW(L"QX_REPAIR", nullptr);
    if (GetFileAttributesW(g_dpi_trigger.c_str()) != INVALID_FILE_ATTRIBUTES) {
      MoveToDpi(window, *host);
      LogPositions(*host);
    }
  }
  WatchPicker();
  auto* progress = static_cast<Veneer::CProgressUI*>(
      host->FindControl(std::wstring(L"repair_progress")) != nullptr
          ? host->FindControl(std::wstring(L"repair_progress"))->GetInterface(L"Progress")
          : nullptr);
  Veneer::CControlUI* start = host->FindControl(std::wstring(L"repair_btn_step1"));
  const std::string view =
      "page=" + std::to_string(Page(*host)) + " start=" + std::to_string(start != nullptr && start->IsEnabled()) +
      " progress=" + std::to_string(progress != nullptr && progress->IsVisible() ? progress->GetValue() : -1) +
      " notice=" + Shown(*host, L"repair_notice") + " heading=" + Shown(*host, L"repair_heading") +
      " status=" + Shown(*host, L"repair_status") + " amount=" + Shown(*host, L"repair_amount") +
      " cause=" + Shown(*host, L"repair_cause") + " next=" + Shown(*host, L"repair_next");
  if (view != last) {
    last = view;
    Log("wizard view %s", view.c_str());
    LogPositions(*host);
  }
  Veneer::CPaintHostUI* alert = HostOf(L"Confirm");
  HWND alert_window = FindWindowW(L"Confirm", nullptr);
  if (alert != nullptr && alert_window != last_alert) {
    Veneer::CControlUI* close = alert->FindControl(std::wstring(L"bt_close_down"));
    if (close == nullptr || close->GetPos().IsEmpty()) return;  // not laid out yet
    last_alert = alert_window;
    Log("wizard alert up title=%s message=%s", Shown(*alert, L"lb_title").c_str(),
        Shown(*alert, L"lb_content").c_str());
  }
}

// A failure of the upload on its first try only: "重试" then succeeds.
void FailUploadOnce(FakeSystem& s, TftpOutcome outcome, size_t acknowledged) {
  s.tftp.outcome = outcome;
  s.tftp.acknowledged = acknowledged;
  s.tftp.during_send = [&s] {
    static int sends = 0;
    if (++sends >= 2) s.tftp.outcome.reset();
  };
}

// The scenarios; false for an unknown name.
bool Arrange(FakeSystem& s, const std::wstring& scenario) {
  s.AddAdapter(MakeAdapter("{0A}", "Realtek PCIe GbE Family Controller", kMac1), L"本地连接");
  s.firmware.image.assign(kImageSize, 0x5A);
  s.tftp.progress_step_ms = 100;
  // The engine's pauses are real here: the window is looked at meanwhile.
  s.sleeper.on_sleep = [&s] { ::Sleep(s.sleeper.sleeps.back()); };
  if (scenario == L"restored" || scenario == L"restore-failed" || scenario == L"rule-left") {
    s.journal.file = kJournal;
    s.network.adapters[0].state.dhcp_enabled = false;
    s.network.adapters[0].state.addresses = {{"192.168.1.111", 24, true}};
    if (scenario == L"restore-failed") {
      // netsh refuses; without a look at the adapter its exit code decides.
      s.network.refused = {L" dhcp"};
      s.network.unavailable = true;
    }
    if (scenario == L"rule-left") s.HangRuleDeletion();
  } else if (scenario == L"upload") {
    s.tftp.progress_steps = {512, 1000000, 2100000};
    s.tftp.during_send = [] {
      Log("wizard upload held");
      ::Sleep(3000);
    };
  } else if (scenario == L"cable") {
    s.network.adapters[0].state.link_up = false;
  } else if (scenario == L"no-adapter") {
    s.adapters.records.clear();
  } else if (scenario == L"address") {
    s.registry.keys.clear();
    s.network.adapters[0].state.friendly_name.clear();
  } else if (scenario == L"silent") {
    FailUploadOnce(s, TftpOutcome::kRequestUnanswered, 0);
    s.tftp.request_retries = 4;
    // The clean-up takes its time: the window must stay alive meanwhile.
    s.processes.on_command = [&s](const std::wstring& command, std::string* output) {
      if (s.tftp.sent.size() == 1 && command.find(L"delete rule") != std::wstring::npos) {
        Log("wizard cleanup held");
        ::Sleep(4000);
      }
      return s.network.Apply(command, output);
    };
  } else if (scenario == L"cut") {
    // The cable is pulled during the first upload; "重试" waits for it,
    // and two seconds later it is back.
    FailUploadOnce(s, TftpOutcome::kNoReply, 2100000);
    s.tftp.during_send = [&s] {
      static int sends = 0;
      if (++sends >= 2) {
        s.tftp.outcome.reset();
      } else {
        s.network.adapters[0].state.link_up = false;
      }
    };
    s.sleeper.on_sleep = [&s] {
      static int down = 0;
      if (!s.network.adapters[0].state.link_up && s.sleeper.sleeps.back() == repair::kLinkPollMs && ++down > 8) {
        s.network.adapters[0].state.link_up = true;
      }
      ::Sleep(s.sleeper.sleeps.back());
    };
  } else if (scenario == L"quiet") {
    FailUploadOnce(s, TftpOutcome::kNoReply, 2100000);
  } else if (scenario == L"refused") {
    FailUploadOnce(s, TftpOutcome::kServerError, 1024);
    s.tftp.error_code = 2;
    s.tftp.error_text = "Access violation";
  } else if (scenario == L"unconfirmed") {
    FailUploadOnce(s, TftpOutcome::kLastBlockUnconfirmed, kImageSize - 36);
  } else if (scenario == L"restore") {
    s.network.refused = {L" dhcp"};
    s.network.unavailable = true;
  } else if (scenario == L"rule") {
    s.HangRuleDeletion();
  } else if (scenario == L"firmware") {
    s.firmware.available = false;
  } else if (scenario == L"picker" || scenario == L"dpichange") {
    // Two wired adapters: the user picks the second; moved to another DPI,
    // the upload then fails once (the alert).
    s.AddAdapter(MakeAdapter("{0B}", "Intel(R) I210 Gigabit Network Connection", {0x00, 0x1B, 0x21, 0x3A, 0x4B, 0x5C}),
                 L"\u4ee5\u592a\u7f51 2");
    if (scenario == L"dpichange") FailUploadOnce(s, TftpOutcome::kNoReply, 2100000);
  } else if (scenario != L"plain") {
    return false;
  }
  return true;
}

}  // namespace

int RunWizard(const std::wstring& scenario, const std::wstring& dpi_trigger) {
  static FakeSystem system;
  g_system = &system;
  g_dpi_trigger = dpi_trigger;
  if (!Arrange(system, scenario)) {
    Log("wizard unknown scenario");
    return 2;
  }
  int rc = 0;
  {
    repair::RepairService service(system.platform());
    forms::CRepairForm form(&service);
    LARGE_INTEGER frequency, created, painted;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&created);
    if (forms::CreateAppWindow(form, nullptr) == nullptr) {
      Log("wizard not created");
      return 1;
    }
    form.CenterWindow();
    ShowWindow(form, SW_SHOW);
    UpdateWindow(form);
    QueryPerformanceCounter(&painted);
    // The skin built, laid out and painted: what a start costs the window.
    Log("wizard first paint dpi=%d ms=%.1f ms_since_process_start=%.1f", form.GetHost().GetDpiScale().Dpi(),
        static_cast<double>(painted.QuadPart - created.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart),
        ProcessAgeMs());
    const UINT_PTR watch = SetTimer(nullptr, 0, 50, &WatchWizard);
    Veneer::CWin32HostBinding::MessageLoop();
    KillTimer(nullptr, watch);
  }
  const auto& adapter = system.network.adapters[0].state;
  Log("wizard end commands=%u rules=%u journal=%d address=%s dhcp=%d sent=%u",
      static_cast<unsigned>(system.processes.started.size()), static_cast<unsigned>(system.network.rules.size()),
      system.journal.file.has_value() ? 1 : 0, adapter.addresses.empty() ? "-" : adapter.addresses[0].address.c_str(),
      adapter.dhcp_enabled ? 1 : 0, static_cast<unsigned>(system.tftp.sent.size()));
  return rc;
}

int RunPing(const std::wstring& window_class, int seconds) {
  HWND window = nullptr;
  for (int i = 0; i < 100 && window == nullptr; ++i) {
    window = FindWindowW(window_class.c_str(), nullptr);
    if (window == nullptr) ::Sleep(100);
  }
  if (window == nullptr) {
    Log("ping no window");
    return 1;
  }
  int count = 0;
  int timeouts = 0;
  DWORD longest = 0;
  const DWORD end = GetTickCount() + static_cast<DWORD>(seconds) * 1000;
  while (IsWindow(window) && static_cast<LONG>(end - GetTickCount()) > 0) {
    const DWORD sent = GetTickCount();
    DWORD_PTR result = 0;
    const bool answered =
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &result) != 0 || !IsWindow(window);
    const DWORD took = GetTickCount() - sent;
    ++count;
    if (!answered) ++timeouts;
    if (took > longest) longest = took;
    if (!answered || took > 500) Log("ping %d %s ms=%lu", count, answered ? "slow" : "timeout", took);
    ::Sleep(200);
  }
  Log("ping summary count=%d longest_ms=%lu timeouts=%d", count, longest, timeouts);
  return timeouts == 0 ? 0 : 1;
}

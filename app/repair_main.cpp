// The program's entry point: limits and configures the log, makes sure one
// copy runs on the machine, opens the repair wizard and runs the UI loop
// until the wizard has closed.

#include <windows.h>

#include <string>

#include "app/log_limit.h"
#include "basekit/log/log.h"
#include "basekit/win/system_library.h"
#include "firmware_info.h"
#include "forms/app_window.h"
#include "forms/confirm_form.h"
#include "forms/repair_form.h"
#include "repair/text_encoding.h"
#include "repair_version.h"
#include "uiframework/win/host_binding.h"
#include "uiframework/win/win_platform.h"

namespace {

constexpr const char* kLogSource = "repair";
constexpr const char kLogFileName[] = "repair.log";
constexpr const char kLogName[] = "REPAIR";
constexpr uint32_t kLogLevel = basekit::kLogLevelProgress;
constexpr const wchar_t kMutexName[] = L"Global\\ZKRW-Repair-{58E46E80-FDC9-4544-94FA-B1387040DD38}";
constexpr const wchar_t kAlreadyRunning[] = L"\u4fee\u590d\u7a0b\u5e8f\u6b63\u5728\u8fd0\u884c";  // 修复程序正在运行

void SetUpLog() {
  const std::string directory = repair::GetModuleDirectory();
  app::LimitLogFile(directory + kLogFileName, app::SystemLogFileOps());
  basekit::LogInterface* log = basekit::GetLog();
  log->SetLogPath(directory.c_str());
  log->SetLogName(kLogName);
  log->AddFlags(basekit::kLogNoDatePrefix);
  log->SetLevel(kLogLevel);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // Before anything can load a DLL: the program runs with administrator
  // rights, and its own folder may hold DLLs others have put there.
  const bool search_restricted = basekit::RestrictDllSearchToSystemFolder();
  SetUpLog();
  if (!search_restricted) {
    BASEKIT_LOG(Failure, "DLL search not restricted to the system folder; the current folder is left out of it");
  }
  Veneer::InstallWin32Platform(instance);

  // One copy per machine. The handle stays open for the life of the
  // process; the system releases it at exit.
  HANDLE mutex = CreateMutexW(nullptr, FALSE, kMutexName);
  if (mutex == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) {
    forms::Alert(nullptr, forms::kAppTitle, kAlreadyRunning);
    return 0;
  }

  BASEKIT_LOG(Progress, "repair start");
  // Which program and which image ran, for whoever reads a user's log.
  BASEKIT_LOG(Progress, "version %s, firmware image %u bytes, SHA-256 %s%s", REPAIR_VERSION, REPAIR_FIRMWARE_SIZE,
              REPAIR_FIRMWARE_SHA256, REPAIR_FIRMWARE_IS_TEST ? " (test image)" : "");
  {
    forms::CRepairForm form;
    if (forms::CreateAppWindow(form, nullptr) == nullptr) {
      // Nothing would ever post the quit message the loop waits for.
      BASEKIT_LOG(Failure, "the main window was not created");
      return 0;
    }
    form.CenterWindow();
    ShowWindow(form, SW_SHOW);
    Veneer::CWin32HostBinding::MessageLoop();
  }
  return 0;
}

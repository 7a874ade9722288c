// The program's entry point: makes sure one copy runs on the machine,
// limits and configures the log, opens the repair wizard and runs the UI
// loop until the wizard has closed.

#include <windows.h>

#include <string>

#include "app/startup.h"
#include "basekit/log/log.h"
#include "basekit/win/system_library.h"
#include "firmware_info.h"
#include "forms/app_window.h"
#include "forms/confirm_form.h"
#include "forms/repair_form.h"
#include "repair/text_encoding.h"
#include "repair/wizard_texts.h"
#include "repair_version.h"
#include "uiframework/win/host_binding.h"
#include "uiframework/win/win_platform.h"

namespace {

constexpr const char* kLogSource = "repair";
constexpr const wchar_t kAlreadyRunning[] = L"\u4fee\u590d\u7a0b\u5e8f\u6b63\u5728\u8fd0\u884c";  // 修复程序正在运行

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // Before anything can load a DLL: the program runs with administrator
  // rights, and its own folder may hold DLLs others have put there.
  const bool search_restricted = basekit::RestrictDllSearchToSystemFolder();
  // One copy per machine; the mutexes stay held for the life of the
  // process and the system releases them at exit.
  app::WinMutexOps mutexes;
  const app::StartupResult start = app::StartUp(mutexes, app::SystemLogFileOps(), repair::GetModuleDirectory());
  Veneer::InstallWin32Platform(instance);
  if (start.another_copy_runs) {
    forms::Alert(nullptr, forms::kAppTitle, kAlreadyRunning);
    return 0;
  }

  BASEKIT_LOG(Progress, "repair start");
  // Which program and which image ran, for whoever reads a user's log.
  BASEKIT_LOG(Progress, "version %s, firmware image %u bytes, SHA-256 %s%s", REPAIR_VERSION, REPAIR_FIRMWARE_SIZE,
              REPAIR_FIRMWARE_SHA256, REPAIR_FIRMWARE_IS_TEST ? " (test image)" : "");
  for (const std::string& note : start.notes) BASEKIT_LOG(Failure, "%s", note.c_str());
  if (!search_restricted) {
    BASEKIT_LOG(Failure, "DLL search not restricted to the system folder; the current folder is left out of it");
  }
  {
    forms::CRepairForm form;
    if (start.log_refusal != basekit::LogFileRefusal::kNone) form.SetLogNotice(repair::LogRefusedNotice());
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

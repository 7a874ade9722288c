// A test program for the GUI tests: opens the program's windows (or test
// windows) under a real window system, logs what happens to standard
// output, and lets the test script drive it with real input.

#include <windows.h>

#include <cstdio>
#include <string>

#include "forms/confirm_form.h"
#include "uiframework/win/win_platform.h"

namespace {

void Log(const char* text) {
  std::printf("%s\n", text);
  std::fflush(stdout);
}

int RunAlert() {
  Log("alert shown");
  forms::Alert(nullptr, L"\u74e6\u5ddd" L"RAvozoder", L"\u4fee\u590d\u7a0b\u5e8f\u6b63\u5728\u8fd0\u884c");
  Log("alert closed");
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Veneer::InstallWin32Platform(GetModuleHandleW(nullptr));
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"alert") return RunAlert();
  Log("unknown command");
  return 2;
}

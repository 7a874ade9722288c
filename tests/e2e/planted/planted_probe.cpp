// The control of the planted-file runs. Placed in the folder of the planted
// files and run from there, it asks for each of them by bare name, the way
// a program that searches would: the tools through CreateProcessW without
// an application name, the DLLs through LoadLibraryW. Every planted file
// then leaves its marker, which shows that the plants are live (Wine's
// native-first load order for the DLL names included) when the program
// under test leaves none. Prints one line per name: "<name> <result>".

#include <windows.h>

#include <cstdio>

int wmain() {
  const wchar_t* const tools[] = {L"netsh probe", L"cmd /c exit 0"};
  for (const wchar_t* tool : tools) {
    wchar_t command[64];
    lstrcpynW(command, tool, 64);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    const BOOL started =
        CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info);
    if (started) {
      WaitForSingleObject(info.hProcess, 10000);
      CloseHandle(info.hThread);
      CloseHandle(info.hProcess);
    }
    std::printf("%ls %s\n", tool, started ? "started" : "not started");
  }
  const wchar_t* const libraries[] = {L"iphlpapi.dll", L"msimg32.dll", L"winmm.dll", L"gdiplus.dll", L"comctl32.dll"};
  for (const wchar_t* library : libraries) {
    std::printf("%ls %s\n", library, LoadLibraryW(library) != nullptr ? "loaded" : "not loaded");
  }
  return 0;
}

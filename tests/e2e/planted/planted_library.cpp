// A DLL planted where a DLL might be looked up by its bare name (built as
// iphlpapi.dll, msimg32.dll, winmm.dll, gdiplus.dll, comctl32.dll). If it
// is ever loaded it leaves its marker with the path of the program that
// loaded it. It exports nothing: a program importing the real DLL's
// functions does not start with it.

#include <windows.h>

#include "planted_marker.h"

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    wchar_t program[MAX_PATH] = L"?";
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    planted::WriteMarker(self, program);
  }
  return TRUE;
}

#pragma once

// The marker a planted file leaves when it runs: "<its file name>.marker"
// in the folder named by E2E_MARKER_DIR, or beside the file itself when
// that is not set, holding one line of text (UTF-8) that says who ran it.
// Kernel32 only, so that it is safe in DllMain.

#include <windows.h>

namespace planted {

inline void WriteMarker(HMODULE self, const wchar_t* text) {
  wchar_t own_path[MAX_PATH];
  const DWORD own_length = GetModuleFileNameW(self, own_path, MAX_PATH);
  if (own_length == 0 || own_length >= MAX_PATH) return;
  const wchar_t* own_name = own_path;
  for (const wchar_t* p = own_path; *p != L'\0'; ++p) {
    if (*p == L'\\' || *p == L'/') own_name = p + 1;
  }

  wchar_t marker[2 * MAX_PATH];
  const DWORD dir_length = GetEnvironmentVariableW(L"E2E_MARKER_DIR", marker, MAX_PATH);
  if (dir_length == 0 || dir_length >= MAX_PATH) {
    lstrcpynW(marker, own_path, static_cast<int>(own_name - own_path) + 1);
  } else {
    lstrcatW(marker, L"\\");
  }
  lstrcatW(marker, own_name);
  lstrcatW(marker, L".marker");

  char line[4096];
  int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, line, sizeof(line) - 2, nullptr, nullptr);
  length = length > 0 ? length - 1 : 0;
  line[length++] = '\n';
  HANDLE file = CreateFileW(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
  CloseHandle(file);
}

}  // namespace planted

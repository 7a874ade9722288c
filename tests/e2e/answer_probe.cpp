// Asks whether a window answers: sends it WM_NULL with SendMessageTimeout
// (2 s, abort if hung) and says how long the answer took.
//   answer_probe.exe TITLE WIDTHxHEIGHT   the visible top-level window of that
//                                         title and size (the wizard and its
//                                         picker share a title)
//   answer_probe.exe 0xHANDLE             a window by its handle
// Prints "answered in N ms" and exits 0, "no answer in N ms" and exits 1;
// exits 2 when there is no such window (or the arguments are wrong).

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr UINT kTimeoutMs = 2000;

struct Wanted {
  std::wstring title;
  int width = 0;
  int height = 0;
  HWND found = nullptr;
};

BOOL CALLBACK Match(HWND window, LPARAM param) {
  auto* wanted = reinterpret_cast<Wanted*>(param);
  if (!IsWindowVisible(window)) return TRUE;
  wchar_t title[256] = {};
  GetWindowTextW(window, title, 256);
  RECT rect = {};
  GetWindowRect(window, &rect);
  if (wanted->title == title && rect.right - rect.left == wanted->width && rect.bottom - rect.top == wanted->height) {
    wanted->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND FindByTitleAndSize(const wchar_t* title, const wchar_t* size) {
  Wanted wanted;
  wanted.title = title;
  if (std::swscanf(size, L"%dx%d", &wanted.width, &wanted.height) != 2) return nullptr;
  EnumWindows(Match, reinterpret_cast<LPARAM>(&wanted));
  return wanted.found;
}

HWND FindByHandle(const wchar_t* text) {
  wchar_t* end = nullptr;
  const unsigned long value = std::wcstoul(text, &end, 16);
  HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(value));
  return end != text && *end == L'\0' && IsWindow(window) ? window : nullptr;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  HWND window = nullptr;
  if (argc == 3) {
    window = FindByTitleAndSize(argv[1], argv[2]);
  } else if (argc == 2) {
    window = FindByHandle(argv[1]);
  } else {
    std::fprintf(stderr, "usage: answer_probe TITLE WIDTHxHEIGHT | answer_probe 0xHANDLE\n");
    return 2;
  }
  if (window == nullptr) {
    std::printf("no such window\n");
    return 2;
  }
  DWORD_PTR result = 0;
  const DWORD start = GetTickCount();
  const LRESULT answered = SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kTimeoutMs, &result);
  const DWORD waited = GetTickCount() - start;
  std::printf(answered != 0 ? "answered in %lu ms\n" : "no answer in %lu ms\n", static_cast<unsigned long>(waited));
  return answered != 0 ? 0 : 1;
}

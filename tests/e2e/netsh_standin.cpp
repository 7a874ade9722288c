// netsh.exe for the wizard's end-to-end runs under Wine, whose own netsh
// changes nothing. It hands its command line to a broker outside Wine and
// answers with the broker's verdict, so a command takes effect (or fails)
// before the caller's wait on this process ends:
//   1. writes the command line, UTF-8, to <spool>\<id>.req (through a
//      temporary name, so the broker never reads half a request);
//   2. waits for <spool>\<id>.done: its first line is the exit code, the
//      rest is what netsh would print;
//   3. prints that text and exits with that code.
// The spool folder is named by the environment variable NETSH_STANDIN_SPOOL.
// Without it, or without an answer in time, it changes nothing and exits 1.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Below the 10 seconds the repair waits for a command.
constexpr DWORD kAnswerTimeoutMs = 8000;
constexpr DWORD kPollMs = 20;

std::string ToUtf8(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return std::string();
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  out.resize(static_cast<size_t>(size - 1));
  return out;
}

bool WriteWhole(const std::wstring& path, const std::string& data) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == data.size();
}

// The whole file, or false while it does not exist.
bool ReadWhole(const std::wstring& path, std::string* data) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  data->clear();
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) data->append(buffer, got);
  CloseHandle(file);
  return true;
}

int Fail(const char* why) {
  std::fprintf(stderr, "netsh stand-in: %s\n", why);
  return 1;
}

}  // namespace

int wmain() {
  wchar_t spool[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(L"NETSH_STANDIN_SPOOL", spool, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return Fail("NETSH_STANDIN_SPOOL is not set; nothing changed");

  wchar_t id[64];
  swprintf(id, 64, L"%08lu-%05lu", GetTickCount(), GetCurrentProcessId());
  const std::wstring base = std::wstring(spool) + L"\\" + id;
  if (!WriteWhole(base + L".tmp", ToUtf8(GetCommandLineW()) + "\n") ||
      !MoveFileW((base + L".tmp").c_str(), (base + L".req").c_str())) {
    return Fail("cannot write the request; nothing changed");
  }

  std::string answer;
  const DWORD start = GetTickCount();
  while (!ReadWhole(base + L".done", &answer)) {
    if (GetTickCount() - start > kAnswerTimeoutMs) return Fail("no answer from the broker");
    Sleep(kPollMs);
  }
  DeleteFileW((base + L".done").c_str());

  const size_t eol = answer.find('\n');
  const int code = std::atoi(answer.substr(0, eol).c_str());
  if (eol != std::string::npos) std::fwrite(answer.data() + eol + 1, 1, answer.size() - eol - 1, stdout);
  return code;
}

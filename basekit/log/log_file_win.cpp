#include <windows.h>

#include <errno.h>
#include <io.h>
#include <string.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "basekit/log/log_file.h"

namespace basekit {

namespace {

LogWriteLimiter g_write_limiter = nullptr;

// How many of `size` bytes the test seam lets one call write; 0 when the
// call must fail as on a full disk.
size_t Allowed(size_t size) {
  if (g_write_limiter == nullptr) return size;
  size_t allowed = g_write_limiter(size);
  return allowed < size ? allowed : size;
}

// Stops at the first call that stores nothing: a full disk does not clear
// by retrying at once.
size_t WriteAllToHandle(HANDLE file, const char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    size_t chunk = Allowed(size - done);
    if (chunk == 0) {
      SetLastError(ERROR_DISK_FULL);
      break;
    }
    DWORD written = 0;
    if (!WriteFile(file, data + done, static_cast<DWORD>(chunk), &written,
                   nullptr) ||
        written == 0)
      break;
    done += written;
  }
  return done;
}

size_t WriteAllToDescriptor(int descriptor, const char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    size_t chunk = Allowed(size - done);
    if (chunk == 0) {
      errno = ENOSPC;
      break;
    }
    int count = _write(descriptor, data + done, static_cast<unsigned>(chunk));
    if (count <= 0) break;
    done += static_cast<size_t>(count);
  }
  return done;
}

// A path that is not UTF-8 gives none: with replacement characters it would
// name another file.
std::wstring WidePath(const char* path) {
  const int needed =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
  if (needed <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(needed), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide.data(),
                      needed);
  wide.resize(static_cast<size_t>(needed - 1));
  return wide;
}

}  // namespace

LogFileOpening OpenLogFile(const char* path, LogFileAccess access) {
  LogFileOpening opening;
  const std::wstring wide = WidePath(path);
  if (wide.empty()) return opening;
  // Append-only access makes the system place every write at the end of
  // the file in one step. The runtime's _O_APPEND seeks and then writes, so
  // two threads could both write at the same old end and one line would be
  // lost. FILE_FLAG_OPEN_REPARSE_POINT opens a link at the name itself
  // instead of what it points to; the handle then tells what was opened.
  const DWORD rights =
      (access == LogFileAccess::kAppend ? FILE_APPEND_DATA
                                        : GENERIC_READ | GENERIC_WRITE) |
      FILE_READ_ATTRIBUTES;
  HANDLE file = CreateFileW(
      wide.c_str(), rights,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
      nullptr);
  if (file == INVALID_HANDLE_VALUE) return opening;
  LogFileFacts facts;
  BY_HANDLE_FILE_INFORMATION info = {};
  if (GetFileType(file) == FILE_TYPE_DISK &&
      GetFileInformationByHandle(file, &info)) {
    facts.link = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    facts.plain = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    facts.names = info.nNumberOfLinks;
  } else {
    facts.plain = false;
  }
  opening.refusal = JudgeLogFile(facts);
  if (opening.refusal != LogFileRefusal::kNone) {
    CloseHandle(file);
    return opening;
  }
  opening.handle = reinterpret_cast<LogFileHandle>(file);
  return opening;
}

int64_t LogFileLength(LogFileHandle file) {
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(reinterpret_cast<HANDLE>(file), &size)) return -1;
  return size.QuadPart;
}

bool EmptyLogFile(LogFileHandle file) {
  HANDLE handle = reinterpret_cast<HANDLE>(file);
  LARGE_INTEGER start = {};
  return SetFilePointerEx(handle, start, nullptr, FILE_BEGIN) &&
         SetEndOfFile(handle);
}

void CloseLogFile(LogFileHandle file) {
  CloseHandle(reinterpret_cast<HANDLE>(file));
}

long long AppendToLogFile(const char* path, const char* data, size_t size) {
  // Not every implementation of the system interface makes append-only
  // writes atomic (Wine computes the end and then writes), so the threads
  // of this process also take turns. Sharing stays deny-none and the bytes
  // go out unchanged (no text mode), so each line ends in exactly one
  // "\r\n".
  static std::mutex append_turn;
  std::lock_guard<std::mutex> turn(append_turn);
  LogFileOpening opening = OpenLogFile(path, LogFileAccess::kAppend);
  if (opening.handle == kNoLogFile) return -1;
  HANDLE file = reinterpret_cast<HANDLE>(opening.handle);
  size_t written = WriteAllToHandle(file, data, size);
  CloseHandle(file);
  return static_cast<long long>(written);
}

size_t WriteToLogDescriptor(int descriptor, const char* data, size_t size) {
  return WriteAllToDescriptor(descriptor, data, size);
}

int CurrentErrorNumber() { return errno; }

void ErrorText(int error_number, char* buffer, size_t size) {
  if (size == 0) return;
  std::snprintf(buffer, size, "%s", strerror(error_number));
}

ErrorStateSaver::ErrorStateSaver()
    : error_number_(errno), system_error_(GetLastError()) {}

ErrorStateSaver::~ErrorStateSaver() {
  errno = error_number_;
  SetLastError(static_cast<DWORD>(system_error_));
}

void SetLogWriteLimiterForTesting(LogWriteLimiter limiter) {
  g_write_limiter = limiter;
}

}  // namespace basekit

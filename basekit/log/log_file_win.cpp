#include <windows.h>

#include <errno.h>
#include <io.h>
#include <string.h>

#include <cstdio>
#include <mutex>

#include "basekit/log/log_file.h"

namespace basekit {

bool AppendToLogFile(const char* path, const char* data, size_t size) {
  // Append-only access makes the system place every write at the end of the
  // file in one step. The runtime's _O_APPEND seeks and then writes, so two
  // threads could both write at the same old end and one line would be lost.
  // Sharing stays deny-none and the bytes go out unchanged (no text mode),
  // so each line ends in exactly one "\r\n". Not every implementation of
  // the system interface makes append-only writes atomic (Wine computes the
  // end and then writes), so the threads of this process also take turns.
  static std::mutex append_turn;
  std::lock_guard<std::mutex> turn(append_turn);
  HANDLE file = CreateFileA(path, FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr);
  CloseHandle(file);
  return ok && written == size;
}

bool WriteToLogDescriptor(int descriptor, const char* data, size_t size) {
  return _write(descriptor, data, static_cast<unsigned>(size)) == static_cast<int>(size);
}

int CurrentErrorNumber() { return errno; }

void ErrorText(int error_number, char* buffer, size_t size) {
  if (size == 0) return;
  std::snprintf(buffer, size, "%s", strerror(error_number));
}

}  // namespace basekit

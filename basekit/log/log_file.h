#pragma once

// The log's two ways out, one implementation per platform.

#include <cstddef>

namespace basekit {

// Opens path for appending (create if missing, shared with every other
// reader and writer), writes the bytes and closes it again. A short write
// is continued while the write calls make progress, so the result is the
// number of bytes stored: `size`, or fewer when the device filled up part
// way. -1 when the file cannot be opened.
long long AppendToLogFile(const char* path, const char* data, size_t size);

// The same for an open runtime descriptor, which stays open.
size_t WriteToLogDescriptor(int descriptor, const char* data, size_t size);

// The runtime's current error number and its text (at most 255 characters).
int CurrentErrorNumber();
void ErrorText(int error_number, char* buffer, size_t size);

// The calling thread's error state: errno, and on Windows the thread's last
// system error too. Restored when the saver goes out of scope, so that
// logging never changes what a caller is about to report.
class ErrorStateSaver {
 public:
  ErrorStateSaver();
  ~ErrorStateSaver();
  ErrorStateSaver(const ErrorStateSaver&) = delete;
  ErrorStateSaver& operator=(const ErrorStateSaver&) = delete;

  int error_number() const { return error_number_; }

 private:
  int error_number_;
  [[maybe_unused]] unsigned long system_error_ = 0;  // Windows only
};

// Test seam for a full device: given the bytes one write call asks for,
// returns how many the device takes now. A call allowed 0 bytes fails as a
// full device does (ENOSPC, ERROR_DISK_FULL). Null, the default, lets every
// call through. Set it only while no other thread logs.
using LogWriteLimiter = size_t (*)(size_t requested);
void SetLogWriteLimiterForTesting(LogWriteLimiter limiter);

}  // namespace basekit

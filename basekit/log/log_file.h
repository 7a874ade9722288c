#pragma once

// The log's two ways out, one implementation per platform.

#include <cstddef>
#include <cstdint>

namespace basekit {

// The log is written by a program with more rights than whoever may write
// to its folder. A name there that leads elsewhere (a symbolic link, another
// reparse point, a second hard link to some other file) would make it append
// to, or at start-up empty, a file of that person's choice. So a log file is
// opened without following a link at its name, and used only when what was
// opened is a plain file with that one name.
enum class LogFileRefusal {
  kNone,
  kLink,        // the name is a symbolic link or another reparse point
  kOtherNames,  // the file has more than one name (hard links)
  kNotAFile,    // a directory, device, pipe or socket
};

// What the opened handle says about the file.
struct LogFileFacts {
  bool link = false;  // the name itself is a link or reparse point
  bool plain = true;  // a regular file
  unsigned long names = 1;
};

LogFileRefusal JudgeLogFile(const LogFileFacts& facts);
// "a symbolic link or reparse point", ... for log lines and tests.
const char* DescribeLogFileRefusal(LogFileRefusal refusal);

// A platform file handle (a descriptor, or a Windows HANDLE) as an integer.
using LogFileHandle = intptr_t;
inline constexpr LogFileHandle kNoLogFile = -1;

enum class LogFileAccess {
  kAppend,     // every write goes to the end, in one step
  kReadWrite,  // for the size limit at start-up
};

struct LogFileOpening {
  LogFileHandle handle = kNoLogFile;  // open and usable, or kNoLogFile
  LogFileRefusal refusal = LogFileRefusal::kNone;
};

// Opens `path` (UTF-8), creating it when missing and sharing it with every
// other reader and writer, without following a link at its name (a
// non-blocking open, so that a pipe cannot hold the caller), and judges
// it. A refused file is closed again at once and left as it was: the
// result then has no handle and says why. No handle and no refusal: the
// file could not be opened.
LogFileOpening OpenLogFile(const char* path, LogFileAccess access);
// The file's length, or -1.
int64_t LogFileLength(LogFileHandle file);
// Cuts the file to 0 bytes through the handle (never by its name again).
bool EmptyLogFile(LogFileHandle file);
void CloseLogFile(LogFileHandle file);

// Opens path for appending as OpenLogFile does (a refused file takes no
// line), writes the bytes and closes it again. A short write is continued
// while the write calls make progress, so the result is the number of
// bytes stored: `size`, or fewer when the device filled up part way. -1
// when the file cannot be opened or is refused.
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

#pragma once

// Keeps the log file from growing without end: at start-up, before
// anything is logged, a log file of kLogSizeLimit bytes or more is emptied.
// A file that cannot be opened for writing is deleted (and created anew)
// when it is larger than the limit. Nothing here ever stops start-up.
//
// Thread affinity: start-up only, before other threads exist.

#include <cstdint>
#include <optional>
#include <string>

namespace app {

inline constexpr int64_t kLogSizeLimit = 1000000;

// The file operations the limit needs (the C runtime's and the platform's
// on Windows; tests give fakes).
class LogFileOps {
 public:
  virtual ~LogFileOps() = default;
  // Opens for reading and writing in append mode, creating the file: a
  // descriptor, or -1.
  virtual int OpenAppend(const std::string& path) = 0;
  // Opens for reading and writing, creating and truncating: a descriptor,
  // or -1.
  virtual int OpenTruncate(const std::string& path) = 0;
  // The file's length, or -1.
  virtual int64_t Length(int descriptor) = 0;
  virtual void Close(int descriptor) = 0;
  // The size of the file as its directory lists it; none when not found.
  virtual std::optional<int64_t> FindSize(const std::string& path) = 0;
  virtual bool Delete(const std::string& path) = 0;
};

// The runtime's and platform's operations.
LogFileOps& SystemLogFileOps();

// Applies the limit to `path`.
void LimitLogFile(const std::string& path, LogFileOps& ops);

}  // namespace app

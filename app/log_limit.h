#pragma once

// Keeps the log file from growing without end: at start-up, before
// anything is logged, a log file of kLogSizeLimit bytes or more is emptied,
// through the handle it was opened and checked with. A file that cannot be
// opened for writing is deleted (and created anew) when it is larger than
// the limit. A name that leads elsewhere (basekit::OpenLogFile) is left as
// it is and reported: the program then writes no log. Nothing here ever
// stops start-up.
//
// Thread affinity: start-up only, before other threads exist.

#include <cstdint>
#include <optional>
#include <string>

#include "basekit/log/log_file.h"

namespace app {

inline constexpr int64_t kLogSizeLimit = 1000000;

// The file operations the limit needs (basekit's and the platform's; tests
// give fakes). Paths are UTF-8.
class LogFileOps {
 public:
  virtual ~LogFileOps() = default;
  // Opens for reading and writing, creating the file, as
  // basekit::OpenLogFile does.
  virtual basekit::LogFileOpening Open(const std::string& path) = 0;
  // The file's length, or -1.
  virtual int64_t Length(basekit::LogFileHandle file) = 0;
  // Cuts the file to 0 bytes.
  virtual bool Empty(basekit::LogFileHandle file) = 0;
  virtual void Close(basekit::LogFileHandle file) = 0;
  // The size of the file as its directory lists it; none when not found.
  virtual std::optional<int64_t> FindSize(const std::string& path) = 0;
  virtual bool Delete(const std::string& path) = 0;
};

// basekit's and the platform's operations.
LogFileOps& SystemLogFileOps();

// Applies the limit to `path`; kNone unless the file was refused (and left
// untouched).
basekit::LogFileRefusal LimitLogFile(const std::string& path, LogFileOps& ops);

}  // namespace app

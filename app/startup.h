#pragma once

// The start-up order. The single-instance check comes first, so that a
// second copy started by mistake leaves the running copy's log alone; then
// the log's size limit, and the log is pointed at REPAIR.log in the
// program's folder unless that name was refused (it then writes nothing).
//
// Thread affinity: start-up only, before other threads exist.

#include <string>
#include <vector>

#include "app/log_limit.h"
#include "app/single_instance.h"
#include "basekit/log/log_file.h"

namespace app {

inline constexpr char kLogFileName[] = "REPAIR.log";

struct StartupResult {
  bool another_copy_runs = false;  // nothing else was done
  // Why the log is not written (the window says so); kNone when it is.
  basekit::LogFileRefusal log_refusal = basekit::LogFileRefusal::kNone;
  // For the log, once "repair start" is in it.
  std::vector<std::string> notes;
};

// `directory`: the program's folder, UTF-8, with its trailing separator;
// empty when unknown (no log then).
StartupResult StartUp(MutexOps& mutexes, LogFileOps& files, const std::string& directory);

// The log part of it: limits REPAIR.log in `directory` and points the
// process's log at it, unless it was refused (returned) or the directory is
// empty.
basekit::LogFileRefusal SetUpLog(LogFileOps& files, const std::string& directory);

}  // namespace app

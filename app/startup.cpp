#include "app/startup.h"

#include "basekit/log/log.h"

namespace app {

namespace {

constexpr char kLogName[] = "REPAIR";

}  // namespace

StartupResult StartUp(MutexOps& mutexes, LogFileOps& files, const std::string& directory) {
  StartupResult result;
  InstanceCheck instance = CheckSingleInstance(mutexes, {kInstanceMutexName, kSessionMutexName});
  if (instance.another_copy_runs) {
    result.another_copy_runs = true;
    return result;
  }
  result.notes = std::move(instance.notes);
  result.log_refusal = SetUpLog(files, directory);
  return result;
}

basekit::LogFileRefusal SetUpLog(LogFileOps& files, const std::string& directory) {
  if (directory.empty()) return basekit::LogFileRefusal::kNone;
  const basekit::LogFileRefusal refusal = LimitLogFile(directory + kLogFileName, files);
  if (refusal != basekit::LogFileRefusal::kNone) return refusal;
  basekit::LogInterface* log = basekit::GetLog();
  log->SetLogPath(directory.c_str());
  log->SetLogName(kLogName);
  log->AddFlags(basekit::kLogNoDatePrefix);
  log->SetLevel(basekit::kLogLevelProgress);
  return refusal;
}

}  // namespace app

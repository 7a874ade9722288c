// Sets up the log as repair.exe does, in the folder it was started from,
// and writes one line there.

#include <windows.h>

#include "app/startup.h"
#include "basekit/log/log.h"
#include "repair/text_encoding.h"

namespace {
constexpr const char* kLogSource = "repair";
}  // namespace

int wmain() {
  if (app::SetUpLog(app::SystemLogFileOps(), repair::GetModuleDirectory()) != basekit::LogFileRefusal::kNone) return 2;
  BASEKIT_LOG(Progress, "written beside the program");
  return 0;
}

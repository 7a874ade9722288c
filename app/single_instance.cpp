#include "app/single_instance.h"

#include "basekit/strings/format.h"

namespace app {

namespace {

const char* Describe(MutexProbe probe) {
  switch (probe) {
    case MutexProbe::kCreated:
    case MutexProbe::kOursExists:
      return "";
    case MutexProbe::kForeignExists:
      return "held by an object with another owner";
    case MutexProbe::kAccessDenied:
      return "held by an object that denies us access";
    case MutexProbe::kFailed:
      return "not available";
  }
  return "";
}

std::string Narrow(const std::wstring& name) {
  std::string narrow;
  for (wchar_t c : name) narrow += c > 0 && c < 0x7F ? static_cast<char>(c) : '?';
  return narrow;
}

}  // namespace

InstanceCheck CheckSingleInstance(MutexOps& ops, const std::vector<std::wstring>& names) {
  InstanceCheck check;
  bool guarded = false;
  for (const std::wstring& name : names) {
    unsigned long error = 0;
    const MutexProbe probe = ops.Create(name, &error);
    if (probe == MutexProbe::kOursExists) {
      check.another_copy_runs = true;
      return check;
    }
    if (probe == MutexProbe::kCreated) {
      guarded = true;
      continue;
    }
    std::string note = basekit::FormatString("single-instance name %s %s", Narrow(name).c_str(), Describe(probe));
    if (error != 0) basekit::AppendFormat(note, " (error %lu)", error);
    check.notes.push_back(note);
  }
  if (!guarded) check.notes.push_back("no single-instance name could be held: going on as the only copy");
  return check;
}

}  // namespace app

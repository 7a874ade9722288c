#include "repair/commands.h"

#include <algorithm>
#include <vector>

#include "basekit/log/log.h"
#include "basekit/strings/format.h"
#include "repair/text_encoding.h"

namespace repair {

namespace {

constexpr const char* kLogSource = "repair_service";

}  // namespace

std::wstring DumpCommand(const std::wstring& backup_path) {
  return basekit::FormatString(L"cmd /c netsh interface ip dump > \"%ls\"", backup_path.c_str());
}

std::wstring SetRecoveryAddressCommand(const std::wstring& connection_name) {
  return basekit::FormatString(L"netsh interface ip set address name=\"%ls\" static 192.168.1.111 255.255.255.0",
                               connection_name.c_str());
}

std::wstring AddFirewallRuleCommand(const std::wstring& program_path) {
  return basekit::FormatString(L"netsh advfirewall firewall add rule name=\"%ls\" dir=in action=allow program=\"%ls\"",
                               kFirewallRuleName, program_path.c_str());
}

std::wstring DeleteFirewallRuleCommand() {
  return basekit::FormatString(L"netsh advfirewall firewall delete rule name=\"%ls\"", kFirewallRuleName);
}

std::wstring RestoreDhcpCommand(const std::wstring& connection_name) {
  return basekit::FormatString(L"netsh interface ip set address name=\"%ls\" dhcp", connection_name.c_str());
}

std::wstring RestoreStaticCommand(const std::wstring& connection_name, const std::wstring& address,
                                  const std::wstring& mask, const std::wstring& gateway) {
  return basekit::FormatString(L"netsh interface ip set address name=\"%ls\" static %ls %ls %ls 0",
                               connection_name.c_str(), address.c_str(), mask.c_str(), gateway.c_str());
}

std::wstring BackupPathForModule(const std::wstring& module_path) {
  size_t separator = module_path.rfind(L'\\');
  std::wstring directory = separator == std::wstring::npos ? std::wstring() : module_path.substr(0, separator + 1);
  return directory + kBackupFileName;
}

std::wstring SystemToolPath(const std::wstring& system_folder, const std::wstring& command) {
  const std::wstring name = command.substr(0, command.find(L' '));
  const bool bare = !name.empty() && std::all_of(name.begin(), name.end(), [](wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'_' || c == L'-';
  });
  return bare ? system_folder + L"\\" + name + L".exe" : std::wstring();
}

bool RunCommand(ProcessRunner& runner, const std::wstring& command, ProcessHandle* process) {
  const std::wstring folder = runner.SystemFolder();
  if (folder.empty()) return false;  // the runner has logged why
  const std::wstring application = SystemToolPath(folder, command);
  if (application.empty()) {
    BASEKIT_LOG(Failure, "no system tool named, not run: %s", WideToGbk(command).c_str());
    return false;
  }
  // The platform may write into the command line it is given.
  std::vector<wchar_t> writable(command.begin(), command.end());
  writable.push_back(L'\0');
  ProcessHandle created = nullptr;
  uint32_t error = 0;
  if (!runner.CreateHiddenProcess(application, writable.data(), folder, &created, &error)) {
    BASEKIT_LOG(Failure, "create process failed %u: %s", static_cast<unsigned>(error), WideToGbk(command).c_str());
    return false;
  }
  if (process) {
    *process = created;
  } else {
    runner.CloseProcess(created);
  }
  return true;
}

bool RunCommandAndWait(ProcessRunner& runner, const std::wstring& command) {
  if (command.empty()) {
    BASEKIT_LOG(Failure, "empty command not run");
    return false;
  }
  ProcessHandle process = nullptr;
  if (!RunCommand(runner, command, &process)) {
    return false;
  }
  runner.WaitForProcess(process, kCommandWaitMs);
  runner.CloseProcess(process);
  return true;
}

}  // namespace repair

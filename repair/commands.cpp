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

std::wstring DumpCommand() { return L"netsh interface ip dump"; }

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

bool RunCommand(ProcessRunner& runner, const std::wstring& command, ProcessHandle* process, FileHandle output) {
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
  if (!runner.CreateHiddenProcess(application, writable.data(), folder, output, &created, &error)) {
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

CommandOutcome RunCommandAndWait(ProcessRunner& runner, const std::wstring& command, FileHandle output) {
  CommandOutcome outcome;
  if (command.empty()) {
    BASEKIT_LOG(Failure, "empty command not run");
    return outcome;
  }
  ProcessHandle process = nullptr;
  if (!RunCommand(runner, command, &process, output)) {
    return outcome;
  }
  outcome.started = true;
  const ProcessExit exit = runner.WaitForProcess(process, kCommandWaitMs);
  outcome.exited = exit.exited;
  outcome.exit_code = exit.exit_code;
  outcome.output = OutputForLog(runner.ReadOutput(process));
  runner.CloseProcess(process);
  if (!outcome.exited) {
    BASEKIT_LOG(Failure, "command still running after %u ms, left running%s%s", static_cast<unsigned>(kCommandWaitMs),
                outcome.output.empty() ? "" : ": ", outcome.output.c_str());
  } else if (outcome.exit_code != 0) {
    BASEKIT_LOG(Failure, "command ended with exit code %u%s%s", static_cast<unsigned>(outcome.exit_code),
                outcome.output.empty() ? "" : ": ", outcome.output.c_str());
  } else {
    BASEKIT_LOG(Progress, "command ended with exit code 0%s%s", outcome.output.empty() ? "" : ": ",
                outcome.output.c_str());
  }
  return outcome;
}

OutputFileResult RunCommandIntoNewFile(ProcessRunner& runner, const std::wstring& command, const std::wstring& path) {
  const std::string name = WideToGbk(path);
  FileHandle file = nullptr;
  uint32_t error = 0;
  if (!runner.CreateOutputFile(path, &file, &error)) {
    if (error == kNameTaken) {
      BASEKIT_LOG(Progress, "%s exists, left as it is: %s not run", name.c_str(), WideToGbk(command).c_str());
      return OutputFileResult::kNameTaken;
    }
    BASEKIT_LOG(Failure, "cannot create %s, error %u: %s not run", name.c_str(), static_cast<unsigned>(error),
                WideToGbk(command).c_str());
    return OutputFileResult::kNotCreated;
  }
  BASEKIT_LOG(Progress, "cmd : %s > \"%s\"", WideToGbk(command).c_str(), name.c_str());
  const bool succeeded = RunCommandAndWait(runner, command, file).succeeded();
  if (!succeeded && runner.DiscardOutputFile(file)) {
    BASEKIT_LOG(Progress, "%s deleted: its command failed", name.c_str());
  }
  runner.CloseFile(file);
  return succeeded ? OutputFileResult::kWritten : OutputFileResult::kCommandFailed;
}

std::string OutputForLog(const std::string& output) {
  std::string line;
  bool pending_break = false;
  bool pending_space = false;
  for (char c : output) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\r' || c == '\n') {
      pending_break = !line.empty();
      continue;
    }
    if (byte < 0x20 || byte == 0x7F) {
      pending_space = !line.empty();
      continue;
    }
    if (pending_break) {
      while (!line.empty() && line.back() == ' ') line.pop_back();
      line += " | ";
    } else if (pending_space && line.back() != ' ') {
      line += ' ';
    }
    pending_break = pending_space = false;
    line += c;
    if (line.size() >= kCommandOutputLimit) {
      line.resize(kCommandOutputLimit);
      break;
    }
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

}  // namespace repair

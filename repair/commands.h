#pragma once

// The command lines the repair runs through the system's own tools, and the
// runner that starts one as a hidden process and waits a bounded time for
// it. Command lines are wide text; the connection name and paths go between
// double quotes unchanged.
//
// Any thread; no state of their own.

#include <cstdint>
#include <string>

#include "repair/system_seams.h"

namespace repair {

// Every command is waited for at most this long; a command still running
// afterwards is left alone.
inline constexpr uint32_t kCommandWaitMs = 10000;

inline constexpr wchar_t kFirewallRuleName[] = L"VA Rovade Varoza";
inline constexpr wchar_t kBackupFileName[] = L"ip.bak";

// netsh's dump of the IP settings, which goes into the backup file
// (RunCommandIntoNewFile: no shell, whose expansion of %NAME% and whose
// "&" a folder's name could steer, is ever started).
std::wstring DumpCommand();
// Puts the connection on the box's recovery subnet, without a gateway.
std::wstring SetRecoveryAddressCommand(const std::wstring& connection_name);
// Inbound allow rule for the program at `program_path`.
std::wstring AddFirewallRuleCommand(const std::wstring& program_path);
// Removes every rule of the tool's name.
std::wstring DeleteFirewallRuleCommand();
std::wstring RestoreDhcpCommand(const std::wstring& connection_name);
// Restores a static address; the gateway always gets the metric 0.
std::wstring RestoreStaticCommand(const std::wstring& connection_name, const std::wstring& address,
                                  const std::wstring& mask, const std::wstring& gateway);

// The backup file beside the program: the directory of the wide module path
// (up to its last backslash; none without one) followed by "ip.bak".
std::wstring BackupPathForModule(const std::wstring& module_path);

// The program file a command line starts: its first word, a bare tool name
// ("netsh"), as <system folder>\<name>.exe. Empty when the first word is not
// a bare name (a path, quotes, an extension).
std::wstring SystemToolPath(const std::wstring& system_folder, const std::wstring& command);

// Starts `command` hidden: the tool it names is taken from the system folder
// by its full path, and the system folder is its current folder, so that
// nothing beside the program or in the caller's current folder is run in
// its place. The command line itself is passed unchanged. Its standard
// output goes to `output` when given (see ProcessRunner). On success the
// process handle goes to *process, whose owner must close it, or is closed
// here when `process` is null. On failure *process is untouched and the
// cause is logged.
bool RunCommand(ProcessRunner& runner, const std::wstring& command, ProcessHandle* process,
                FileHandle output = nullptr);

// How a command run ended.
struct CommandOutcome {
  bool started = false;    // the process could be created
  bool exited = false;     // it ended within the wait
  uint32_t exit_code = 0;  // valid when exited
  std::string output;      // what it printed, cut to kCommandOutputLimit

  // Started, ended, and said it succeeded. Not the truth about the machine
  // either (netsh refuses to set DHCP on an adapter already on DHCP): the
  // callers that can look at the adapter do so.
  bool succeeded() const { return started && exited && exit_code == 0; }
};

// The part of a command's output kept for the log.
inline constexpr size_t kCommandOutputLimit = 512;

// Starts `command`, waits for it at most kCommandWaitMs and closes its
// handle; logs how it ended (exit code and output on one line, or that it
// still ran). Empty text starts nothing.
CommandOutcome RunCommandAndWait(ProcessRunner& runner, const std::wstring& command, FileHandle output = nullptr);

// How writing a command's output into a file of its own ended.
enum class OutputFileResult {
  kWritten,        // the file was created and the command succeeded
  kNameTaken,      // something already had that name: left as it was, nothing run
  kNotCreated,     // the file could not be created: nothing run
  kCommandFailed,  // the command did not start or did not succeed: its file is deleted
};

// Runs `command` as RunCommandAndWait does, its standard output written into
// a file created new at `path` (ProcessRunner::CreateOutputFile): an
// existing file, or a link, at that name is never opened. Logs
// "cmd : COMMAND > "PATH"" before the start, and why when it ends other than
// kWritten. A file the command could not fill is deleted, so that a later
// run may write it.
OutputFileResult RunCommandIntoNewFile(ProcessRunner& runner, const std::wstring& command, const std::wstring& path);

// A command's output as one log-friendly line: line breaks become " | ",
// other control characters spaces, runs of them one, spaces at the ends of
// lines dropped; cut to kCommandOutputLimit bytes.
std::string OutputForLog(const std::string& output);

}  // namespace repair

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

// cmd /c netsh interface ip dump > "<backup path>"
std::wstring DumpCommand(const std::wstring& backup_path);
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
// ("netsh", "cmd"), as <system folder>\<name>.exe. Empty when the first word
// is not a bare name (a path, quotes, an extension).
std::wstring SystemToolPath(const std::wstring& system_folder, const std::wstring& command);

// Starts `command` hidden: the tool it names is taken from the system folder
// by its full path, and the system folder is its current folder, so that
// nothing beside the program or in the caller's current folder is run in
// its place, neither by this program nor by cmd looking up a tool the
// command names. The command line itself is passed unchanged. On success the process handle goes to *process,
// whose owner must close it, or is closed here when `process` is null. On
// failure *process is untouched and the cause is logged.
bool RunCommand(ProcessRunner& runner, const std::wstring& command, ProcessHandle* process);

// Starts `command`, waits for it at most kCommandWaitMs and closes its
// handle. True when the process could be started; the command's own exit
// status is never looked at. Empty text starts nothing and gives false.
bool RunCommandAndWait(ProcessRunner& runner, const std::wstring& command);

}  // namespace repair

#include "repair/win/win_system.h"

#include <winsock2.h>
#include <windows.h>

#include "basekit/log/log.h"
#include "basekit/win/system_library.h"
#include "repair/tftp_upload.h"
#include "repair/win/ip_helper.h"
#include "repair/win/win_adapter_monitor.h"
#include "repair/win/win_journal_store.h"

namespace repair {

namespace {

constexpr const char* kLogSource = "repair_service";

static_assert(kNameTaken == ERROR_FILE_EXISTS);

}  // namespace

uint32_t WinAdapterSource::GetAdaptersInfo(IP_ADAPTER_INFO* buffer, uint32_t* size) {
  const auto get_adapters_info = IpHelper().get_adapters_info;
  if (get_adapters_info == nullptr) return ERROR_PROC_NOT_FOUND;  // logged by the loader
  ULONG length = *size;
  DWORD result = get_adapters_info(buffer, &length);
  *size = length;
  return result;
}

RegistryReadResult WinRegistryReader::ReadString(const char* key_path, const wchar_t* value_name, std::wstring* value) {
  HKEY key = nullptr;
  LONG opened = RegOpenKeyExA(root_, key_path, 0, KEY_QUERY_VALUE, &key);
  if (opened != ERROR_SUCCESS) {
    return RegistryReadResult::kKeyMissing;
  }
  // 256 characters are offered; one more, always zero, keeps the text
  // terminated even when the value fills the offered space without a NUL.
  wchar_t text[257] = {};
  DWORD type = 0;
  DWORD bytes = 256 * sizeof(wchar_t);
  LONG queried = RegQueryValueExW(key, value_name, nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes);
  RegCloseKey(key);
  if (queried != ERROR_SUCCESS || type != REG_SZ) {
    return RegistryReadResult::kValueUnusable;
  }
  *value = text;
  return RegistryReadResult::kOk;
}

namespace {

// A started process and the read end of the pipe its output goes to.
struct WinProcess {
  HANDLE process = nullptr;
  HANDLE output = nullptr;
};

// Room for everything netsh prints: the process never blocks on a full
// pipe before the wait is over.
constexpr DWORD kOutputPipeBytes = 64 * 1024;
constexpr size_t kOutputKept = 4096;

}  // namespace

std::wstring WinProcessRunner::SystemFolder() { return basekit::SystemFolder(); }

bool WinProcessRunner::CreateHiddenProcess(const std::wstring& application, wchar_t* command_line,
                                           const std::wstring& directory, FileHandle output, ProcessHandle* process,
                                           uint32_t* error) {
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  if (!CreatePipe(&read, &write, &inheritable, kOutputPipeBytes)) {
    // Run it all the same; only its words are lost.
    BASEKIT_LOG(Failure, "CreatePipe failed %lu, the command's output is not kept", GetLastError());
    read = write = nullptr;
  } else {
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  }
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  if (write != nullptr || output != nullptr) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output != nullptr ? output : write;
    startup.hStdError = write;
  }
  // Inheritable only while this process is created: no other child gets
  // the file.
  if (output != nullptr) SetHandleInformation(output, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  PROCESS_INFORMATION info = {};
  const BOOL created = CreateProcessW(application.c_str(), command_line, nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                      nullptr, directory.c_str(), &startup, &info);
  const DWORD create_error = GetLastError();
  if (output != nullptr) SetHandleInformation(output, HANDLE_FLAG_INHERIT, 0);
  // The child holds its own copy; with ours closed, the pipe ends with it.
  if (write != nullptr) CloseHandle(write);
  if (!created) {
    if (read != nullptr) CloseHandle(read);
    *error = create_error;
    return false;
  }
  CloseHandle(info.hThread);
  *process = new WinProcess{info.hProcess, read};
  return true;
}

ProcessExit WinProcessRunner::WaitForProcess(ProcessHandle process, uint32_t timeout_ms) {
  auto* started = static_cast<WinProcess*>(process);
  ProcessExit exit;
  DWORD waited = WaitForSingleObject(started->process, timeout_ms);
  if (waited == WAIT_TIMEOUT) {
    return exit;  // the caller logs it
  }
  if (waited != WAIT_OBJECT_0) {
    BASEKIT_LOG(Failure, "WaitForSingleObject failed %lu", GetLastError());
    return exit;
  }
  DWORD code = 0;
  if (!GetExitCodeProcess(started->process, &code)) {
    BASEKIT_LOG(Failure, "GetExitCodeProcess failed %lu", GetLastError());
    return exit;
  }
  exit.exited = true;
  exit.exit_code = code;
  return exit;
}

std::string WinProcessRunner::ReadOutput(ProcessHandle process) {
  auto* started = static_cast<WinProcess*>(process);
  std::string output;
  while (started->output != nullptr && output.size() < kOutputKept) {
    DWORD available = 0;
    if (!PeekNamedPipe(started->output, nullptr, 0, nullptr, &available, nullptr) || available == 0) break;
    char chunk[1024];
    DWORD got = 0;
    const DWORD want = available < sizeof(chunk) ? available : static_cast<DWORD>(sizeof(chunk));
    if (!ReadFile(started->output, chunk, want, &got, nullptr) || got == 0) break;
    output.append(chunk, got);
  }
  return output;
}

void WinProcessRunner::CloseProcess(ProcessHandle process) {
  auto* started = static_cast<WinProcess*>(process);
  CloseHandle(started->process);
  if (started->output != nullptr) CloseHandle(started->output);
  delete started;
}

bool WinProcessRunner::CreateOutputFile(const std::wstring& path, FileHandle* file, uint32_t* error) {
  // CREATE_NEW fails on any name in use, a link (even one to nothing) or a
  // folder included; the name is never followed. DELETE: a file its
  // command could not fill is deleted through this handle, not by name.
  HANDLE created = CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (created == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    *error = code == ERROR_ALREADY_EXISTS ? kNameTaken : code;
    return false;
  }
  *file = created;
  return true;
}

bool WinProcessRunner::DiscardOutputFile(FileHandle file) {
  FILE_DISPOSITION_INFO disposition = {TRUE};
  if (!SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition))) {
    BASEKIT_LOG(Failure, "SetFileInformationByHandle (delete) failed %lu", GetLastError());
    return false;
  }
  return true;
}

void WinProcessRunner::CloseFile(FileHandle file) { CloseHandle(file); }

std::wstring WinModuleInfo::ModuleFileName() {
  wchar_t path[MAX_PATH] = {};
  DWORD length = GetModuleFileNameW(GetModuleHandleW(nullptr), path, MAX_PATH);
  if (length == 0) {
    BASEKIT_LOG(Failure, "GetModuleFileNameW failed %lu", GetLastError());
    return std::wstring();
  }
  if (length >= MAX_PATH) {
    // Cut to fit: the path is unusable, and a wrong path is worse than none.
    BASEKIT_LOG(Failure, "program path longer than %d characters", MAX_PATH - 1);
    return std::wstring();
  }
  return std::wstring(path, length);
}

bool WinResourceFirmware::Load(const uint8_t** data, size_t* size) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id_), type_);
  if (!resource) {
    BASEKIT_LOG(Failure, "firmware resource %d not found %lu", id_, GetLastError());
    return false;
  }
  HGLOBAL loaded = LoadResource(module, resource);
  if (!loaded) {
    BASEKIT_LOG(Failure, "firmware resource %d not loaded %lu", id_, GetLastError());
    return false;
  }
  DWORD length = SizeofResource(module, resource);
  if (length == 0) {
    BASEKIT_LOG(Failure, "firmware resource %d is empty", id_);
    return false;
  }
  const void* bytes = LockResource(loaded);
  if (!bytes) {
    BASEKIT_LOG(Failure, "firmware resource %d not locked %lu", id_, GetLastError());
    return false;
  }
  *data = static_cast<const uint8_t*>(bytes);
  *size = length;
  return true;
}

void WinSleeper::Sleep(uint32_t milliseconds) { ::Sleep(milliseconds); }

const RepairPlatform& DefaultRepairPlatform() {
  static WinAdapterSource adapters;
  static WinRegistryReader registry;
  static WinProcessRunner processes;
  static WinModuleInfo module;
  static WinResourceFirmware firmware;
  static WinSleeper sleeper;
  static TftpClientSessionFactory tftp;
  static WinClock clock;
  static WinAdapterMonitor monitor;
  static WinJournalStore journal;
  static const RepairPlatform platform{&adapters, &registry, &processes, &module,  &firmware,
                                       &sleeper,  &tftp,     &clock,     &monitor, &journal};
  return platform;
}

}  // namespace repair

#include "repair/win/win_system.h"

#include <winsock2.h>
#include <windows.h>

#include "basekit/log/log.h"
#include "basekit/win/system_library.h"
#include "repair/tftp_upload.h"
#include "repair/win/ip_helper.h"

namespace repair {

namespace {

constexpr const char* kLogSource = "repair_service";

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

std::wstring WinProcessRunner::SystemFolder() { return basekit::SystemFolder(); }

bool WinProcessRunner::CreateHiddenProcess(const std::wstring& application, wchar_t* command_line,
                                           const std::wstring& directory, ProcessHandle* process, uint32_t* error) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(application.c_str(), command_line, nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                      directory.c_str(), &startup, &info)) {
    *error = GetLastError();
    return false;
  }
  CloseHandle(info.hThread);
  *process = info.hProcess;
  return true;
}

void WinProcessRunner::WaitForProcess(ProcessHandle process, uint32_t timeout_ms) {
  DWORD waited = WaitForSingleObject(process, timeout_ms);
  if (waited == WAIT_TIMEOUT) {
    BASEKIT_LOG(Lookup, "command still running after %u ms, left running", static_cast<unsigned>(timeout_ms));
  } else if (waited != WAIT_OBJECT_0) {
    BASEKIT_LOG(Failure, "WaitForSingleObject failed %lu", GetLastError());
  }
}

void WinProcessRunner::CloseProcess(ProcessHandle process) { CloseHandle(process); }

bool WinFileProbe::Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

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
  static WinFileProbe files;
  static WinModuleInfo module;
  static WinResourceFirmware firmware;
  static WinSleeper sleeper;
  static TftpClientSessionFactory tftp;
  static const RepairPlatform platform{&adapters, &registry, &processes, &files, &module, &firmware, &sleeper, &tftp};
  return platform;
}

}  // namespace repair

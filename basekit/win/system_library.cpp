#include "basekit/win/system_library.h"

#include <string>

#include "basekit/log/log.h"

namespace basekit {

namespace {

constexpr const char* kLogSource = "system_library";

using SetDefaultDllDirectoriesProc = BOOL(WINAPI*)(DWORD);

// For the log: the names handled here are ASCII.
std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

bool IsBareName(const std::wstring& file_name) {
  return !file_name.empty() &&
         file_name.find_first_of(L"\\/:") == std::wstring::npos;
}

}  // namespace

bool RestrictDllSearchToSystemFolder() {
  // Looked up rather than imported: without the loader update the program
  // must still start. kernel32 is always loaded; nothing is searched for.
  const auto set_default = reinterpret_cast<SetDefaultDllDirectoriesProc>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"),
                                             "SetDefaultDllDirectories")));
  if (set_default != nullptr && set_default(LOAD_LIBRARY_SEARCH_SYSTEM32))
    return true;
  SetDllDirectoryW(L"");
  return false;
}

std::wstring SystemFolder() {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    const DWORD error = GetLastError();
    BASEKIT_LOG(Failure, "GetSystemDirectoryW failed, length %u, error %lu",
                length, error);
    return std::wstring();
  }
  std::wstring path(folder, length);
  if (path.back() == L'\\') path.pop_back();
  return path;
}

HMODULE LoadFromSystemFolder(const wchar_t* file_name) {
  return LoadLibraryExW(file_name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

HMODULE LoadBySystemFolderPath(const wchar_t* file_name) {
  const std::wstring folder = SystemFolder();
  if (folder.empty()) return nullptr;
  return LoadLibraryExW((folder + L"\\" + file_name).c_str(), nullptr,
                        LOAD_WITH_ALTERED_SEARCH_PATH);
}

SystemLibrary::SystemLibrary(const wchar_t* file_name) : file_name_(file_name) {
  if (!IsBareName(file_name_)) {
    BASEKIT_LOG(Failure, "library %s refused: not a bare file name",
                Narrow(file_name_).c_str());
    return;
  }
  module_ = LoadFromSystemFolder(file_name);
  if (module_ == nullptr && GetLastError() == ERROR_INVALID_PARAMETER) {
    module_ = LoadBySystemFolderPath(file_name);
  }
  if (module_ == nullptr) {
    const DWORD error = GetLastError();
    BASEKIT_LOG(Failure,
                "library %s not loaded from the system folder, error %lu",
                Narrow(file_name_).c_str(), error);
  }
}

void* SystemLibrary::Address(const char* name) const {
  if (module_ == nullptr) return nullptr;  // logged when the load failed
  void* address = reinterpret_cast<void*>(GetProcAddress(module_, name));
  if (address == nullptr) {
    const DWORD error = GetLastError();
    BASEKIT_LOG(Failure, "function %s not found in %s, error %lu", name,
                Narrow(file_name_).c_str(), error);
  }
  return address;
}

}  // namespace basekit

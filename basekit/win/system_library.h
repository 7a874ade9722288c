#pragma once

// DLLs taken from the system folder alone. The program runs with
// administrator rights from wherever the user saved it, often a folder that
// others can write to; a DLL found there by name would run with those
// rights. So the program statically imports only DLLs that Windows always
// takes from the system folder (its known DLLs), restricts the search for
// everything else first thing at start-up, and loads the rest at run time
// through SystemLibrary.
//
// Thread affinity: any thread. A SystemLibrary is meant to live in a
// function-local static, so that it is loaded once however many threads
// ask.

#include <windows.h>

#include <string>

namespace basekit {

// Makes every later DLL search of the process, by this program or by the
// system's own DLLs, look in the system folder only. Call it first thing in
// the entry point, before anything can load a library; it logs nothing,
// since the log is not set up yet. False when the system cannot restrict
// the search (Windows 7 without its 2011 loader update): the current folder
// is then taken out of the search, and SystemLibrary still loads by the
// system folder's full path.
bool RestrictDllSearchToSystemFolder();

// The system folder without a trailing backslash ("C:\Windows\system32";
// Windows sends a 32-bit program there to SysWOW64). Empty, and the cause
// logged, when the platform cannot tell.
std::wstring SystemFolder();

class SystemLibrary {
 public:
  // Loads `file_name`, a bare DLL name such as L"iphlpapi.dll", from the
  // system folder; a copy anywhere else is never looked at. A library that
  // cannot be loaded is logged here, once. Never unloaded.
  explicit SystemLibrary(const wchar_t* file_name);
  SystemLibrary(const SystemLibrary&) = delete;
  SystemLibrary& operator=(const SystemLibrary&) = delete;

  bool loaded() const { return module_ != nullptr; }
  HMODULE module() const { return module_; }

  // The exported function `name`, or null when the library is not loaded
  // or lacks it; a missing function is logged on every call, so callers
  // keep what they got (in a static) and ask once.
  template <typename Function>
  Function Get(const char* name) const {
    return reinterpret_cast<Function>(Address(name));
  }

 private:
  void* Address(const char* name) const;

  std::wstring file_name_;
  HMODULE module_ = nullptr;
};

// The loads SystemLibrary makes, open for tests. The first takes the
// system's search flag and fails with ERROR_INVALID_PARAMETER where it does
// not exist; the second is the fallback for those systems: the full path,
// with the DLL's own folder searched first for the DLLs it needs.
HMODULE LoadFromSystemFolder(const wchar_t* file_name);
HMODULE LoadBySystemFolderPath(const wchar_t* file_name);

}  // namespace basekit

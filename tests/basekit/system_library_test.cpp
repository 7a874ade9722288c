// DLLs from the system folder only, against the real loader (under Wine in
// CI). Beside this test program lies planted_library.dll, a DLL that leaves
// a marker if it is ever loaded; no system folder holds a DLL of that name.

#include "basekit/win/system_library.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "basekit/log/log.h"
#include "basekit/loop/monotonic_clock.h"

namespace basekit {
namespace {

namespace fs = std::filesystem;

constexpr wchar_t kPlanted[] = L"planted_library.dll";

// The process-wide log sent to a folder of its own; reads back the
// messages (the text after the header).
class LogCapture {
 public:
  LogCapture()
      : dir_(fs::temp_directory_path() /
             ("system-library-log-" + std::to_string(GetCurrentProcessId()))) {
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    GetLog()->SetLogName("TEST");
    GetLog()->AddFlags(kLogNoDatePrefix);
    GetLog()->SetLevel(kLogLevelProgress);
    GetLog()->SetLogPath((dir_.string() + "\\").c_str());
  }
  ~LogCapture() { fs::remove_all(dir_); }

  std::vector<std::string> Messages() const {
    std::ifstream in(dir_ / "TEST.log", std::ios::binary);
    std::vector<std::string> out;
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const size_t separator = line.find("<<<<");
      out.push_back(
          separator == std::string::npos ? line : line.substr(separator + 4));
    }
    return out;
  }

 private:
  fs::path dir_;
};

std::wstring ModulePath(HMODULE module) {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
  return std::wstring(path, length);
}

std::wstring FolderOf(const std::wstring& path) {
  return path.substr(0, path.rfind(L'\\'));
}

bool SameFolder(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// The plant is there and an ordinary search from this program finds it;
// otherwise the tests below would prove nothing.
void ExpectPlantFoundByAnOrdinarySearch() {
  HMODULE found = LoadLibraryExW(kPlanted, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(found, nullptr)
      << "planted_library.dll beside the test program is not found; error "
      << GetLastError();
  FreeLibrary(found);
}

TEST(SystemLibrary, TakesDllsFromTheSystemFolderOnly) {
  ExpectPlantFoundByAnOrdinarySearch();
  const std::wstring system = SystemFolder();
  ASSERT_FALSE(system.empty());
  ASSERT_NE(system.back(), L'\\');

  // Both ways of loading pass the plant by.
  EXPECT_EQ(LoadFromSystemFolder(kPlanted), nullptr);
  EXPECT_EQ(LoadBySystemFolderPath(kPlanted), nullptr);

  // A system DLL comes from the system folder, both ways.
  for (HMODULE module : {LoadFromSystemFolder(L"winmm.dll"),
                         LoadBySystemFolderPath(L"winmm.dll")}) {
    ASSERT_NE(module, nullptr);
    EXPECT_TRUE(SameFolder(FolderOf(ModulePath(module)), system))
        << ModulePath(module);
  }

  SystemLibrary winmm(L"winmm.dll");
  ASSERT_TRUE(winmm.loaded());
  using TimeGetTime = DWORD(WINAPI*)();
  TimeGetTime time_get_time = winmm.Get<TimeGetTime>("timeGetTime");
  ASSERT_NE(time_get_time, nullptr);
  time_get_time();
}

// A library or function that cannot be had is a null answer and one log
// line, never a crash; a library's failure is not repeated per function.
TEST(SystemLibrary, WhatCannotBeHadIsLoggedAndNull) {
  struct Case {
    const wchar_t* library;
    const char* function;
    std::vector<std::string> log;
  } cases[] = {
      {kPlanted,
       "Anything",
       {"library planted_library.dll not loaded from the system folder, error "
        "126"}},
      {L"kernel32.dll",
       "NoSuchFunction_5ec7",
       {"function NoSuchFunction_5ec7 not found in kernel32.dll, error 127"}},
      // Only bare names: a path, even into the system folder, is refused.
      {L"..\\winmm.dll",
       "timeGetTime",
       {"library ..\\winmm.dll refused: not a bare file name"}},
      {L"C:\\windows\\system32\\winmm.dll",
       "timeGetTime",
       {"library C:\\windows\\system32\\winmm.dll refused: not a bare file "
        "name"}},
      {L"", "timeGetTime", {"library  refused: not a bare file name"}},
  };
  for (const Case& c : cases) {
    LogCapture log;
    SystemLibrary library(c.library);
    EXPECT_EQ(library.Get<FARPROC>(c.function), nullptr) << c.function;
    EXPECT_EQ(log.Messages(), c.log);
  }
}

// The loops' clock counts with timeGetTime from the system folder's
// winmm.dll, which the program no longer imports.
TEST(SystemLibrary, TheClockCountsWithTheSystemMultimediaCounter) {
  LogCapture log;
  const int64_t first = MonotonicNow();
  EXPECT_GE(MonotonicNow(), first);
  HMODULE winmm = GetModuleHandleW(L"winmm.dll");
  ASSERT_NE(winmm, nullptr);
  EXPECT_TRUE(SameFolder(FolderOf(ModulePath(winmm)), SystemFolder()))
      << ModulePath(winmm);
  EXPECT_TRUE(log.Messages().empty()) << "no fallback to GetTickCount";
}

// Last: it changes the search of the whole process. Afterwards a plain
// search, as system DLLs make for what they load, no longer looks beside
// the program, while system DLLs are still found.
TEST(SystemLibrary, RestrictedSearchPassesTheProgramFolderBy) {
  ExpectPlantFoundByAnOrdinarySearch();
  ASSERT_TRUE(RestrictDllSearchToSystemFolder());
  // (Wine still finds it for a data-file load, which runs no code.)
  EXPECT_EQ(LoadLibraryW(kPlanted), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_NE(LoadLibraryW(L"msimg32.dll"), nullptr);
}

}  // namespace
}  // namespace basekit

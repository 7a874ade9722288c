// Start-up against the system: the mutexes, and the log of a program
// started from a folder named in Chinese.

#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>

#include "app/single_instance.h"

namespace app {
namespace {

std::wstring TestName(const wchar_t* scope, int index) {
  return std::wstring(scope) + L"\\app-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(index);
}

// An object under `name` as something else would leave it. Wine runs every
// process as one user, but keeps an object's owner and access list as they
// were given: a planted one can have another owner or keep administrators
// out, as another account's would.
HANDLE Plant(const std::wstring& name, const wchar_t* security, bool event) {
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), nullptr, FALSE};
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(security, SDDL_REVISION_1, &attributes.lpSecurityDescriptor,
                                                            nullptr)) {
    return nullptr;
  }
  HANDLE object =
      event ? CreateEventW(&attributes, TRUE, FALSE, name.c_str()) : CreateMutexW(&attributes, FALSE, name.c_str());
  LocalFree(attributes.lpSecurityDescriptor);
  return object;
}

TEST(WinSingleInstance, WhatIsFoundUnderTheName) {
  struct Case {
    const char* what;
    const wchar_t* planted;  // null: nothing
    bool event;
    MutexProbe probe;
  } cases[] = {
      {"nothing", nullptr, false, MutexProbe::kCreated},
      {"a copy of ours", L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)", false, MutexProbe::kOursExists},
      {"another owner, open to everyone", L"O:S-1-5-21-1-2-3-1001D:(A;;GA;;;WD)", false, MutexProbe::kForeignExists},
      {"administrators kept out", L"D:P(A;;GA;;;SY)", false, MutexProbe::kAccessDenied},
      {"an event", L"D:(A;;GA;;;WD)", true, MutexProbe::kFailed},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::wstring name = TestName(L"Global", index++);
    HANDLE planted = c.planted != nullptr ? Plant(name, c.planted, c.event) : nullptr;
    ASSERT_EQ(planted != nullptr, c.planted != nullptr);
    WinMutexOps ops;
    unsigned long error = 0;
    EXPECT_EQ(ops.Create(name, &error), c.probe);
    EXPECT_EQ(error != 0, c.probe == MutexProbe::kAccessDenied || c.probe == MutexProbe::kFailed);
    if (planted != nullptr) CloseHandle(planted);
  }
}

// A program folder outside the ANSI code page, and longer than 260 bytes in
// it though shorter than 260 characters: the log is written in that very
// folder.
TEST(WinStartUp, LogBesideAProgramInAChineseFolder) {
  wchar_t own[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameW(nullptr, own, MAX_PATH), 0u);
  std::wstring helper(own);
  helper = helper.substr(0, helper.rfind(L'\\') + 1) + L"log_here.exe";

  wchar_t temp[MAX_PATH] = {};
  ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
  const std::wstring outer =
      std::wstring(temp) + L"\u4fee\u590d \u5de5\u5177 " + std::to_wstring(GetCurrentProcessId());
  std::wstring folder = outer + L"\\";
  for (int i = 0; i < 30; ++i) folder += L"\u4fee\u590d\u5de5\u5177";  // 修复工具
  const std::wstring program = folder + L"\\repair.exe";
  const std::wstring log = folder + L"\\REPAIR.log";
  ASSERT_LT(program.size(), static_cast<size_t>(MAX_PATH));
  ASSERT_TRUE(CreateDirectoryW(outer.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  ASSERT_TRUE(CopyFileW(helper.c_str(), program.c_str(), TRUE)) << GetLastError();

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  std::wstring command = L"\"" + program + L"\"";
  ASSERT_TRUE(
      CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, temp, &startup, &process))
      << GetLastError();
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
  DWORD exit_code = 1;
  GetExitCodeProcess(process.hProcess, &exit_code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(exit_code, 0u);

  std::string text;
  HANDLE file = CreateFileW(log.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << "no REPAIR.log beside the program";
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) text.append(buffer, got);
  CloseHandle(file);
  EXPECT_NE(text.find("<<<<written beside the program\r\n"), std::string::npos) << text;

  DeleteFileW(log.c_str());
  DeleteFileW(program.c_str());
  RemoveDirectoryW(folder.c_str());
  RemoveDirectoryW(outer.c_str());
}

}  // namespace
}  // namespace app

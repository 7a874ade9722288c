#include "repair/commands.h"

#include <gtest/gtest.h>

#include <string>

#include "fake_system.h"
#include "repair/text_encoding.h"

namespace repair {
namespace {

using fakes::FakeProcessRunner;
using fakes::LogCapture;

TEST(Commands, CommandTexts) {
  struct Case {
    std::wstring command;
    std::wstring expected;
  } cases[] = {
      {DumpCommand(), L"netsh interface ip dump"},
      {SetRecoveryAddressCommand(L"Ethernet 2"),
       L"netsh interface ip set address name=\"Ethernet 2\" static 192.168.1.111 255.255.255.0"},
      {AddFirewallRuleCommand(L"C:\\Program Files\\Repair\\repair.exe"),
       L"netsh advfirewall firewall add rule name=\"VA Rovade Varoza\" dir=in action=allow "
       L"program=\"C:\\Program Files\\Repair\\repair.exe\""},
      {DeleteFirewallRuleCommand(), L"netsh advfirewall firewall delete rule name=\"VA Rovade Varoza\""},
      {RestoreDhcpCommand(L"本地连接"), L"netsh interface ip set address name=\"本地连接\" dhcp"},
      {RestoreStaticCommand(L"Ethernet", L"192.168.0.10", L"255.255.255.0", L"192.168.0.1"),
       L"netsh interface ip set address name=\"Ethernet\" static 192.168.0.10 255.255.255.0 "
       L"192.168.0.1 0"},
      // No connection found: the command names the empty connection.
      {SetRecoveryAddressCommand(L""), L"netsh interface ip set address name=\"\" static 192.168.1.111 255.255.255.0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.command, c.expected);
  }
  EXPECT_EQ(DeleteFirewallRuleCommand().size(), 62u);
}

TEST(Commands, BackupPathComesFromTheWideModulePath) {
  struct Case {
    std::wstring module;
    std::wstring backup;
  } cases[] = {
      {L"C:\\Tools\\repair.exe", L"C:\\Tools\\ip.bak"},
      {L"D:\\修复\\repair.exe", L"D:\\修复\\ip.bak"},
      // Characters outside code page 936 survive: the path is never narrowed.
      {L"C:\\Δοκιμή\\도구\\repair.exe", L"C:\\Δοκιμή\\도구\\ip.bak"},
      {L"repair.exe", L"ip.bak"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BackupPathForModule(c.module), c.backup);
  }
}

TEST(Commands, RunCommandHandsOverOrClosesTheHandle) {
  FakeProcessRunner runner;
  ProcessHandle handle = nullptr;
  std::wstring command = L"cmd /c exit 3";
  EXPECT_TRUE(RunCommand(runner, command, &handle));
  EXPECT_NE(handle, nullptr);
  EXPECT_EQ(runner.open_handles.size(), 1u) << "the caller owns the handle";
  EXPECT_EQ(command, L"cmd /c exit 3") << "the platform writes into a copy";
  EXPECT_EQ(runner.started.back(), L"cmd /c exit 3");
  runner.CloseProcess(handle);

  EXPECT_TRUE(RunCommand(runner, command, nullptr));
  EXPECT_TRUE(runner.open_handles.empty()) << "closed at once without an out handle";
  EXPECT_EQ(runner.closes_of_unknown_handles, 0);
  EXPECT_TRUE(runner.waits.empty());
}

// Nothing a command names is searched for: the tool is the system folder's
// file, and the system folder is its current folder, where cmd looks first
// for the tool its own command names. The command line is passed unchanged.
TEST(Commands, RunCommandStartsTheSystemToolByItsFullPath) {
  const std::wstring kSystem = L"C:\\Windows\\system32";
  struct Case {
    std::wstring command;
    std::wstring system_folder;
    std::wstring application;  // empty: nothing may start
  } cases[] = {
      {DumpCommand(), kSystem, kSystem + L"\\netsh.exe"},
      {SetRecoveryAddressCommand(L"Ethernet 2"), kSystem, kSystem + L"\\netsh.exe"},
      {AddFirewallRuleCommand(L"C:\\Downloads\\repair.exe"), kSystem, kSystem + L"\\netsh.exe"},
      {DeleteFirewallRuleCommand(), kSystem, kSystem + L"\\netsh.exe"},
      {RestoreDhcpCommand(L"本地连接"), kSystem, kSystem + L"\\netsh.exe"},
      {RestoreStaticCommand(L"Ethernet", L"192.168.0.10", L"255.255.255.0", L"192.168.0.1"), kSystem,
       kSystem + L"\\netsh.exe"},
      {L"netsh x", L"D:\\WINNT\\System32", L"D:\\WINNT\\System32\\netsh.exe"},
      // The first word must be a bare tool name.
      {L"C:\\Downloads\\netsh.exe x", kSystem, L""},
      {L"..\\netsh x", kSystem, L""},
      {L"\"netsh\" x", kSystem, L""},
      {L"netsh.exe x", kSystem, L""},
      {L" netsh x", kSystem, L""},
      // The platform could not name its system folder (and said why).
      {L"netsh x", L"", L""},
  };
  for (const Case& c : cases) {
    const std::string name = WideToGbk(c.command);
    LogCapture log;
    FakeProcessRunner runner;
    runner.system_folder = c.system_folder;
    const bool expected = !c.application.empty();
    EXPECT_EQ(RunCommand(runner, c.command, nullptr), expected) << name;
    if (expected) {
      EXPECT_EQ(runner.applications, std::vector<std::wstring>{c.application}) << name;
      EXPECT_EQ(runner.directories, std::vector<std::wstring>{c.system_folder}) << name;
      EXPECT_EQ(runner.started, std::vector<std::wstring>{c.command}) << name;
      EXPECT_TRUE(log.Messages().empty()) << name;
    } else {
      EXPECT_TRUE(runner.applications.empty()) << name;
      EXPECT_EQ(log.Messages().size(), c.system_folder.empty() ? 0u : 1u) << name;
    }
  }
}

TEST(Commands, RunCommandFailureLeavesTheHandleAndLogs) {
  LogCapture log;
  FakeProcessRunner runner;
  runner.fail = true;
  ProcessHandle handle = reinterpret_cast<ProcessHandle>(0x77);
  EXPECT_FALSE(RunCommand(runner, L"nosuchprogram /x", &handle));
  EXPECT_EQ(handle, reinterpret_cast<ProcessHandle>(0x77));
  EXPECT_EQ(log.Messages(), std::vector<std::string>{"create process failed 2: nosuchprogram /x"});
}

TEST(Commands, RunCommandAndWaitLogsHowEachCommandEnded) {
  struct Case {
    const char* name;
    std::wstring command;
    bool fail;
    ProcessExit exit;
    std::string output;
    bool started;
    bool succeeded;
    std::vector<std::string> lines;
  } cases[] = {
      {"ended well",
       L"netsh advfirewall firewall add rule name=\"x\"",
       false,
       {true, 0},
       "Ok.\r\n\r\n",
       true,
       true,
       {"command ended with exit code 0: Ok."}},
      // netsh's own message is the only hint of what went wrong.
      {"refused",
       L"netsh interface ip set address name=\"x\" dhcp",
       false,
       {true, 1},
       "DHCP is already enabled on this interface.\r\n",
       true,
       false,
       {"command ended with exit code 1: DHCP is already enabled on this interface."}},
      {"still running after the wait",
       L"netsh x",
       false,
       {false, 0},
       "",
       true,
       false,
       {"command still running after 10000 ms, left running"}},
      {"not started", L"netsh x", true, {}, "", false, false, {"create process failed 2: netsh x"}},
      {"empty text starts nothing", L"", false, {}, "", false, false, {"empty command not run"}},
  };
  for (const Case& c : cases) {
    LogCapture log;
    FakeProcessRunner runner;
    runner.fail = c.fail;
    runner.on_command = [&c](const std::wstring&, std::string* output) {
      *output = c.output;
      return c.exit;
    };
    const CommandOutcome outcome = RunCommandAndWait(runner, c.command);
    EXPECT_EQ(outcome.started, c.started) << c.name;
    EXPECT_EQ(outcome.succeeded(), c.succeeded) << c.name;
    EXPECT_EQ(runner.waits.size(), c.started ? 1u : 0u) << c.name;
    for (uint32_t wait : runner.waits) EXPECT_EQ(wait, 10000u) << c.name;
    EXPECT_TRUE(runner.open_handles.empty()) << c.name;
    EXPECT_EQ(runner.closes_of_unknown_handles, 0) << c.name;
    EXPECT_EQ(log.Messages(), c.lines) << c.name;
  }
}

TEST(Commands, OutputForLog) {
  struct Case {
    std::string output;
    std::string line;
  } cases[] = {
      {"", ""},
      {"\r\nDeleted 1 rule(s).\r\nOk.\r\n\r\n", "Deleted 1 rule(s). | Ok."},
      {"said so \r\nand this  \r\n", "said so | and this"},
      {"a\tb\x01\x02"
       "c",
       "a b c"},
      {std::string(2000, 'x'), std::string(512, 'x')},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OutputForLog(c.output), c.line);
  }
}

TEST(TextEncoding, ConvertsWithCodePage936) {
  struct Case {
    std::string gbk;
    std::wstring wide;
  } cases[] = {
      {"", L""},
      {"192.168.0.10", L"192.168.0.10"},
      {"\xC4\xE3\xBA\xC3", L"你好"},
      {"\xB1\xBE\xB5\xD8\xC1\xAC\xBD\xD3 2", L"本地连接 2"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GbkToWide(c.gbk), c.wide);
    EXPECT_EQ(WideToGbk(c.wide), c.gbk);
  }
}

TEST(TextEncoding, EdgeCases) {
  // A character without a code page 936 form becomes '?'.
  EXPECT_EQ(WideToGbk(L"A\u0E01B"), "A?B");
  // The conversion stops at the terminator.
  EXPECT_EQ(WideToGbk(std::wstring(L"ab\0cd", 5)), "ab");
  // Results beyond 255 bytes are converted whole.
  std::wstring long_text(300, L'连');
  std::string long_gbk = WideToGbk(long_text);
  EXPECT_EQ(long_gbk.size(), 600u);
  EXPECT_EQ(GbkToWide(long_gbk), long_text);
  // A lone lead byte is not lost silently: something stands in for it.
  EXPECT_FALSE(GbkToWide("A\xC4").empty());
}

TEST(TextEncoding, Utf8) {
  struct Case {
    std::string utf8;
    std::wstring wide;
  } cases[] = {
      {"", L""},
      {"Ethernet 2", L"Ethernet 2"},
      {"\xE6\x9C\xAC\xE5\x9C\xB0\xE8\xBF\x9E\xE6\x8E\xA5", L"本地连接"},
      {"\xF0\x9F\x98\x80", L"\U0001F600"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8ToWide(c.utf8), c.wide);
    EXPECT_EQ(WideToUtf8(c.wide), c.utf8);
  }
  // Malformed input (a cut sequence, an overlong form, a surrogate) never
  // passes as a character.
  EXPECT_EQ(Utf8ToWide("a\xE6\x9C"), L"a\uFFFD\uFFFD");
  EXPECT_EQ(Utf8ToWide("\xC0\xAF"), L"\uFFFD\uFFFD");
  EXPECT_EQ(Utf8ToWide("\xED\xA0\x80"), L"\uFFFD\uFFFD\uFFFD");
}

TEST(TextEncoding, ModuleDirectoryEndsWithItsSeparator) {
  std::string dir = GetModuleDirectory();
  ASSERT_FALSE(dir.empty());
#if defined(_WIN32)
  EXPECT_EQ(dir.back(), '\\');
#else
  EXPECT_EQ(dir.back(), '/');
#endif
}

}  // namespace
}  // namespace repair

// The Win32 implementations of the platform seams, against the real
// platform (under Wine in CI). Nothing here runs netsh or changes a network
// setting: processes are harmless cmd commands, the registry key is a test
// key of our own in the test prefix.

#include "repair/win/win_system.h"

#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fake_system.h"
#include "repair/adapter_discovery.h"
#include "repair/adapter_watch.h"
#include "repair/commands.h"
#include "repair/repair_journal.h"
#include "repair/win/win_adapter_monitor.h"
#include "repair/win/win_journal_store.h"
#include "repair/text_encoding.h"

namespace repair {
namespace {

using fakes::LogCapture;

TEST(WinSystem, AdapterEnumerationReallyCallsThePlatform) {
  WinAdapterSource source;
  IP_ADAPTER_INFO table[kAdapterTableSize] = {};
  int32_t count = 0;
  LogCapture log;
  bool ok = EnumerateAdapters(source, table, &count);
  ASSERT_GE(count, 0);
  ASSERT_LE(count, kAdapterTableSize);
  if (!ok) {
    // No adapter at all is a failure of the platform call; it is logged.
    ASSERT_EQ(log.Messages().size(), 1u);
    EXPECT_EQ(log.Messages()[0].rfind("Get Default adpter failed ", 0), 0u);
  }
  for (int32_t i = 0; i < count; ++i) {
    EXPECT_TRUE(IsCandidateAdapter(table[i]));
    EXPECT_FALSE(FieldText(table[i].AdapterName).empty());
  }
  // A buffer of one record either fits or asks for the size it needs.
  IP_ADAPTER_INFO one = {};
  uint32_t size = sizeof(one);
  uint32_t result = source.GetAdaptersInfo(&one, &size);
  if (result == kAdapterEnumBufferOverflow) {
    EXPECT_GT(size, sizeof(one));
  }
}

class ConnectionKey : public ::testing::Test {
 protected:
  static constexpr const char* kAdapter = "{5EC7E57A-0000-4000-8000-000000000001}";

  void SetUp() override {
    std::string path = std::string(kNetworkClassKey) + "\\" + kAdapter;
    adapter_key_ = std::wstring(path.begin(), path.end());
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (adapter_key_ + L"\\Connection").c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key_, nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    RegCloseKey(key_);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, (adapter_key_ + L"\\Connection").c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, adapter_key_.c_str());
  }
  void SetName(DWORD type, const void* data, DWORD bytes) {
    ASSERT_EQ(RegSetValueExW(key_, L"Name", 0, type, static_cast<const BYTE*>(data), bytes), ERROR_SUCCESS);
  }

  std::wstring adapter_key_;
  HKEY key_ = nullptr;
};

TEST_F(ConnectionKey, ReadsTheConnectionName) {
  const std::wstring name = L"以太网 2";
  SetName(REG_SZ, name.c_str(), static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t)));
  WinRegistryReader registry;
  IP_ADAPTER_INFO adapter = fakes::MakeAdapter(kAdapter, "Ethernet", fakes::kMac1);
  std::wstring found;
  EXPECT_TRUE(FindConnectionName(registry, adapter, &found));
  EXPECT_EQ(found, name);
}

TEST_F(ConnectionKey, UnusableValuesLeaveTheNameAlone) {
  WinRegistryReader registry;
  IP_ADAPTER_INFO adapter = fakes::MakeAdapter(kAdapter, "Ethernet", fakes::kMac1);
  std::wstring found = L"previous";
  LogCapture log;

  // No Name value yet.
  EXPECT_FALSE(FindConnectionName(registry, adapter, &found));
  DWORD number = 7;
  SetName(REG_DWORD, &number, sizeof(number));
  EXPECT_FALSE(FindConnectionName(registry, adapter, &found));
  std::wstring too_long(300, L'x');
  SetName(REG_SZ, too_long.c_str(), static_cast<DWORD>((too_long.size() + 1) * sizeof(wchar_t)));
  EXPECT_FALSE(FindConnectionName(registry, adapter, &found));
  // A value stored without its terminator still reads as the text alone.
  std::wstring full(255, L'y');
  SetName(REG_SZ, full.c_str(), static_cast<DWORD>(full.size() * sizeof(wchar_t)));
  EXPECT_TRUE(FindConnectionName(registry, adapter, &found));
  EXPECT_EQ(found, full);

  IP_ADAPTER_INFO other = fakes::MakeAdapter("{NO-SUCH-ADAPTER}", "Ethernet", fakes::kMac1);
  found = L"previous";
  EXPECT_FALSE(FindConnectionName(registry, other, &found));
  EXPECT_EQ(found, L"previous");
  EXPECT_EQ(log.Messages(), (std::vector<std::string>{"[AccService::FindIfNameByIntanceId] read Name fail",
                                                      "[AccService::FindIfNameByIntanceId] read Name fail",
                                                      "[AccService::FindIfNameByIntanceId] read Name fail",
                                                      "[AccService::FindIfNameByIntanceId] read registry path fail"}));
}

TEST(WinSystem, ProcessesRunHiddenAndAreAwaited) {
  std::filesystem::path dir = std::filesystem::temp_directory_path() / "repair proc test";
  std::filesystem::create_directories(dir);
  std::filesystem::path out = dir / "out.txt";
  std::filesystem::remove(out);
  WinProcessRunner runner;

  // The wait covers the whole command: its output exists afterwards.
  EXPECT_TRUE(RunCommandAndWait(runner, L"cmd /c echo done> \"" + out.wstring() + L"\"").succeeded());
  std::ifstream in(out);
  std::string text;
  std::getline(in, text);
  EXPECT_EQ(text, "done");
  in.close();

  // Exit code and output (standard output and error) come back.
  LogCapture log;
  CommandOutcome outcome = RunCommandAndWait(runner, L"cmd /c echo said so& echo and this 1>&2& exit 3");
  EXPECT_TRUE(outcome.started);
  EXPECT_TRUE(outcome.exited);
  EXPECT_EQ(outcome.exit_code, 3u);
  EXPECT_EQ(outcome.output, "said so | and this");
  EXPECT_TRUE(log.Contains("command ended with exit code 3: said so | and this"));

  ProcessHandle handle = nullptr;
  ASSERT_TRUE(RunCommand(runner, L"cmd /c exit 0", &handle));
  ASSERT_NE(handle, nullptr);
  ProcessExit exit = runner.WaitForProcess(handle, 10000);
  EXPECT_TRUE(exit.exited);
  EXPECT_EQ(exit.exit_code, 0u);
  EXPECT_EQ(runner.ReadOutput(handle), "");
  runner.CloseProcess(handle);

  EXPECT_FALSE(RunCommandAndWait(runner, L"no_such_program_5ec7 /x").started);
  EXPECT_TRUE(log.Contains("create process failed 2: no_such_program_5ec7 /x"));

  std::filesystem::remove_all(dir);
}

// The user's current folder may be a download folder holding programs
// named like the system's tools: copies of planted_program.exe (beside this
// test program), which leave a marker if they run. cmd itself, and the tool
// its command names, must come from the system folder.
TEST(WinSystem, SystemToolsComeFromTheSystemFolderWhateverTheCurrentFolderHolds) {
  wchar_t own[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, own, MAX_PATH);
  const std::filesystem::path plant = std::filesystem::path(own).parent_path() / "planted_program.exe";
  ASSERT_TRUE(std::filesystem::exists(plant));
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "repair planted tools";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  for (const char* tool : {"cmd.exe", "hostname.exe"}) std::filesystem::copy_file(plant, dir / tool);
  const std::filesystem::path out = dir / "out.txt";

  wchar_t previous[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryW(dir.c_str()));
  WinProcessRunner runner;
  const bool ran = RunCommandAndWait(runner, L"cmd /d /c hostname > \"" + out.wstring() + L"\"").succeeded();
  SetCurrentDirectoryW(previous);

  EXPECT_TRUE(ran);
  std::ifstream in(out);
  std::string name;
  std::getline(in, name);
  in.close();
  EXPECT_FALSE(name.empty()) << "the system's hostname answered";
  EXPECT_FALSE(std::filesystem::exists(dir / "cmd.exe.marker")) << "a planted cmd ran";
  EXPECT_FALSE(std::filesystem::exists(dir / "hostname.exe.marker")) << "cmd ran a planted tool";
  std::filesystem::remove_all(dir);
}

// The journal's key as others may have left it, for WinJournalStore to find.
class JournalKey : public ::testing::Test {
 protected:
  static constexpr const wchar_t* kPath = L"SOFTWARE\\DEzed Repair test";
  static constexpr const wchar_t* kTarget = L"SOFTWARE\\DEzed Repair test target";

  void SetUp() override { TearDown(); }
  void TearDown() override {
    // Made deletable first: a case may leave a list that refuses it.
    SetAccess(kPath, L"O:BAD:P(A;;KA;;;BA)");
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kPath);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kPath);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kTarget);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kTarget);
  }

  // A key made as any administrator's tool makes one: no access list of
  // its own (inherited on Windows, Wine's default under Wine).
  static void Plant(const wchar_t* path, const std::string& journal) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, L"Journal", 0, REG_BINARY, reinterpret_cast<const BYTE*>(journal.data()),
                   static_cast<DWORD>(journal.size()));
    RegCloseKey(key);
  }
  static void SetAccess(const wchar_t* path, const wchar_t* access) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, REG_OPTION_OPEN_LINK, WRITE_DAC | WRITE_OWNER, &key)) return;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorW(access, SDDL_REVISION_1, &descriptor, nullptr);
    EXPECT_EQ(RegSetKeySecurity(
                  key, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                  descriptor),
              ERROR_SUCCESS);
    LocalFree(descriptor);
    RegCloseKey(key);
  }
  // The value as it is in the registry, read around the store; "none".
  static std::string Raw(const wchar_t* path, const wchar_t* name = L"Journal") {
    char data[64] = {};
    DWORD size = sizeof(data);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, path, name, RRF_RT_ANY, nullptr, data, &size)) return "none";
    return std::string(data, size);
  }

  WinJournalStore store{kPath};
  std::string bytes;
};

TEST_F(JournalKey, KeepsTheJournalInAKeyOfItsOwn) {
  EXPECT_EQ(store.Location(), L"HKLM\\SOFTWARE\\DEzed Repair test\\Journal");
  EXPECT_EQ(store.Read(&bytes), JournalRead::kMissing) << "no key yet";
  EXPECT_TRUE(store.Remove()) << "nothing to remove is no failure";
  ASSERT_TRUE(store.Write("first\r\n"));
  ASSERT_TRUE(store.Write("second\r\n"));
  ASSERT_EQ(store.Read(&bytes), JournalRead::kRead) << "the key it made passes its own check";
  EXPECT_EQ(bytes, "second\r\n");
  ASSERT_TRUE(store.SetAside("damaged"));
  EXPECT_EQ(store.Read(&bytes), JournalRead::kMissing);
  EXPECT_EQ(Raw(kPath, L"Journal.damaged"), "second\r\n");
  ASSERT_TRUE(store.Write(std::string(40000, 'x')));
  ASSERT_EQ(store.Read(&bytes), JournalRead::kRead);
  EXPECT_EQ(bytes.size(), RepairJournal::kMaxBytes + 1) << "a value too large to be ours is read no further";
  EXPECT_TRUE(store.Remove());
  EXPECT_EQ(store.Read(&bytes), JournalRead::kMissing);
}

// A key the program did not make, or one that leads elsewhere, is never
// read as a journal: what it held is logged, and a key of the program's
// own takes its place. One that cannot be replaced, or that refuses the
// write, leaves nothing written.
TEST_F(JournalKey, AKeyOfAnotherHandIsNeverTakenForTheJournal) {
  LogCapture log;
  Plant(kPath, "DEzed repair journal\r\nplanted");
  EXPECT_EQ(store.Read(&bytes), JournalRead::kForeign) << "made by another tool";
  EXPECT_EQ(Raw(kPath), "none");
  EXPECT_TRUE(log.Contains(
      "journal key HKLM\\SOFTWARE\\DEzed Repair test held, not acted on: DEzed repair journal\\r\\nplanted"));
  EXPECT_EQ(store.Read(&bytes), JournalRead::kMissing) << "made anew, the program's own";

  ASSERT_TRUE(store.Write("ours\r\n"));
  SetAccess(kPath, L"O:BAD:P(A;;KA;;;SY)(A;;KA;;;BA)(A;;KW;;;BU)");
  EXPECT_EQ(store.Read(&bytes), JournalRead::kForeign) << "users may write to it";
  EXPECT_EQ(store.Read(&bytes), JournalRead::kMissing);

  // A link to another key: that key keeps what it holds.
  ASSERT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, kPath), ERROR_SUCCESS);
  Plant(kTarget, "target's");
  HKEY link = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPath, 0, nullptr, REG_OPTION_CREATE_LINK, KEY_ALL_ACCESS, nullptr,
                            &link, nullptr),
            ERROR_SUCCESS);
  const std::wstring target = L"\\Registry\\Machine\\" + std::wstring(kTarget);
  RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(target.data()),
                 static_cast<DWORD>(target.size() * sizeof(wchar_t)));
  RegCloseKey(link);
  ASSERT_EQ(Raw(kPath), "target's") << "the link leads there";
  EXPECT_EQ(store.Read(&bytes), JournalRead::kMissing) << "a link: what it leads to is never read";
  EXPECT_EQ(Raw(kPath), "none") << "the link is gone, a key of the program's own in its place";
  EXPECT_EQ(Raw(kTarget), "target's");
  EXPECT_TRUE(store.Write("ours\r\n"));
  EXPECT_EQ(Raw(kTarget), "target's");

  // Foreign and not removable (it has a subkey): nothing can be written.
  ASSERT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, kPath), ERROR_SUCCESS);
  Plant(kPath, "planted");
  Plant((std::wstring(kPath) + L"\\held").c_str(), "");
  EXPECT_EQ(store.Read(&bytes), JournalRead::kForeign);
  EXPECT_FALSE(store.Write("ours\r\n"));
  EXPECT_FALSE(store.Remove());

  // The program's own list, but one that lets nobody write.
  TearDown();
  ASSERT_TRUE(store.Write("ours\r\n"));
  SetAccess(kPath, L"O:BAD:P(A;;KR;;;SY)(A;;KR;;;BA)");
  EXPECT_EQ(store.Read(&bytes), JournalRead::kRead);
  EXPECT_FALSE(store.Write("more\r\n"));
  EXPECT_EQ(Raw(kPath), "ours\r\n");
}

// Each adapter the enumeration lists is found again by its GUID, and by its
// hardware address alone.
TEST(WinSystem, AdapterMonitorFindsTheListedAdapters) {
  WinAdapterSource source;
  IP_ADAPTER_INFO table[kAdapterTableSize] = {};
  int32_t count = 0;
  EnumerateAdapters(source, table, &count);
  WinAdapterMonitor monitor;
  for (int32_t i = 0; i < count; ++i) {
    const AdapterIdentity identity{FieldText(table[i].AdapterName), FormatHardwareAddress(table[i])};
    AdapterState state;
    ASSERT_EQ(monitor.Find(identity, &state), AdapterLookup::kFound) << identity.guid;
    EXPECT_EQ(state.identity.guid, identity.guid);
    EXPECT_EQ(state.identity.mac, identity.mac);
    const std::string listed = FieldText(table[i].IpAddressList.IpAddress.String);
    if (listed != "0.0.0.0" && !listed.empty()) {
      EXPECT_TRUE(HoldsAddress(state, listed, MaskPrefixLength(FieldText(table[i].IpAddressList.IpMask.String)), false))
          << identity.guid << " " << listed;
    }
    AdapterState by_mac;
    EXPECT_EQ(monitor.Find({"{00000000-0000-0000-0000-000000000000}", identity.mac}, &by_mac), AdapterLookup::kFound);
    EXPECT_EQ(by_mac.identity.guid, identity.guid);
  }
  AdapterState none;
  EXPECT_EQ(monitor.Find({"{00000000-0000-0000-0000-000000000000}", "00-00-00-00-00-00"}, &none),
            AdapterLookup::kNotFound);
  WinClock clock;
  EXPECT_GT(clock.NowMs(), 0u);
}

// Whether `condition` holds within five seconds.
template <typename Condition>
bool Eventually(Condition condition) {
  for (int i = 0; i < 100; ++i) {
    if (condition()) return true;
    Sleep(50);
  }
  return condition();
}

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A command's output file is made new or not at all: whatever already has
// its name (a file, a hard link to another file, a folder) stays as it was.
// The command's standard output goes into it, its errors to the log; a file
// its failed command leaves is deleted.
TEST(WinSystem, OutputFilesAreMadeNewOrNotAtAll) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "repair output file";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir / "folder.bak");
  std::ofstream(dir / "victim.txt") << "precious";
  std::ofstream(dir / "file.bak") << "earlier";
  ASSERT_TRUE(CreateHardLinkW((dir / "link.bak").c_str(), (dir / "victim.txt").c_str(), nullptr));
  WinProcessRunner runner;
  for (const char* name : {"link.bak", "folder.bak", "file.bak"}) {
    FileHandle file = nullptr;
    uint32_t error = 0;
    EXPECT_FALSE(runner.CreateOutputFile((dir / name).wstring(), &file, &error)) << name;
    EXPECT_EQ(error, kNameTaken) << name;
  }
  EXPECT_EQ(ReadAll(dir / "victim.txt"), "precious");
  EXPECT_EQ(ReadAll(dir / "file.bak"), "earlier");

  LogCapture log;
  EXPECT_EQ(RunCommandIntoNewFile(runner, L"cmd /c echo dumped& echo complaint 1>&2", (dir / "ip.bak").wstring()),
            OutputFileResult::kWritten);
  // Under Wine a finished child's writes and handles may reach the file a
  // moment after its wait has ended.
  EXPECT_TRUE(Eventually([&] { return ReadAll(dir / "ip.bak") == "dumped\r\n"; })) << ReadAll(dir / "ip.bak");
  EXPECT_TRUE(log.Contains("command ended with exit code 0: complaint"));
  EXPECT_EQ(RunCommandIntoNewFile(runner, L"cmd /c echo partial& exit 1", (dir / "failed.bak").wstring()),
            OutputFileResult::kCommandFailed);
  EXPECT_TRUE(Eventually([&] { return !std::filesystem::exists(dir / "failed.bak"); }));
  EXPECT_EQ(RunCommandIntoNewFile(runner, L"cmd /c echo x", (dir / "no such folder" / "ip.bak").wstring()),
            OutputFileResult::kNotCreated);
  std::filesystem::remove_all(dir);
}

TEST(WinSystem, ModulePath) {
  WinModuleInfo module;
  std::wstring path = module.ModuleFileName();
  ASSERT_FALSE(path.empty());
  EXPECT_NE(path.find(L"repair_tests.exe"), std::wstring::npos);

  std::string narrow = GetModuleDirectory();
  EXPECT_EQ(narrow.back(), '\\');
  EXPECT_EQ(Utf8ToWide(narrow), CutAfterLastBackslash(path));
}

TEST(WinSystem, FirmwareResource) {
  WinResourceFirmware firmware;
  const uint8_t* data = nullptr;
  size_t size = 0;
  ASSERT_TRUE(firmware.Load(&data, &size));
  ASSERT_EQ(size, 1300u);
  for (size_t i = 0; i < size; ++i) {
    ASSERT_EQ(data[i], static_cast<uint8_t>(i * 7 + 3)) << i;
  }
  LogCapture log;
  WinResourceFirmware empty(L"FIRMWARE", 134);
  EXPECT_FALSE(empty.Load(&data, &size));
  WinResourceFirmware missing(L"FIRMWARE", 999);
  EXPECT_FALSE(missing.Load(&data, &size));
  EXPECT_EQ(log.Messages().size(), 2u);
}

}  // namespace
}  // namespace repair

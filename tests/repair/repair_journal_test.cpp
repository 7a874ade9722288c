// The journal of changes: its format, and the start-up recovery after a
// repair that died at any point.

#include "repair/repair_journal.h"

#include <gtest/gtest.h>

#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "fake_system.h"
#include "repair/commands.h"
#include "repair/repair_service.h"
#include "repair/repair_step_chain.h"

namespace repair {
namespace {

using fakes::FakeSystem;
using fakes::kMac1;
using fakes::LogCapture;
using fakes::MakeAdapter;

const char kSample[] =
    "DEzed repair journal\r\n"
    "format=1\r\n"
    "firewall-rule=VA Rovade Varoza\r\n"
    "adapter={4D36E972-0001}\r\n"
    "mac=00-1A-2B-3C-4D-5E\r\n"
    "connection=\xE6\x9C\xAC\xE5\x9C\xB0\xE8\xBF\x9E\xE6\x8E\xA5\r\n"
    "before=static 192.168.0.10 255.255.255.0 -\r\n"
    "backup=C:\\Tools\\ip.bak\r\n"
    "end\r\n";

const std::wstring kDeleteRule = L"netsh advfirewall firewall delete rule name=\"VA Rovade Varoza\"";
const std::wstring kDhcp = L"netsh interface ip set address name=\"Ethernet\" dhcp";

TEST(RepairJournal, WritesAndReadsItsFormat) {
  RepairJournal journal;
  journal.firewall_rule = true;
  JournalAdapter adapter;
  adapter.identity = {"{4D36E972-0001}", "00-1A-2B-3C-4D-5E"};
  adapter.connection_name = L"本地连接";
  adapter.before.dhcp = false;
  adapter.before.address = "192.168.0.10";
  adapter.before.mask = "255.255.255.0";
  adapter.backup_path = L"C:\\Tools\\ip.bak";
  journal.adapters.push_back(adapter);
  EXPECT_EQ(journal.Serialize(), kSample);

  RepairJournal read;
  std::string why;
  ASSERT_EQ(RepairJournal::Parse(kSample, &read, &why), RepairJournal::ParseResult::kOk) << why;
  EXPECT_TRUE(read.firewall_rule);
  ASSERT_EQ(read.adapters.size(), 1u);
  EXPECT_EQ(read.adapters[0].identity.guid, "{4D36E972-0001}");
  EXPECT_EQ(read.adapters[0].connection_name, L"本地连接");
  EXPECT_FALSE(read.adapters[0].before.dhcp);
  EXPECT_EQ(read.adapters[0].before.gateway, "");
  EXPECT_EQ(read.Serialize(), kSample);
}

// Anything but a whole journal of ours is refused; values that would reach
// a command line are checked.
TEST(RepairJournal, RefusesWhatIsNotAWholeJournal) {
  auto replace = [](std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
  };
  const std::string sample = kSample;
  std::string adapters;
  for (int i = 0; i < 8; ++i) {  // and the sample's own: one too many
    adapters += "adapter={4D36E972-000" + std::to_string(i) + "}\r\nmac=00-1A-2B-3C-4D-5E\r\nbefore=dhcp\r\n";
  }
  struct Case {
    const char* name;
    std::string text;
    RepairJournal::ParseResult result;
  } cases[] = {
      {"empty", "", RepairJournal::ParseResult::kEmpty},
      {"torn before its end", sample.substr(0, sample.size() - 5), RepairJournal::ParseResult::kDamaged},
      {"torn in the middle", sample.substr(0, 60), RepairJournal::ParseResult::kDamaged},
      {"LF line ends", replace(replace(sample, "\r\nend\r\n", "\nend\n"), "format=1\r\n", "format=1\n"),
       RepairJournal::ParseResult::kOk},
      {"a newer program's", replace(sample, "format=1", "format=2"), RepairJournal::ParseResult::kNewerFormat},
      {"format not a number", replace(sample, "format=1", "format=x"), RepairJournal::ParseResult::kDamaged},
      {"not ours", replace(sample, "DEzed repair journal", "something else"), RepairJournal::ParseResult::kDamaged},
      {"another rule's name", replace(sample, "VA Rovade Varoza", "Allow all"), RepairJournal::ParseResult::kDamaged},
      {"quote in the connection name", replace(sample, "connection=", "connection=x\" static 1.2.3.4"),
       RepairJournal::ParseResult::kDamaged},
      {"adapter not a GUID", replace(sample, "{4D36E972-0001}", "{x\"}"), RepairJournal::ParseResult::kDamaged},
      {"bad hardware address", replace(sample, "00-1A-2B-3C-4D-5E", "00-1A-2B"), RepairJournal::ParseResult::kDamaged},
      {"address out of range", replace(sample, "192.168.0.10", "192.168.0.300"), RepairJournal::ParseResult::kDamaged},
      {"mask with holes", replace(sample, "255.255.255.0", "255.0.255.0"), RepairJournal::ParseResult::kDamaged},
      {"command in the address", replace(sample, "192.168.0.10", "1.2.3.4&calc"), RepairJournal::ParseResult::kDamaged},
      {"unknown key", replace(sample, "backup=", "run="), RepairJournal::ParseResult::kDamaged},
      {"adapter without its settings", replace(sample, "before=static 192.168.0.10 255.255.255.0 -\r\n", ""),
       RepairJournal::ParseResult::kDamaged},
      {"mac outside an adapter", replace(sample, "adapter={4D36E972-0001}\r\n", ""),
       RepairJournal::ParseResult::kDamaged},
      {"too large", sample + std::string(20000, ' '), RepairJournal::ParseResult::kDamaged},
      {"more adapters than the table holds", replace(sample, "adapter=", adapters + "adapter="),
       RepairJournal::ParseResult::kDamaged},
  };
  for (const Case& c : cases) {
    RepairJournal journal;
    std::string why;
    EXPECT_EQ(RepairJournal::Parse(c.text, &journal, &why), c.result) << c.name << ": " << why;
  }
}

struct Crash : std::runtime_error {
  Crash() : std::runtime_error("crash") {}
};

// A service on the fake system whose step reports are kept, oldest first.
struct ReportingService {
  explicit ReportingService(FakeSystem& system) : service(system.platform()) {
    service.RegisterCallback(kRepairCallbackStepFinished, basekit::BindMethod(&ReportingService::On, this));
  }
  void On(ServiceCallbackParam* p) { reports.push_back(*static_cast<RepairServiceCallbackParam*>(p)); }
  // The start-up recovery, and its report.
  RepairServiceCallbackParam Recover() {
    service.RecoverPendingChanges();
    const RepairServiceCallbackParam report = reports.back();
    reports.clear();
    return report;
  }

  RepairService service;
  std::deque<RepairServiceCallbackParam> reports;
};

// Drives a whole repair through the step chain on this thread: each step
// runs when the chain asks for it, and its report goes back to the chain.
RepairStepChain::State RunRepair(ReportingService& run, RepairFailure* failure = nullptr) {
  std::deque<RepairStep> pending;
  RepairStepChain chain(&run.service, nullptr, [&](RepairStep step) { pending.push_back(step); });
  chain.Start();
  while (!pending.empty()) {
    RepairStep step = pending.front();
    pending.pop_front();
    run.service.RunStep(step);
    while (!run.reports.empty()) {
      chain.OnStepReported(run.reports.front());
      run.reports.pop_front();
    }
  }
  if (failure) *failure = chain.failure();
  return chain.state();
}

// Runs a whole repair on one DHCP adapter, connection "Ethernet", and lets
// the process die at command `crash_at` (1: the rule, 2: the recovery
// address, 3: the rule's deletion, 4: the restore), before it runs or
// after it took effect. The fake system keeps what the machine keeps: the
// network and the journal file.
void RepairUntilCrash(FakeSystem& system, int crash_at, bool after) {
  ReportingService service(system);
  int commands = 0;
  system.processes.on_command = [&](const std::wstring& command, std::string* output) {
    if (++commands == crash_at && !after) throw Crash();
    ProcessExit exit = system.network.Apply(command, output);
    if (commands == crash_at) throw Crash();
    return exit;
  };
  try {
    RunRepair(service);
    FAIL() << "no crash at command " << crash_at;
  } catch (const Crash&) {
  }
  system.processes.on_command = [&system](const std::wstring& command, std::string* output) {
    return system.network.Apply(command, output);
  };
}

// A start after a crash at each point undoes exactly what had been changed
// and not yet put back, each once, and leaves the PC as it was.
TEST(RepairJournalRecovery, UndoesWhatACrashLeft) {
  struct Case {
    int crash_at;
    bool after;
    std::vector<std::wstring> undo;
  } cases[] = {
      {1, false, {kDeleteRule}},
      {1, true, {kDeleteRule}},
      {2, false, {kDeleteRule, kDhcp}},
      {2, true, {kDeleteRule, kDhcp}},
      {3, false, {kDeleteRule, kDhcp}},
      {3, true, {kDeleteRule, kDhcp}},
      {4, false, {kDhcp}},
      {4, true, {kDhcp}},
  };
  for (const Case& c : cases) {
    const std::string name = "crash at command " + std::to_string(c.crash_at) + (c.after ? " after" : " before");
    FakeSystem system;
    system.AddAdapter(MakeAdapter("{0A}", "Ethernet", kMac1), L"Ethernet");
    const AdapterState before = system.network.adapters[0].state;
    RepairUntilCrash(system, c.crash_at, c.after);
    ASSERT_TRUE(system.journal.file.has_value()) << name;

    LogCapture log;
    system.processes.started.clear();
    ReportingService next_start(system);
    EXPECT_EQ(next_start.Recover().recovery, RecoveryResult::kRestored) << name;
    EXPECT_EQ(system.processes.started, c.undo) << name;
    EXPECT_FALSE(system.journal.file.has_value()) << name;
    EXPECT_TRUE(system.network.rules.empty()) << name;
    EXPECT_EQ(system.network.adapters[0].state.addresses[0].address, before.addresses[0].address) << name;
    EXPECT_TRUE(system.network.adapters[0].state.dhcp_enabled) << name;
    EXPECT_TRUE(log.Contains("end restore unfinished repair: restored")) << name;

    // And the start after that finds nothing to do.
    system.processes.started.clear();
    ReportingService third_start(system);
    EXPECT_EQ(third_start.Recover().recovery, RecoveryResult::kNothing) << name;
    EXPECT_TRUE(system.processes.started.empty()) << name;
  }
}

// A crash during the recovery itself: the next start finishes it.
TEST(RepairJournalRecovery, ACrashDuringTheRecoveryIsFinishedNextTime) {
  FakeSystem system;
  system.AddAdapter(MakeAdapter("{0A}", "Ethernet", kMac1), L"Ethernet");
  RepairUntilCrash(system, 2, true);
  system.processes.on_command = [&](const std::wstring& command, std::string* output) {
    ProcessExit exit = system.network.Apply(command, output);
    throw Crash();  // right after the rule's deletion took effect
    return exit;
  };
  RepairService interrupted(system.platform());
  EXPECT_THROW(interrupted.RecoverPendingChanges(), Crash);
  system.processes.on_command = [&](const std::wstring& command, std::string* output) {
    return system.network.Apply(command, output);
  };
  system.processes.started.clear();
  ReportingService next_start(system);
  EXPECT_EQ(next_start.Recover().recovery, RecoveryResult::kRestored);
  EXPECT_EQ(system.processes.started, (std::vector<std::wstring>{kDeleteRule, kDhcp}));
  EXPECT_TRUE(system.network.rules.empty());
  EXPECT_EQ(system.network.adapters[0].state.addresses[0].address, "10.20.30.40");
}

// What is found at start, and what happens to it.
TEST(RepairJournalRecovery, FoundAtStart) {
  const std::string whole = std::string(kSample);
  struct Case {
    const char* name;
    std::optional<std::string> file;
    bool read_fails;
    bool foreign;
    bool adapter_present;
    RecoveryResult result;
    std::vector<std::wstring> commands;
    bool kept;
    std::string set_aside;
    std::string line;
  } cases[] = {
      {"none", std::nullopt, false, false, true, RecoveryResult::kNothing, {}, false, "", "no unfinished repair"},
      {"empty", std::string(), false, false, true, RecoveryResult::kNothing, {}, false, "", "records nothing, removed"},
      {"torn",
       whole.substr(0, 80),
       false,
       false,
       true,
       RecoveryResult::kNothing,
       {},
       false,
       "damaged",
       "is damaged (no end line (torn)), set aside unread"},
      {"newer format",
       std::string(kSample).replace(whole.find("format=1"), 8, "format=7"),
       false,
       false,
       true,
       RecoveryResult::kNothing,
       {},
       false,
       "newer",
       "of a newer program (format 7), set aside unread"},
      {"unreadable", whole, true, false, true, RecoveryResult::kNothing, {}, true, "", ""},
      {"whole",
       whole,
       false,
       false,
       true,
       RecoveryResult::kRestored,
       {kDeleteRule, L"netsh interface ip set address name=\"LAN\" static 192.168.0.10 255.255.255.0  0"},
       false,
       "",
       "end restore unfinished repair: restored"},
      // The adapter may come back (a USB adapter plugged in again): its
      // entry is kept; the rule is gone.
      {"its adapter is gone",
       whole,
       false,
       false,
       false,
       RecoveryResult::kFailed,
       {kDeleteRule},
       true,
       "",
       "adapter {4D36E972-0001} (\xB1\xBE\xB5\xD8\xC1\xAC\xBD\xD3) not found, its settings stay recorded"},
      // Whoever wrote it, nothing it says is put on the PC.
      {"written by someone else",
       whole,
       false,
       true,
       true,
       RecoveryResult::kIgnored,
       {},
       false,
       "",
       "not written by this program, not acted on"},
  };
  for (const Case& c : cases) {
    FakeSystem system;
    // The adapter of the sample, now named "LAN" by the user, still on the
    // recovery address.
    if (c.adapter_present) {
      system.AddAdapter(MakeAdapter("{4D36E972-0001}", "Ethernet", kMac1, 0, "192.168.1.111", "255.255.255.0"), L"LAN");
    }
    system.network.rules = {L"VA Rovade Varoza"};
    system.journal.file = c.file;
    system.journal.fail_reads = c.read_fails;
    system.journal.foreign = c.foreign;
    LogCapture log;
    ReportingService service(system);
    const RepairServiceCallbackParam outcome = service.Recover();
    EXPECT_EQ(outcome.recovery, c.result) << c.name;
    EXPECT_EQ(outcome.result, c.result == RecoveryResult::kFailed ? 0 : 1) << c.name;
    EXPECT_EQ(system.processes.started, c.commands) << c.name;
    EXPECT_EQ(system.journal.file.has_value(), c.kept) << c.name;
    if (!c.set_aside.empty()) {
      EXPECT_EQ(system.journal.set_aside.count(c.set_aside), 1u) << c.name;
    }
    if (!c.line.empty()) {
      bool found = false;
      for (const std::string& line : log.Messages()) found |= line.find(c.line) != std::string::npos;
      EXPECT_TRUE(found) << c.name << ": " << c.line;
    }
    if (c.result == RecoveryResult::kFailed) {
      EXPECT_EQ(outcome.failure.cause, RepairCause::kRestoreFailed) << c.name;
      EXPECT_EQ(outcome.failure.connection_name, L"本地连接") << c.name;
      EXPECT_EQ(outcome.failure.settings.address, "192.168.0.10") << c.name;
      EXPECT_EQ(system.journal.file->find("firewall-rule"), std::string::npos) << c.name;
      EXPECT_NE(system.journal.file->find("adapter={4D36E972-0001}"), std::string::npos) << c.name;
    }
  }
}

// An undo that failed at start, then a new repair on the same adapter: the
// settings from before the first repair are what it restores, not the
// recovery address the adapter still holds.
TEST(RepairJournalRecovery, ANewRepairKeepsTheSettingsFromBeforeTheFirst) {
  FakeSystem system;
  system.AddAdapter(MakeAdapter("{4D36E972-0001}", "Ethernet", kMac1, 0, "192.168.1.111", "255.255.255.0"), L"LAN");
  system.journal.file = kSample;
  system.network.refused = {L"192.168.0.10"};
  ReportingService service(system);
  ASSERT_EQ(service.Recover().recovery, RecoveryResult::kFailed);
  system.network.refused.clear();

  EXPECT_EQ(RunRepair(service), RepairStepChain::State::kComplete);
  EXPECT_EQ(system.processes.started.back(),
            L"netsh interface ip set address name=\"LAN\" static 192.168.0.10 255.255.255.0  0");
  EXPECT_EQ(system.network.adapters[0].state.addresses[0].address, "192.168.0.10");
  EXPECT_FALSE(system.journal.file.has_value());
}

// A journal write that fails stops the repair before the change it was to
// record: nothing further changes, and what was changed before is undone
// from the journal in memory. A write after an undo step that fails does
// not stop the undo; the record then lists what is already put back, which
// a later start undoes again, harmlessly.
TEST(RepairJournalWrites, AFailedWriteStopsTheChangeItWasToRecord) {
  const std::wstring add_rule = AddFirewallRuleCommand(L"C:\\Tools\\repair.exe");
  const std::wstring recovery = SetRecoveryAddressCommand(L"Ethernet");
  struct Case {
    const char* name;
    std::wstring fails_after;  // the store fails once this command has run (empty: from the start)
    RepairStepChain::State end;
    RepairCause cause;
    int32_t failed_step;
    std::vector<std::wstring> commands;
  } cases[] = {
      {"before the firewall rule",
       L"",
       RepairStepChain::State::kFailed,
       RepairCause::kJournalNotWritten,
       kStepFirewall,
       {}},
      {"before the recovery address",
       add_rule,
       RepairStepChain::State::kFailed,
       RepairCause::kJournalNotWritten,
       kStepModify,
       {add_rule, kDeleteRule}},
      {"during the undo",
       kDeleteRule,
       RepairStepChain::State::kComplete,
       RepairCause::kNone,
       -1,
       {add_rule, recovery, kDeleteRule, kDhcp}},
  };
  for (const Case& c : cases) {
    FakeSystem system;
    system.AddAdapter(MakeAdapter("{0A}", "Ethernet", kMac1), L"Ethernet");
    system.journal.fail_writes = c.fails_after.empty();
    system.processes.on_command = [&](const std::wstring& command, std::string* output) {
      const ProcessExit exit = system.network.Apply(command, output);
      if (command == c.fails_after) system.journal.fail_writes = true;
      return exit;
    };
    LogCapture log;
    ReportingService run(system);
    RepairFailure failure;
    EXPECT_EQ(RunRepair(run, &failure), c.end) << c.name;
    EXPECT_EQ(failure.cause, c.cause) << c.name;
    EXPECT_EQ(failure.step, c.failed_step) << c.name;
    EXPECT_EQ(system.processes.started, c.commands) << c.name;
    EXPECT_TRUE(system.network.rules.empty()) << c.name;
    EXPECT_TRUE(system.network.adapters[0].state.dhcp_enabled) << c.name;
    EXPECT_EQ(system.network.adapters[0].state.addresses[0].address, "10.20.30.40") << c.name;
    EXPECT_FALSE(run.service.has_pending_changes()) << c.name;

    // The next start finds the PC as it was, whatever the store still holds.
    system.journal.fail_writes = false;
    system.HealCommands();
    ReportingService next_start(system);
    EXPECT_NE(next_start.Recover().recovery, RecoveryResult::kFailed) << c.name;
    EXPECT_TRUE(system.network.adapters[0].state.dhcp_enabled) << c.name;
    EXPECT_FALSE(system.journal.file.has_value()) << c.name;
  }
}

}  // namespace
}  // namespace repair

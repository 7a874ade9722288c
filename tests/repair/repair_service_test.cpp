#include "repair/repair_service.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fake_system.h"
#include "repair/commands.h"
#include "repair/text_encoding.h"

namespace repair {
namespace {

using fakes::FakeSystem;
using fakes::kMac1;
using fakes::LogCapture;
using fakes::MakeAdapter;

using Report = std::pair<int32_t, int32_t>;  // (result, step)

const std::string kJournalWritten = "journal HKLM\\SOFTWARE\\DEzed Repair\\Journal written: ";
const std::string kJournalRemoved = "journal HKLM\\SOFTWARE\\DEzed Repair\\Journal removed: nothing left changed";
const std::wstring kDeleteRule = L"netsh advfirewall firewall delete rule name=\"VA Rovade Varoza\"";
const std::wstring kAddRule =
    L"netsh advfirewall firewall add rule name=\"VA Rovade Varoza\" dir=in action=allow "
    L"program=\"C:\\Tools\\repair.exe\"";

std::wstring SetRecovery(const std::wstring& name) {
  return L"netsh interface ip set address name=\"" + name + L"\" static 192.168.1.111 255.255.255.0";
}

// Receives the reports like the wizard window's callbacks would. Every
// failed report must say why.
class ReportRecorder {
 public:
  void OnReport(ServiceCallbackParam* param) {
    auto* report = dynamic_cast<RepairServiceCallbackParam*>(param);
    ASSERT_NE(report, nullptr);
    reports.emplace_back(report->result, report->step);
    EXPECT_EQ(report->failure.failed(), report->result == 0) << "step " << report->step;
    if (report->result == 0) {
      EXPECT_EQ(report->failure.step, report->step);
    }
    last = *report;
    if (on_report) on_report();
  }
  // The cause the last report carries.
  const RepairFailure& failure() const { return last.failure; }
  void OnStatus(ServiceCallbackParam* param) {
    auto* status = dynamic_cast<RepairStatusParam*>(param);
    ASSERT_NE(status, nullptr);
    statuses.push_back(*status);
  }
  std::vector<Report> reports;
  RepairServiceCallbackParam last{1, kStepNone};
  std::vector<RepairStatusParam> statuses;
  std::function<void()> on_report;
};

// A service on fakes of its own with one adapter ("{G}", connection
// "Ethernet"), queried and selected, and a recorder of its reports.
struct PreparedService {
  PreparedService() : service(system.platform()) {
    service.RegisterCallback(1, basekit::BindMethod(&ReportRecorder::OnReport, &recorder));
    system.AddAdapter(MakeAdapter("{G}", "Ethernet", kMac1), L"Ethernet");
    service.QueryNetworkSettings();
    service.SelectAdapter(0);
    recorder.reports.clear();
  }
  FakeSystem system;
  RepairService service;
  ReportRecorder recorder;
};

class RepairServiceSteps : public ::testing::Test {
 protected:
  RepairServiceSteps() : service_(system_.platform()) {
    service_.RegisterCallback(kRepairCallbackStepFinished, basekit::BindMethod(&ReportRecorder::OnReport, &recorder_));
    service_.RegisterCallback(kRepairCallbackStatus, basekit::BindMethod(&ReportRecorder::OnStatus, &recorder_));
  }

  // One adapter, queried and selected; the record is what the enumeration
  // returns.
  void Prepare(const IP_ADAPTER_INFO& adapter, const std::wstring& connection = L"Ethernet") {
    system_.AddAdapter(adapter, connection);
    service_.QueryNetworkSettings();
    ASSERT_TRUE(service_.SelectAdapter(0));
    recorder_.reports.clear();
    recorder_.statuses.clear();
    system_.processes.started.clear();
  }

  LogCapture log_;
  FakeSystem system_;
  RepairService service_;
  ReportRecorder recorder_;
};

TEST(RepairServiceFirewall, AddFirewallRule) {
  struct Case {
    const char* name;
    std::wstring module_path;
    bool start_fails;
    std::vector<std::wstring> started;
    Report report;
    bool journal_left;
    std::vector<std::string> lines;
  } cases[] = {
      {"rule for the program",
       L"C:\\Tools\\repair.exe",
       false,
       {kAddRule},
       {1, kStepFirewall},
       true,
       {"start mofify firewall settings", kJournalWritten + "firewall rule 1, adapters 0",
        "cmd : " + WideToGbk(kAddRule), "command ended with exit code 0: Ok.", "end mofify firewall settings"}},
      // The log line carries the command in code page 936.
      {"path outside ASCII",
       L"C:\\修复\\repair.exe",
       false,
       {L"netsh advfirewall firewall add rule name=\"VA Rovade Varoza\" dir=in action=allow "
        L"program=\"C:\\修复\\repair.exe\""},
       {1, kStepFirewall},
       true,
       {"start mofify firewall settings", kJournalWritten + "firewall rule 1, adapters 0",
        "cmd : netsh advfirewall firewall add rule name=\"VA Rovade Varoza\" dir=in "
        "action=allow program=\"C:\\\xD0\xDE\xB8\xB4\\repair.exe\"",
        "command ended with exit code 0: Ok.", "end mofify firewall settings"}},
      // Nothing was added, so nothing stays recorded.
      {"netsh cannot start",
       L"C:\\Tools\\repair.exe",
       true,
       {},
       {0, kStepFirewall},
       false,
       {"start mofify firewall settings", kJournalWritten + "firewall rule 1, adapters 0",
        "cmd : " + WideToGbk(kAddRule), "create process failed 2: " + WideToGbk(kAddRule), kJournalRemoved,
        "step 0 failed: firewall rule not added", "end mofify firewall settings"}},
      // Without its own path the program would add a rule naming no program.
      {"program path unknown",
       L"",
       false,
       {},
       {0, kStepFirewall},
       false,
       {"start mofify firewall settings", "program path unknown, no firewall rule added",
        "step 0 failed: firewall rule not added", "end mofify firewall settings"}},
  };
  for (const Case& c : cases) {
    FakeSystem system;
    system.module.path = c.module_path;
    system.processes.fail = c.start_fails;
    RepairService service(system.platform());
    ReportRecorder recorder;
    service.RegisterCallback(1, basekit::BindMethod(&ReportRecorder::OnReport, &recorder));
    // The journal must name the rule before the command that adds it runs.
    bool journal_before_command = false;
    system.processes.on_command = [&](const std::wstring& command, std::string* output) {
      journal_before_command = system.journal.file.has_value() &&
                               system.journal.file->find("firewall-rule=VA Rovade Varoza") != std::string::npos;
      return system.network.Apply(command, output);
    };
    LogCapture log;
    service.AddFirewallRule();
    EXPECT_EQ(system.processes.started, c.started) << c.name;
    EXPECT_EQ(journal_before_command, !c.started.empty()) << c.name;
    EXPECT_TRUE(system.processes.open_handles.empty()) << c.name;
    EXPECT_EQ(recorder.reports, std::vector<Report>{c.report}) << c.name;
    EXPECT_EQ(system.journal.file.has_value(), c.journal_left) << c.name;
    EXPECT_EQ(service.has_pending_changes(), c.journal_left) << c.name;
    EXPECT_EQ(recorder.failure().cause, c.report.first ? RepairCause::kNone : RepairCause::kFirewallRuleNotAdded)
        << c.name;
    EXPECT_EQ(log.Messages(), c.lines) << c.name;
  }
}

TEST_F(RepairServiceSteps, QueryStartsFromAnEmptyTableEachTime) {
  system_.AddAdapter(MakeAdapter("{A}", "Ethernet", kMac1), L"Ethernet");
  service_.QueryNetworkSettings();
  EXPECT_EQ(service_.adapter_count(), 1);
  // A repair started again looks at the adapters anew: the same adapter is
  // not listed twice, and a failed enumeration leaves none.
  service_.QueryNetworkSettings();
  EXPECT_EQ(service_.adapter_count(), 1);
  system_.adapters.error = 1168;
  service_.QueryNetworkSettings();
  EXPECT_EQ(service_.adapter_count(), 0);
  EXPECT_EQ(recorder_.reports, (std::vector<Report>{{1, kStepQuery}, {1, kStepQuery}, {1, kStepQuery}}));
  EXPECT_TRUE(log_.Contains("Get Default adpter failed 1168"));
  EXPECT_EQ(FieldText(service_.selected_adapter().AdapterName), "");
  EXPECT_FALSE(service_.SelectAdapter(0));
  ASSERT_FALSE(recorder_.statuses.empty());
  EXPECT_EQ(recorder_.statuses[0].stage, RepairStage::kPreparing);
}

// For a static adapter netsh's dump goes into ip.bak beside the program,
// through a file the program creates itself, and never over anything that
// already has that name. No shell is started. Whatever the dump does, the
// step succeeds; the journal names the backup only when one is there.
TEST(RepairServiceBackup, Backup) {
  const std::wstring kBackup = L"C:\\Tools\\ip.bak";
  const std::string kDumpLine = "cmd : netsh interface ip dump > \"C:\\Tools\\ip.bak\"";
  const std::string kDump = fakes::FakeNetwork::kDump;
  enum Dump { kRuns, kNameTaken, kCannotCreate, kCannotStart, kFails, kNoProgramPath };
  struct Case {
    const char* name;
    uint32_t dhcp;
    Dump dump;
    std::vector<std::wstring> started;
    std::optional<std::string> file;  // ip.bak's bytes afterwards, if the program has one
    bool recorded;                    // the journal names the backup
    std::vector<std::string> lines;
  } cases[] = {
      {"DHCP adapter: no backup", 1, kRuns, {}, std::nullopt, false, {}},
      {"static adapter: the dump into a new ip.bak",
       0,
       kRuns,
       {DumpCommand()},
       kDump,
       true,
       {kDumpLine, "command ended with exit code 0"}},
      // A file, a folder or a link of that name, made earlier or by anyone.
      {"ip.bak there: left alone, nothing run",
       0,
       kNameTaken,
       {},
       std::nullopt,
       true,
       {"C:\\Tools\\ip.bak exists, left as it is: netsh interface ip dump not run"}},
      {"ip.bak cannot be created: nothing run",
       0,
       kCannotCreate,
       {},
       std::nullopt,
       false,
       {"cannot create C:\\Tools\\ip.bak, error 5: netsh interface ip dump not run"}},
      {"dump cannot start: its empty file goes",
       0,
       kCannotStart,
       {},
       std::nullopt,
       false,
       {kDumpLine, "create process failed 2: netsh interface ip dump",
        "C:\\Tools\\ip.bak deleted: its command failed"}},
      {"dump fails: its file goes",
       0,
       kFails,
       {DumpCommand()},
       std::nullopt,
       false,
       {kDumpLine, "command ended with exit code 1", "C:\\Tools\\ip.bak deleted: its command failed"}},
      // No directory to put it in: nothing is written into the current one.
      {"program path unknown: no dump",
       0,
       kNoProgramPath,
       {},
       std::nullopt,
       false,
       {"program directory unknown, no backup written"}},
  };
  for (const Case& c : cases) {
    FakeSystem system;
    RepairService service(system.platform());
    ReportRecorder recorder;
    service.RegisterCallback(1, basekit::BindMethod(&ReportRecorder::OnReport, &recorder));
    system.AddAdapter(MakeAdapter("{A}", "Ethernet", kMac1, c.dhcp, "192.168.0.10", "255.255.255.0"), L"Ethernet");
    service.QueryNetworkSettings();
    service.SelectAdapter(0);
    if (c.dump == kNameTaken) system.processes.taken.insert(kBackup);
    if (c.dump == kCannotCreate) system.processes.create_error = 5;
    system.processes.fail = c.dump == kCannotStart;
    if (c.dump == kFails) {
      system.processes.on_command = [](const std::wstring&, std::string* output) {
        *output = "The system cannot find the file specified.\r\n";
        return ProcessExit{true, 1};
      };
    }
    if (c.dump == kNoProgramPath) system.module.path.clear();
    LogCapture log;
    service.BackupNetworkSettings();
    EXPECT_EQ(system.processes.started, c.started) << c.name;
    EXPECT_EQ(recorder.reports.back(), Report(1, kStepBackup)) << c.name;
    std::vector<std::string> lines = {"start backup network settings"};
    lines.insert(lines.end(), c.lines.begin(), c.lines.end());
    lines.push_back("end backup network settings");
    EXPECT_EQ(log.Messages(), lines) << c.name;
    const auto file = system.processes.files.find(kBackup);
    EXPECT_EQ(file == system.processes.files.end() ? std::nullopt : std::optional<std::string>(file->second), c.file)
        << c.name;
    if (!c.started.empty()) {
      EXPECT_EQ(system.processes.output_files, std::vector<std::wstring>{kBackup}) << c.name;
      EXPECT_EQ(system.processes.applications, std::vector<std::wstring>{L"C:\\Windows\\system32\\netsh.exe"})
          << c.name;
    }
    EXPECT_TRUE(system.processes.open_files.empty()) << c.name;
    EXPECT_EQ(system.processes.closes_of_unknown_handles, 0) << c.name;

    service.ModifyNetworkSettings();
    ASSERT_TRUE(system.journal.file.has_value()) << c.name;
    EXPECT_EQ(system.journal.file->find("backup=C:\\Tools\\ip.bak") != std::string::npos, c.recorded) << c.name;
  }
}

// Step 3 waits until the adapter really holds the recovery address and it
// is usable, then settles a second; it gives up after 15 seconds.
TEST(RepairServiceModify, WaitsForTheRecoveryAddress) {
  struct Case {
    const char* name;
    bool registry_key;     // the connection name is in the registry
    bool refuse;           // netsh refuses the address
    int show_after;        // looks at the adapter list until it shows
    bool tentative_first;  // the address shows first as tentative
    bool unavailable;      // the adapter list cannot be read
    Report report;
    RepairCause cause;
    std::vector<std::wstring> started;
    uint64_t elapsed_ms;
    std::string line;
  } cases[] = {
      {"at once",
       true,
       false,
       0,
       false,
       false,
       {1, 3},
       RepairCause::kNone,
       {SetRecovery(L"Ethernet 2")},
       1000,
       "recovery address 192.168.1.111 ready after 0 ms, settled 1000 ms"},
      {"after 1.2 s",
       true,
       false,
       13,
       false,
       false,
       {1, 3},
       RepairCause::kNone,
       {SetRecovery(L"Ethernet 2")},
       2200,
       "recovery address 192.168.1.111 ready after 1200 ms, settled 1000 ms"},
      {"tentative, then usable",
       true,
       false,
       0,
       true,
       false,
       {1, 3},
       RepairCause::kNone,
       {SetRecovery(L"Ethernet 2")},
       1500,
       "recovery address 192.168.1.111 ready after 500 ms, settled 1000 ms"},
      {"never: given up at 15 s",
       true,
       true,
       0,
       false,
       false,
       {0, 3},
       RepairCause::kRecoveryAddressNotSet,
       {SetRecovery(L"Ethernet 2")},
       15000,
       "recovery address 192.168.1.111/24 not in place after 15000 ms"},
      // Without a way to look, the old fixed pause.
      {"adapter list unavailable",
       true,
       false,
       0,
       false,
       true,
       {1, 3},
       RepairCause::kNone,
       {SetRecovery(L"Ethernet 2")},
       5000,
       "adapter state unavailable, waited 5000 ms for the recovery address"},
      // The system's adapter list knows the name too.
      {"name from the adapter list",
       false,
       false,
       0,
       false,
       false,
       {1, 3},
       RepairCause::kNone,
       {SetRecovery(L"Ethernet 2")},
       1000,
       "connection name from the adapter list: Ethernet 2"},
      // No name anywhere: netsh is not asked to change a nameless connection.
      {"no name anywhere",
       false,
       false,
       0,
       false,
       true,
       {0, 3},
       RepairCause::kRecoveryAddressNotSet,
       {},
       0,
       "no connection name for adapter {G}, its address is not changed"},
  };
  for (const Case& c : cases) {
    FakeSystem system;
    RepairService service(system.platform());
    ReportRecorder recorder;
    service.RegisterCallback(1, basekit::BindMethod(&ReportRecorder::OnReport, &recorder));
    system.AddAdapter(MakeAdapter("{G}", "Ethernet", kMac1), L"Ethernet 2");
    if (!c.registry_key) system.registry.keys.clear();
    service.QueryNetworkSettings();
    service.SelectAdapter(0);
    recorder.reports.clear();
    system.network.show_after = c.show_after;
    system.network.unavailable = c.unavailable;
    if (c.refuse) system.network.refused = {L"192.168.1.111"};
    if (c.tentative_first) {
      // Duplicate-address detection for half a second.
      system.processes.on_command = [&](const std::wstring& command, std::string* output) {
        ProcessExit exit = system.network.Apply(command, output);
        system.network.adapters[0].state.addresses[0].usable = false;
        system.sleeper.on_sleep = [&] {
          if (system.sleeper.sleeps.size() == 5) system.network.adapters[0].state.addresses[0].usable = true;
        };
        return exit;
      };
    }
    LogCapture log;
    const uint64_t start = system.clock.now_ms;
    service.ModifyNetworkSettings();
    EXPECT_EQ(recorder.reports, std::vector<Report>{c.report}) << c.name;
    EXPECT_EQ(recorder.failure().cause, c.cause) << c.name;
    EXPECT_EQ(system.processes.started, c.started) << c.name;
    EXPECT_EQ(system.clock.now_ms - start, c.elapsed_ms) << c.name;
    EXPECT_TRUE(log.Contains(c.line)) << c.name;
    EXPECT_FALSE(log.Contains("wait 5 seconds")) << c.name;
    // The adapter is on record before netsh is asked to change it.
    if (!c.started.empty()) {
      ASSERT_TRUE(system.journal.file.has_value()) << c.name;
      EXPECT_NE(system.journal.file->find("adapter={G}\r\nmac=00-1A-2B-3C-4D-5E\r\nconnection=Ethernet 2\r\n"
                                          "before=dhcp\r\n"),
                std::string::npos)
          << c.name;
    }
  }
}

TEST_F(RepairServiceSteps, UploadSendsTheImageUnchangedAndInPlace) {
  int sessions_alive_at_report = -1;
  recorder_.on_report = [&] { sessions_alive_at_report = system_.tftp.sessions_alive; };
  service_.UploadFirmware();
  EXPECT_EQ(recorder_.reports, (std::vector<Report>{{1, kStepUpload}}));
  ASSERT_EQ(system_.tftp.sent.size(), 1u);
  EXPECT_EQ(system_.tftp.sent[0], system_.firmware.image);
  EXPECT_EQ(system_.tftp.sent_addresses[0], system_.firmware.image.data());
  EXPECT_EQ(sessions_alive_at_report, 0) << "the client is gone before the report";
  EXPECT_TRUE(system_.sleeper.sleeps.empty());
  EXPECT_EQ(log_.Messages(),
            (std::vector<std::string>{
                "start upload firmware", "uploading firmware to 192.168.1.6, name rorod_oze_firmware_v1.5.2.bin",
                "try connect 1 time", "upload progress: 0 updates to the window in 0 ms", "end upload firmware"}));
}

// The box may hold the whole image: the step still fails (the network is
// put back as after any failed upload), but the log does not call it a
// plain failure.
TEST_F(RepairServiceSteps, UploadWhoseLastBlockWasNeverConfirmed) {
  system_.tftp.send_result = false;
  system_.tftp.failed_outcome = TftpOutcome::kLastBlockUnconfirmed;
  service_.UploadFirmware();
  EXPECT_EQ(recorder_.reports, (std::vector<Report>{{0, kStepUpload}}));
  EXPECT_EQ(recorder_.failure().cause, RepairCause::kLastBlockUnconfirmed);
  EXPECT_EQ(log_.Messages(),
            (std::vector<std::string>{"start upload firmware",
                                      "uploading firmware to 192.168.1.6, name rorod_oze_firmware_v1.5.2.bin",
                                      "try connect 1 time", "upload progress: 0 updates to the window in 0 ms",
                                      "uploading firmware unconfirmed: last block sent, its acknowledgement never came",
                                      "step 4 failed: last block unconfirmed", "end upload firmware"}));
}

// Every way an upload can end without delivering, and the cause the
// window is told.
TEST(RepairServiceUpload, EachFailureCarriesItsCause) {
  struct Case {
    const char* name;
    std::deque<bool> connects;
    std::optional<TftpOutcome> outcome;
    size_t acknowledged;
    bool cable_pulled;
    bool firmware;
    bool throws;
    RepairCause cause;
    int percent;
    std::vector<uint32_t> sleeps;
  } cases[] = {
      {"three failed connection attempts",
       {false, false, false},
       std::nullopt,
       0,
       false,
       true,
       false,
       RepairCause::kBoxNotAnswering,
       0,
       {5000, 5000, 5000}},
      {"write request unanswered",
       {},
       TftpOutcome::kRequestUnanswered,
       0,
       false,
       true,
       false,
       RepairCause::kBoxNotAnswering,
       0,
       {}},
      {"silent box at 40 %", {}, TftpOutcome::kNoReply, 520, false, true, false, RepairCause::kConnectionLost, 40, {}},
      {"cable pulled at 40 %", {}, TftpOutcome::kNoReply, 520, true, true, false, RepairCause::kCableUnplugged, 40, {}},
      {"failed wait", {}, TftpOutcome::kWaitFailed, 0, false, true, false, RepairCause::kConnectionLost, 0, {}},
      {"refused by the box", {}, TftpOutcome::kServerError, 1024, false, true, false, RepairCause::kBoxRefused, 78, {}},
      {"last block unconfirmed",
       {},
       TftpOutcome::kLastBlockUnconfirmed,
       1024,
       false,
       true,
       false,
       RepairCause::kLastBlockUnconfirmed,
       78,
       {}},
      {"no firmware resource", {}, std::nullopt, 0, false, false, false, RepairCause::kFirmwareMissing, 0, {}},
      {"socket library missing", {}, std::nullopt, 0, false, true, true, RepairCause::kNetworkUnavailable, 0, {}},
  };
  for (const Case& c : cases) {
    PreparedService prepared;
    FakeSystem& system = prepared.system;
    RepairService& service = prepared.service;
    ReportRecorder& recorder = prepared.recorder;
    system.tftp.connect_results = c.connects;
    system.tftp.outcome = c.outcome;
    system.tftp.acknowledged = c.acknowledged;
    system.tftp.error_code = 2;
    system.tftp.error_text = "Access violation";
    system.tftp.throw_on_create = c.throws;
    system.firmware.available = c.firmware;
    if (c.cable_pulled) system.tftp.during_send = [&] { system.network.adapters[0].state.link_up = false; };
    LogCapture log;
    service.UploadFirmware();
    EXPECT_EQ(recorder.reports, (std::vector<Report>{{0, kStepUpload}})) << c.name;
    const RepairFailure failure = recorder.failure();
    EXPECT_EQ(failure.cause, c.cause) << c.name;
    EXPECT_EQ(failure.step, kStepUpload) << c.name;
    EXPECT_EQ(failure.percent(), c.percent) << c.name;
    if (c.cause == RepairCause::kBoxRefused) {
      EXPECT_EQ(failure.server_text, "Access violation");
      EXPECT_EQ(failure.server_code, 2);
    }
    EXPECT_EQ(system.sleeper.sleeps, c.sleeps) << c.name;
    EXPECT_EQ(system.tftp.sessions_alive, 0) << c.name;
    EXPECT_EQ(log.Contains("uploading firmware failed"), c.firmware && c.cause != RepairCause::kLastBlockUnconfirmed)
        << c.name;
    EXPECT_EQ(log.Messages().back(), "end upload firmware") << c.name;
  }
}

TEST_F(RepairServiceSteps, UploadAfterTwoFailedAttempts) {
  system_.tftp.connect_results = {false, false};
  service_.UploadFirmware();
  EXPECT_EQ(system_.tftp.connects, 3);
  EXPECT_EQ(system_.tftp.sent.size(), 1u);
  EXPECT_EQ(system_.sleeper.sleeps, (std::vector<uint32_t>{5000, 5000}));
  EXPECT_EQ(recorder_.reports, (std::vector<Report>{{1, kStepUpload}}));
  std::vector<int32_t> attempts;
  for (const RepairStatusParam& s : recorder_.statuses) {
    if (s.stage == RepairStage::kConnecting) attempts.push_back(s.attempt);
  }
  EXPECT_EQ(attempts, (std::vector<int32_t>{1, 2, 3}));
}

TEST_F(RepairServiceSteps, ImageBeyondTheClientsLengthIsRefused) {
  // The client takes a signed 32-bit length; a larger image must not wrap.
  system_.firmware.reported_size = size_t{0x80000000u};
  service_.UploadFirmware();
  EXPECT_EQ(recorder_.reports, (std::vector<Report>{{0, kStepUpload}}));
  EXPECT_EQ(system_.tftp.connects, 0);
  EXPECT_TRUE(system_.tftp.sent.empty());
  EXPECT_TRUE(log_.Contains("uploading firmware failed"));
}

// The window hears of the upload at most every 50 ms, never backwards, and
// always of its end; unanswered write requests show as attempts.
TEST_F(RepairServiceSteps, UploadProgressIsThrottled) {
  system_.firmware.image.assign(100000, 1);
  for (size_t acknowledged = 512; acknowledged < 100000; acknowledged += 512) {
    system_.tftp.progress_steps.push_back(acknowledged);
  }
  system_.tftp.progress_steps.push_back(4096);  // a stale value
  system_.tftp.progress_steps.push_back(100000);
  system_.tftp.progress_step_ms = 7;
  system_.tftp.request_retries = 2;
  service_.UploadFirmware();
  std::vector<uint32_t> transferred;
  std::vector<int32_t> attempts;
  for (const RepairStatusParam& s : recorder_.statuses) {
    if (s.stage == RepairStage::kTransferring) {
      EXPECT_EQ(s.total, 100000u);
      transferred.push_back(s.acknowledged);
    }
    if (s.stage == RepairStage::kConnecting) attempts.push_back(s.attempt);
  }
  EXPECT_EQ(attempts, (std::vector<int32_t>{1, 2, 3}));
  // 197 acknowledgements 7 ms apart: about 1.4 s, so about 28 updates.
  ASSERT_GE(transferred.size(), 25u);
  EXPECT_LE(transferred.size(), 30u);
  EXPECT_EQ(transferred.front(), 512u);
  EXPECT_EQ(transferred.back(), 100000u);
  for (size_t i = 1; i < transferred.size(); ++i) EXPECT_GT(transferred[i], transferred[i - 1]);
  EXPECT_TRUE(
      log_.Contains("upload progress: " + std::to_string(transferred.size()) + " updates to the window in 1379 ms"));
}

// Step 5 checks the adapter after netsh: the truth is the adapter's state,
// not netsh's exit code.
TEST(RepairServiceRestore, RestoreIsVerified) {
  struct Case {
    const char* name;
    IP_ADAPTER_INFO adapter;
    std::wstring refuse;
    bool adapter_gone;
    Report report;
    std::wstring restore;
    bool journal_left;
  } cases[] = {
      {"DHCP",
       MakeAdapter("{G}", "Ethernet", kMac1, 1),
       L"",
       false,
       {1, 5},
       L"netsh interface ip set address name=\"Ethernet\" dhcp",
       false},
      {"static",
       MakeAdapter("{G}", "Ethernet", kMac1, 0, "192.168.0.10", "255.255.255.0", "192.168.0.1"),
       L"",
       false,
       {1, 5},
       L"netsh interface ip set address name=\"Ethernet\" static 192.168.0.10 255.255.255.0 192.168.0.1 0",
       false},
      {"netsh refuses DHCP",
       MakeAdapter("{G}", "Ethernet", kMac1, 1),
       L" dhcp",
       false,
       {0, 5},
       L"netsh interface ip set address name=\"Ethernet\" dhcp",
       true},
      {"netsh refuses the static address",
       MakeAdapter("{G}", "Ethernet", kMac1, 0, "192.168.0.10", "255.255.255.0", "192.168.0.1"),
       L"192.168.0.10",
       false,
       {0, 5},
       L"netsh interface ip set address name=\"Ethernet\" static 192.168.0.10 255.255.255.0 192.168.0.1 0",
       true},
      {"the adapter has gone", MakeAdapter("{G}", "Ethernet", kMac1, 1), L"", true, {0, 5}, L"", true},
  };
  for (const Case& c : cases) {
    FakeSystem system;
    RepairService service(system.platform());
    ReportRecorder recorder;
    service.RegisterCallback(1, basekit::BindMethod(&ReportRecorder::OnReport, &recorder));
    system.AddAdapter(c.adapter, L"Ethernet");
    service.QueryNetworkSettings();
    service.SelectAdapter(0);
    service.AddFirewallRule();
    service.ModifyNetworkSettings();
    ASSERT_EQ(recorder.reports.back(), Report(1, kStepModify)) << c.name;
    system.processes.started.clear();
    recorder.reports.clear();
    if (!c.refuse.empty()) system.network.refused = {c.refuse};
    if (c.adapter_gone) system.network.adapters.clear();

    LogCapture log;
    service.RestoreNetworkSettings();
    std::vector<std::wstring> expected = {kDeleteRule};
    if (!c.restore.empty()) expected.push_back(c.restore);
    EXPECT_EQ(system.processes.started, expected) << c.name;
    EXPECT_EQ(recorder.reports, (std::vector<Report>{c.report})) << c.name;
    EXPECT_TRUE(system.network.rules.empty()) << c.name;
    EXPECT_EQ(system.journal.file.has_value(), c.journal_left) << c.name;
    if (c.journal_left) {
      const RepairFailure failure = recorder.failure();
      EXPECT_EQ(failure.cause, RepairCause::kRestoreFailed) << c.name;
      EXPECT_EQ(failure.connection_name, L"Ethernet") << c.name;
      EXPECT_EQ(failure.settings.dhcp, c.adapter.DhcpEnabled != 0) << c.name;
      // Only the adapter is left on record; the rule is gone.
      EXPECT_EQ(system.journal.file->find("firewall-rule"), std::string::npos) << c.name;
    } else {
      EXPECT_TRUE(log.Contains("network settings of Ethernet restored, checked after 0 ms")) << c.name;
    }
    EXPECT_EQ(log.Messages().front(), "start restore network settings") << c.name;
    EXPECT_EQ(log.Messages().back(), "end restore network settings") << c.name;
  }
}

// netsh fails when asked for DHCP on an adapter that already has it; the
// adapter's state says the restore is done.
TEST_F(RepairServiceSteps, RestoreTrustsTheAdapterNotTheExitCode) {
  Prepare(MakeAdapter("{G}", "Ethernet", kMac1, 1));
  service_.AddFirewallRule();
  service_.ModifyNetworkSettings();
  system_.network.adapters[0].state.dhcp_enabled = true;
  system_.network.adapters[0].state.addresses = {{"10.20.30.40", 24, true}};
  recorder_.reports.clear();
  service_.RestoreNetworkSettings();
  EXPECT_TRUE(log_.Contains("command ended with exit code 1: DHCP is already enabled on this interface."));
  EXPECT_EQ(recorder_.reports, (std::vector<Report>{{1, kStepRestore}}));
  EXPECT_FALSE(system_.journal.file.has_value());
}

TEST_F(RepairServiceSteps, CleanUpUndoesOnlyWhatIsRecorded) {
  Prepare(MakeAdapter("{G}", "Ethernet", kMac1, 1));
  // After the rule alone: the rule goes, the adapter is not touched.
  service_.AddFirewallRule();
  system_.processes.started.clear();
  service_.CleanUp();
  EXPECT_EQ(system_.processes.started, std::vector<std::wstring>{kDeleteRule});
  EXPECT_FALSE(log_.Contains("start restore network settings 2"));
  EXPECT_EQ(recorder_.reports.back(), Report(1, kStepCleanUp));
  EXPECT_FALSE(service_.has_pending_changes());
  // After the address: both, between the clean-up's own lines.
  service_.AddFirewallRule();
  service_.ModifyNetworkSettings();
  system_.processes.started.clear();
  service_.CleanUp();
  EXPECT_EQ(system_.processes.started,
            (std::vector<std::wstring>{kDeleteRule, L"netsh interface ip set address name=\"Ethernet\" dhcp"}));
  EXPECT_TRUE(log_.Contains("start restore network settings 2"));
  EXPECT_TRUE(log_.Contains("end restore network settings 2"));
  EXPECT_FALSE(system_.journal.file.has_value());
  // Nothing recorded: nothing run.
  system_.processes.started.clear();
  service_.CleanUp();
  EXPECT_TRUE(system_.processes.started.empty());
}

// The ways to fail the tests above do not reach, each with its cause: the
// closes, and a rule that cannot be deleted (the adapter left changed
// weighs more). The recorder checks every failed report says why.
TEST(RepairServiceFailures, EveryFailedStepSaysWhy) {
  struct Case {
    const char* name;
    std::function<void(FakeSystem&, RepairService&)> arrange;
    RepairStep step;
    RepairCause cause;
  } cases[] = {
      {"closed before the address", [](FakeSystem&, RepairService& s) { s.Shutdown(); }, kStepModify,
       RepairCause::kCancelled},
      {"closed before the upload", [](FakeSystem&, RepairService& s) { s.Shutdown(); }, kStepUpload,
       RepairCause::kCancelled},
      {"closed while the address comes",
       [](FakeSystem& system, RepairService& s) {
         system.network.show_after = 1000;
         system.sleeper.on_sleep = [&s] { s.Shutdown(); };
       },
       kStepModify, RepairCause::kCancelled},
      {"rule not deleted by the restore", [](FakeSystem& system, RepairService&) { system.HangRuleDeletion(); },
       kStepRestore, RepairCause::kFirewallRuleNotDeleted},
      {"rule not deleted by the clean-up", [](FakeSystem& system, RepairService&) { system.HangRuleDeletion(); },
       kStepCleanUp, RepairCause::kFirewallRuleNotDeleted},
      {"rule not deleted at start", [](FakeSystem& system, RepairService&) { system.HangRuleDeletion(); }, kStepRecover,
       RepairCause::kFirewallRuleNotDeleted},
      {"rule and adapter left",
       [](FakeSystem& system, RepairService& s) {
         s.ModifyNetworkSettings();
         system.HangRuleDeletion();
         system.network.refused = {L" dhcp"};
       },
       kStepRestore, RepairCause::kRestoreFailed},
  };
  for (const Case& c : cases) {
    PreparedService p;
    p.service.AddFirewallRule();
    c.arrange(p.system, p.service);
    LogCapture log;
    p.service.RunStep(c.step);
    EXPECT_EQ(p.recorder.reports.back(), Report(0, c.step)) << c.name;
    EXPECT_EQ(p.recorder.failure().cause, c.cause) << c.name;
    EXPECT_EQ(p.recorder.last.recovery, c.step == kStepRecover ? RecoveryResult::kFailed : RecoveryResult::kNothing)
        << c.name;
    EXPECT_FALSE(log.Contains("without a cause")) << c.name;
  }
}

TEST(RepairServiceCallbacks, SecondRegistrationKeepsTheFirst) {
  FakeSystem system;
  RepairService service(system.platform());
  ReportRecorder first, second;
  EXPECT_TRUE(service.RegisterCallback(1, basekit::BindMethod(&ReportRecorder::OnReport, &first)));
  basekit::Callback<void(ServiceCallbackParam*)> dropped = basekit::BindMethod(&ReportRecorder::OnReport, &second);
  EXPECT_FALSE(service.RegisterCallback(1, dropped));
  EXPECT_EQ(dropped.storage_for_testing()->ref_count_for_testing(), 1)
      << "the table holds no reference to the rejected callback";
  service.QueryNetworkSettings();
  EXPECT_EQ(first.reports.size(), 1u);
  EXPECT_TRUE(second.reports.empty());
}

TEST(RepairServiceCallbacks, ReportsWithoutCallbackAreDropped) {
  LogCapture log;
  FakeSystem system;
  RepairService service(system.platform());
  ReportRecorder other_kind;
  service.RegisterCallback(3, basekit::BindMethod(&ReportRecorder::OnReport, &other_kind));
  service.QueryNetworkSettings();
  service.BackupNetworkSettings();
  EXPECT_TRUE(other_kind.reports.empty());
  EXPECT_TRUE(log.Contains("no callback for kind 1, report dropped"));
  EXPECT_FALSE(log.Contains("no callback for kind 2, report dropped")) << "nobody listening to the status is normal";
}

}  // namespace
}  // namespace repair

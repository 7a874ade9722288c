#include "repair/repair_service.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "fake_system.h"

namespace repair {
namespace {

using fakes::FakeSystem;
using fakes::kMac1;
using fakes::LogCapture;
using fakes::MakeAdapter;

using Report = std::pair<int32_t, int32_t>;  // (result, step)

// Receives the reports like the wizard window's callback would.
class ReportRecorder {
 public:
  void OnReport(ServiceCallbackParam* param) {
    auto* report = dynamic_cast<RepairServiceCallbackParam*>(param);
    ASSERT_NE(report, nullptr);
    reports.emplace_back(report->result, report->step);
    if (on_report) on_report();
  }
  std::vector<Report> reports;
  std::function<void()> on_report;
};

class RepairServiceSteps : public ::testing::Test {
 protected:
  RepairServiceSteps() : service_(system_.platform()) {
    service_.RegisterCallback(kRepairCallbackStepFinished, basekit::BindMethod(&ReportRecorder::OnReport, &recorder_));
  }

  // Runs step 1 on the given adapters and selects entry 0.
  void QueryAndSelect(std::vector<IP_ADAPTER_INFO> adapters) {
    system_.adapters.records = std::move(adapters);
    service_.QueryNetworkSettings();
    ASSERT_TRUE(service_.SelectAdapter(0));
    recorder_.reports.clear();
  }

  std::vector<std::string> Repair() const { return log_.Messages(); }

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
    std::vector<std::string> lines;
  } cases[] = {
      {"rule for the program",
       L"C:\\Tools\\repair.exe",
       false,
       {L"netsh advfirewall firewall add rule name=\"VA Rovade Varoza\" dir=in action=allow "
        L"program=\"C:\\Tools\\repair.exe\""},
       {1, kStepFirewall},
       {"start mofify firewall settings",
        "cmd : netsh advfirewall firewall add rule name=\"VA Rovade Varoza\" dir=in "
        "action=allow program=\"C:\\Tools\\repair.exe\"",
        "end mofify firewall settings"}},
      // The log line carries the command in code page 936.
      {"path outside ASCII",
       L"C:\\修复\\repair.exe",
       false,
       {L"netsh advfirewall firewall add rule name=\"VA Rovade Varoza\" dir=in action=allow "
        L"program=\"C:\\修复\\repair.exe\""},
       {1, kStepFirewall},
       {"start mofify firewall settings",
        "cmd : netsh advfirewall firewall add rule name=\"VA Rovade Varoza\" dir=in "
        "action=allow program=\"C:\\\xD0\xDE\xB8\xB4\\repair.exe\"",
        "end mofify firewall settings"}},
      {"netsh cannot start",
       L"C:\\Tools\\repair.exe",
       true,
       {},
       {0, kStepFirewall},
       {"start mofify firewall settings",
        "cmd : netsh advfirewall firewall add rule name=\"VA Rovade Varoza\" dir=in "
        "action=allow program=\"C:\\Tools\\repair.exe\"",
        "create process failed 2: netsh advfirewall firewall add rule name=\"VA Rovade "
        "Varoza\" dir=in action=allow program=\"C:\\Tools\\repair.exe\"",
        "end mofify firewall settings"}},
      // Without its own path the program would add a rule naming no program.
      {"program path unknown",
       L"",
       false,
       {},
       {0, kStepFirewall},
       {"start mofify firewall settings", "program path unknown, no firewall rule added",
        "end mofify firewall settings"}},
  };
  for (const Case& c : cases) {
    FakeSystem system;
    system.module.path = c.module_path;
    system.processes.fail = c.start_fails;
    RepairService service(system.platform());
    ReportRecorder recorder;
    service.RegisterCallback(1, basekit::BindMethod(&ReportRecorder::OnReport, &recorder));
    LogCapture log;
    service.AddFirewallRule();
    EXPECT_EQ(system.processes.started, c.started) << c.name;
    EXPECT_EQ(system.processes.waits.size(), c.started.size()) << c.name;
    for (uint32_t wait : system.processes.waits) EXPECT_EQ(wait, 10000u) << c.name;
    EXPECT_TRUE(system.processes.open_handles.empty()) << c.name;
    EXPECT_EQ(recorder.reports, std::vector<Report>{c.report}) << c.name;
    EXPECT_EQ(log.Messages(), c.lines) << c.name;
  }
}

TEST_F(RepairServiceSteps, QueryAlwaysSucceeds) {
  system_.adapters.records = {MakeAdapter("{A}", "Ethernet", kMac1)};
  service_.QueryNetworkSettings();
  EXPECT_EQ(service_.adapter_count(), 1);
  system_.adapters.error = 1168;
  service_.QueryNetworkSettings();
  EXPECT_EQ(service_.adapter_count(), 1);
  EXPECT_EQ(recorder_.reports, (std::vector<Report>{{1, kStepQuery}, {1, kStepQuery}}));
  std::vector<std::string> lines = Repair();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[3], "Get Default adpter failed 1168");
  EXPECT_EQ(lines[4], "end query network settings");
  // The selection stays all zero until chosen.
  EXPECT_EQ(FieldText(service_.selected_adapter().AdapterName), "");
  EXPECT_FALSE(service_.SelectAdapter(1));
}

TEST_F(RepairServiceSteps, Backup) {
  struct Case {
    const char* name;
    uint32_t dhcp;
    bool backup_exists;
    bool start_fails;
    bool path_unknown;
    std::vector<std::wstring> started;
    std::vector<std::string> lines;
  } cases[] = {
      {"DHCP adapter: no backup", 1, false, false, false, {}, {}},
      {"static adapter: dump into ip.bak",
       0,
       false,
       false,
       false,
       {L"cmd /c netsh interface ip dump > \"C:\\Tools\\ip.bak\""},
       {}},
      {"static adapter, existing ip.bak left alone", 0, true, false, false, {}, {}},
      {"dump cannot start: still a success",
       0,
       false,
       true,
       false,
       {},
       {"create process failed 2: cmd /c netsh interface ip dump > \"C:\\Tools\\ip.bak\""}},
      // No directory to put it in: nothing is written into the current one.
      {"program path unknown: no dump", 0, false, false, true, {}, {"program directory unknown, no backup written"}},
  };
  for (const Case& c : cases) {
    FakeSystem system;
    RepairService service(system.platform());
    ReportRecorder recorder;
    service.RegisterCallback(1, basekit::BindMethod(&ReportRecorder::OnReport, &recorder));
    system.adapters.records = {MakeAdapter("{A}", "Ethernet", kMac1, c.dhcp)};
    service.QueryNetworkSettings();
    service.SelectAdapter(0);
    if (c.backup_exists) system.files.existing.insert(L"C:\\Tools\\ip.bak");
    system.processes.fail = c.start_fails;
    if (c.path_unknown) system.module.path.clear();
    LogCapture log;
    service.BackupNetworkSettings();
    EXPECT_EQ(system.processes.started, c.started) << c.name;
    EXPECT_EQ(recorder.reports.back(), Report(1, kStepBackup)) << c.name;
    std::vector<std::string> lines = {"start backup network settings"};
    lines.insert(lines.end(), c.lines.begin(), c.lines.end());
    lines.push_back("end backup network settings");
    EXPECT_EQ(log.Messages(), lines) << c.name << ": no cmd line for the dump";
  }
}

TEST_F(RepairServiceSteps, ModifyUsesTheConnectionName) {
  system_.registry.AddConnection("{GUID-1}", L"Ethernet 2");
  QueryAndSelect({MakeAdapter("{GUID-1}", "Ethernet", kMac1)});
  service_.ModifyNetworkSettings();
  EXPECT_EQ(service_.connection_name(), L"Ethernet 2");
  EXPECT_EQ(system_.processes.started, std::vector<std::wstring>{L"netsh interface ip set address name=\"Ethernet 2\" "
                                                                 L"static 192.168.1.111 255.255.255.0"});
  EXPECT_EQ(system_.sleeper.sleeps, std::vector<uint32_t>{5000});
  EXPECT_EQ(recorder_.reports, (std::vector<Report>{{1, kStepModify}}));
}

TEST_F(RepairServiceSteps, ModifyWithoutConnectionKeyNamesTheEmptyConnection) {
  QueryAndSelect({MakeAdapter("{GUID-1}", "Ethernet", kMac1)});
  service_.ModifyNetworkSettings();
  EXPECT_EQ(service_.connection_name(), L"");
  EXPECT_EQ(system_.processes.started,
            std::vector<std::wstring>{L"netsh interface ip set address name=\"\" static 192.168.1.111 255.255.255.0"});
  EXPECT_EQ(recorder_.reports, (std::vector<Report>{{1, kStepModify}}));
  EXPECT_TRUE(log_.Contains("[AccService::FindIfNameByIntanceId] read registry path fail"));
}

TEST_F(RepairServiceSteps, FailedModifyDeletesTheFirewallRuleBeforeReporting) {
  QueryAndSelect({MakeAdapter("{GUID-1}", "Ethernet", kMac1)});
  system_.processes.fail = true;
  size_t attempts_at_report = 0;
  recorder_.on_report = [&] { attempts_at_report = system_.processes.refused.size(); };
  service_.ModifyNetworkSettings();
  EXPECT_EQ(recorder_.reports, (std::vector<Report>{{0, kStepModify}}));
  ASSERT_EQ(system_.processes.refused.size(), 2u);
  EXPECT_EQ(system_.processes.refused[1], L"netsh advfirewall firewall delete rule name=\"VA Rovade Varoza\"");
  EXPECT_EQ(attempts_at_report, 2u) << "the rule is deleted before the failure is reported";
  EXPECT_EQ(system_.sleeper.sleeps, std::vector<uint32_t>{5000});
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
  EXPECT_EQ(Repair(), (std::vector<std::string>{"start upload firmware",
                                                "uploading firmware to 192.168.1.6, name rorod_oze_firmware_v1.5.2.bin",
                                                "try connect 1 time", "end upload firmware"}));
}

// The box may hold the whole image: the step still fails (the network is
// put back as after any failed upload), but the log does not call it a
// plain failure.
TEST_F(RepairServiceSteps, UploadWhoseLastBlockWasNeverConfirmed) {
  system_.tftp.send_result = false;
  system_.tftp.failed_outcome = TftpOutcome::kLastBlockUnconfirmed;
  service_.UploadFirmware();
  EXPECT_EQ(recorder_.reports, (std::vector<Report>{{0, kStepUpload}}));
  EXPECT_EQ(Repair(),
            (std::vector<std::string>{
                "start upload firmware", "uploading firmware to 192.168.1.6, name rorod_oze_firmware_v1.5.2.bin",
                "try connect 1 time", "uploading firmware unconfirmed: last block sent, its acknowledgement never came",
                "end upload firmware"}));
}

TEST_F(RepairServiceSteps, UploadFailures) {
  struct Case {
    const char* name;
    std::deque<bool> connects;
    bool send_result;
    bool firmware;
    bool throws;
    size_t sends;
    std::vector<uint32_t> sleeps;
    std::vector<std::string> lines;
  } cases[] = {
      {"three failed connection attempts",
       {false, false, false},
       true,
       true,
       false,
       0,
       {5000, 5000, 5000},
       {"start upload firmware", "uploading firmware to 192.168.1.6, name rorod_oze_firmware_v1.5.2.bin",
        "try connect 1 time", "connect error wait 5 seconds retry", "try connect 2 time",
        "connect error wait 5 seconds retry", "try connect 3 time", "connect error wait 5 seconds retry",
        "uploading firmware failed", "end upload firmware"}},
      {"send fails",
       {},
       false,
       true,
       false,
       1,
       {},
       {"start upload firmware", "uploading firmware to 192.168.1.6, name rorod_oze_firmware_v1.5.2.bin",
        "try connect 1 time", "uploading firmware failed", "end upload firmware"}},
      {"no firmware resource", {}, true, false, false, 0, {}, {"start upload firmware", "end upload firmware"}},
      {"socket library missing",
       {},
       true,
       true,
       true,
       0,
       {},
       {"start upload firmware", "uploading firmware to 192.168.1.6, name rorod_oze_firmware_v1.5.2.bin",
        "tftp client unavailable: Unable to find socket library", "uploading firmware failed", "end upload firmware"}},
  };
  for (const Case& c : cases) {
    FakeSystem system;
    RepairService service(system.platform());
    ReportRecorder recorder;
    service.RegisterCallback(1, basekit::BindMethod(&ReportRecorder::OnReport, &recorder));
    system.tftp.connect_results = c.connects;
    system.tftp.send_result = c.send_result;
    system.tftp.throw_on_create = c.throws;
    system.firmware.available = c.firmware;
    LogCapture log;
    service.UploadFirmware();
    EXPECT_EQ(recorder.reports, (std::vector<Report>{{0, kStepUpload}})) << c.name;
    EXPECT_EQ(system.tftp.sent.size(), c.sends) << c.name;
    EXPECT_EQ(system.sleeper.sleeps, c.sleeps) << c.name;
    EXPECT_EQ(system.tftp.sessions_alive, 0) << c.name;
    EXPECT_EQ(log.Messages(), c.lines) << c.name;
  }
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

TEST_F(RepairServiceSteps, UploadAfterTwoFailedAttempts) {
  system_.tftp.connect_results = {false, false};
  service_.UploadFirmware();
  EXPECT_EQ(system_.tftp.connects, 3);
  EXPECT_EQ(system_.tftp.sent.size(), 1u);
  EXPECT_EQ(system_.sleeper.sleeps, (std::vector<uint32_t>{5000, 5000}));
  EXPECT_EQ(recorder_.reports, (std::vector<Report>{{1, kStepUpload}}));
}

TEST_F(RepairServiceSteps, RestoreCommands) {
  struct Case {
    const char* name;
    IP_ADAPTER_INFO adapter;
    std::wstring restore;
  } cases[] = {
      {"DHCP", MakeAdapter("{G}", "Ethernet", kMac1, 1), L"netsh interface ip set address name=\"Ethernet\" dhcp"},
      {"static", MakeAdapter("{G}", "Ethernet", kMac1, 0, "192.168.0.10", "255.255.255.0", "192.168.0.1"),
       L"netsh interface ip set address name=\"Ethernet\" static 192.168.0.10 255.255.255.0 "
       L"192.168.0.1 0"},
  };
  for (const Case& c : cases) {
    FakeSystem system;
    RepairService service(system.platform());
    ReportRecorder recorder;
    service.RegisterCallback(1, basekit::BindMethod(&ReportRecorder::OnReport, &recorder));
    system.registry.AddConnection("{G}", L"Ethernet");
    system.adapters.records = {c.adapter};
    service.QueryNetworkSettings();
    service.SelectAdapter(0);
    service.ModifyNetworkSettings();
    system.processes.started.clear();
    recorder.reports.clear();

    service.RestoreNetworkSettings();
    EXPECT_EQ(
        system.processes.started,
        (std::vector<std::wstring>{L"netsh advfirewall firewall delete rule name=\"VA Rovade Varoza\"", c.restore}))
        << c.name;
    EXPECT_EQ(recorder.reports, (std::vector<Report>{{1, kStepRestore}})) << c.name;

    // The clean-up after a late failure issues the same commands, unreported.
    system.processes.started.clear();
    LogCapture log;
    service.RestoreNetworkSettings2();
    EXPECT_EQ(system.processes.started.size(), 2u) << c.name;
    EXPECT_EQ(system.processes.started[1], c.restore) << c.name;
    EXPECT_EQ(recorder.reports.size(), 1u) << c.name;
    std::vector<std::string> lines = log.Messages();
    ASSERT_EQ(lines.size(), 6u) << c.name;
    EXPECT_EQ(lines.front(), "start restore network settings 2");
    EXPECT_EQ(lines[1], "start delete firewall settings");
    EXPECT_EQ(lines[3], "end delete firewall settings");
    EXPECT_EQ(lines.back(), "end restore network settings 2");
  }
}

TEST_F(RepairServiceSteps, RestoreReportsWhetherTheCommandStarted) {
  system_.processes.fail = true;
  service_.RestoreNetworkSettings();
  EXPECT_EQ(recorder_.reports, (std::vector<Report>{{0, kStepRestore}}));
  EXPECT_EQ(system_.processes.refused.size(), 2u) << "rule deletion is tried regardless";
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
  service.RegisterCallback(2, basekit::BindMethod(&ReportRecorder::OnReport, &other_kind));
  service.QueryNetworkSettings();
  service.BackupNetworkSettings();
  EXPECT_TRUE(other_kind.reports.empty());
  EXPECT_TRUE(log.Contains("no callback for kind 1, report dropped"));
}

}  // namespace
}  // namespace repair

#include "repair/repair_step_chain.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fake_system.h"
#include "repair/text_encoding.h"

namespace repair {
namespace {

using fakes::FakeSystem;
using fakes::kMac1;
using fakes::LogCapture;
using fakes::MakeAdapter;

using Report = std::pair<int32_t, int32_t>;  // (result, step)

class RecordingChooser : public AdapterChooser {
 public:
  int32_t answer = 0;
  std::vector<int32_t> counts_shown;
  int32_t ChooseAdapter(const IP_ADAPTER_INFO* table, int32_t count) override {
    counts_shown.push_back(count);
    EXPECT_NE(table, nullptr);
    return answer;
  }
};

// Drives the procedure without a thread: the steps run on the test thread
// in the order the chain posts them.
class SynchronousRun {
 public:
  explicit SynchronousRun(FakeSystem& system, AdapterChooser* chooser = nullptr)
      : service(system.platform()),
        chain(&service, chooser, [this](RepairStepMethod step) { pending.push_back(step); }) {
    service.RegisterCallback(kRepairCallbackStepFinished, basekit::BindMethod(&SynchronousRun::OnReport, this));
  }

  // Runs from step 0 until the chain posts nothing more.
  RepairStepChain::State Run() {
    pending.push_back(&RepairService::AddFirewallRule);
    for (int index = 0; !pending.empty(); ++index) {
      RepairStepMethod step = pending.front();
      pending.pop_front();
      if (before_step) before_step(index);
      (service.*step)();
      EXPECT_EQ(unapplied.size(), 1u) << "every step reports once";
      while (!unapplied.empty()) {
        Report report = unapplied.front();
        unapplied.pop_front();
        chain.OnStepReported(report.first, report.second);
      }
    }
    return chain.state();
  }

  void OnReport(ServiceCallbackParam* param) {
    auto* report = static_cast<RepairServiceCallbackParam*>(param);
    reports.emplace_back(report->result, report->step);
    unapplied.emplace_back(report->result, report->step);
  }

  RepairService service;
  RepairStepChain chain;
  std::function<void(int index)> before_step;
  std::deque<RepairStepMethod> pending;
  std::deque<Report> unapplied;
  std::vector<Report> reports;
};

const std::wstring kDeleteRule = L"netsh advfirewall firewall delete rule name=\"VA Rovade Varoza\"";

std::wstring AddRule() {
  return L"netsh advfirewall firewall add rule name=\"VA Rovade Varoza\" dir=in action=allow "
         L"program=\"C:\\Tools\\repair.exe\"";
}

std::wstring SetRecovery(const std::wstring& name) {
  return L"netsh interface ip set address name=\"" + name + L"\" static 192.168.1.111 255.255.255.0";
}

TEST(RepairStepChain, NextStep) {
  const std::pair<int32_t, RepairStepMethod> cases[] = {
      {kStepFirewall, &RepairService::QueryNetworkSettings},
      {kStepQuery, &RepairService::BackupNetworkSettings},
      {kStepBackup, &RepairService::ModifyNetworkSettings},
      {kStepModify, &RepairService::UploadFirmware},
      {kStepUpload, &RepairService::RestoreNetworkSettings},
      {kStepRestore, nullptr},
      {6, nullptr},
      {-1, nullptr},
  };
  for (const auto& [step, next] : cases) {
    EXPECT_TRUE(NextRepairStep(step) == next) << step;
  }
}

TEST(RepairStepChain, SuccessfulRunOnADhcpAdapter) {
  FakeSystem system;
  system.adapters.records = {MakeAdapter("{GUID-1}", "Realtek PCIe GbE", kMac1, 1)};
  system.registry.AddConnection("{GUID-1}", L"Ethernet");
  LogCapture log;
  SynchronousRun run(system);
  EXPECT_EQ(run.Run(), RepairStepChain::State::kComplete);
  EXPECT_EQ(run.reports, (std::vector<Report>{{1, 0}, {1, 1}, {1, 2}, {1, 3}, {1, 4}, {1, 5}}));
  EXPECT_EQ(run.chain.last_step(), kStepRestore);
  EXPECT_EQ(system.processes.started,
            (std::vector<std::wstring>{AddRule(), SetRecovery(L"Ethernet"), kDeleteRule,
                                       L"netsh interface ip set address name=\"Ethernet\" dhcp"}));
  EXPECT_EQ(system.tftp.sent.size(), 1u);
  EXPECT_EQ(log.Messages(), (std::vector<std::string>{
                                "start mofify firewall settings",
                                "cmd : " + WideToGbk(AddRule()),
                                "end mofify firewall settings",
                                "start query network settings",
                                "end query network settings",
                                "start backup network settings",
                                "end backup network settings",
                                "start mofify network settings",
                                "cmd : " + WideToGbk(SetRecovery(L"Ethernet")),
                                "wait 5 seconds",
                                "end mofify network settings",
                                "start upload firmware",
                                "uploading firmware to 192.168.1.6, name rorod_oze_firmware_v1.5.2.bin",
                                "try connect 1 time",
                                "end upload firmware",
                                "start restore network settings",
                                "start delete firewall settings",
                                "cmd : " + WideToGbk(kDeleteRule),
                                "end delete firewall settings",
                                "cmd : netsh interface ip set address name=\"Ethernet\" dhcp",
                                "end restore network settings",
                            }));
}

TEST(RepairStepChain, AdapterChoice) {
  struct Case {
    const char* name;
    int candidates;
    int32_t answer;
    size_t chooser_calls;
    std::string selected;
  } cases[] = {
      {"none: selection stays empty", 0, 0, 0, ""},   {"one: entry 0 without asking", 1, 0, 0, "{0}"},
      {"several: the user's pick", 3, 2, 1, "{2}"},   {"several, picker closed: selection unchanged", 2, -1, 1, ""},
      {"more than the table holds", 11, 7, 1, "{7}"},
  };
  for (const Case& c : cases) {
    FakeSystem system;
    for (int i = 0; i < c.candidates; ++i) {
      std::string name = "{" + std::to_string(i) + "}";
      system.adapters.records.push_back(MakeAdapter(name.c_str(), "Ethernet", kMac1));
    }
    RecordingChooser chooser;
    chooser.answer = c.answer;
    SynchronousRun run(system, &chooser);
    // Every choice goes on to the upload and the end.
    EXPECT_EQ(run.Run(), RepairStepChain::State::kComplete) << c.name;
    EXPECT_EQ(chooser.counts_shown.size(), c.chooser_calls) << c.name;
    if (c.chooser_calls) {
      EXPECT_EQ(chooser.counts_shown[0], std::min(c.candidates, 8)) << c.name;
    }
    EXPECT_EQ(FieldText(run.service.selected_adapter().AdapterName), c.selected) << c.name;
    EXPECT_EQ(system.tftp.sent.size(), 1u) << c.name;
    if (c.selected.empty()) {
      // An all-zero selection reads as a static adapter without a name.
      EXPECT_EQ(system.processes.started,
                (std::vector<std::wstring>{AddRule(), L"cmd /c netsh interface ip dump > \"C:\\Tools\\ip.bak\"",
                                           SetRecovery(L""), kDeleteRule,
                                           L"netsh interface ip set address name=\"\" static    0"}))
          << c.name;
    }
  }
}

TEST(RepairStepChain, Failures) {
  struct Case {
    const char* name;
    int32_t failing_step;
    std::vector<Report> reports;
    bool cleanup;
  } cases[] = {
      {"firewall", kStepFirewall, {{0, 0}}, false},
      {"modify", kStepModify, {{1, 0}, {1, 1}, {1, 2}, {0, 3}}, false},
      {"upload", kStepUpload, {{1, 0}, {1, 1}, {1, 2}, {1, 3}, {0, 4}}, true},
      {"restore", kStepRestore, {{1, 0}, {1, 1}, {1, 2}, {1, 3}, {1, 4}, {0, 5}}, true},
  };
  for (const Case& c : cases) {
    FakeSystem system;
    system.adapters.records = {MakeAdapter("{G}", "Ethernet", kMac1)};
    system.registry.AddConnection("{G}", L"Ethernet");
    if (c.failing_step == kStepUpload) system.tftp.connect_results = {false, false, false};
    SynchronousRun run(system);
    // The failing step's commands cannot start; the earlier ones can.
    run.before_step = [&](int index) {
      if (index == c.failing_step && c.failing_step != kStepUpload) {
        system.processes.fail = true;
      }
    };
    LogCapture log;
    RepairStepChain::State state = run.Run();
    EXPECT_EQ(state, RepairStepChain::State::kFailed) << c.name;
    EXPECT_EQ(run.reports, c.reports) << c.name;
    EXPECT_EQ(log.Contains("start restore network settings 2"), c.cleanup) << c.name;
    if (c.failing_step == kStepUpload) {
      EXPECT_EQ(system.processes.started.back(), L"netsh interface ip set address name=\"Ethernet\" dhcp")
          << c.name << ": the adapter is put back";
    }
    if (c.failing_step == kStepModify) {
      EXPECT_EQ(system.processes.refused, (std::vector<std::wstring>{SetRecovery(L"Ethernet"), kDeleteRule}))
          << c.name << ": the rule is deleted, nothing else is undone";
      EXPECT_EQ(system.processes.started, std::vector<std::wstring>{AddRule()}) << c.name;
    }
    // A report after the end changes nothing.
    EXPECT_EQ(run.chain.OnStepReported(1, kStepFirewall), RepairStepChain::State::kFailed);
    EXPECT_TRUE(run.pending.empty()) << c.name;
  }
}

}  // namespace
}  // namespace repair

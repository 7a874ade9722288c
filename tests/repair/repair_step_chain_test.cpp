#include "repair/repair_step_chain.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <fstream>
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

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

// The procedure's log of a run that ends as ENDING, as the wizard's runs
// under Wine expect it too (tests/e2e/expected/ENDING.txt), for the program
// at C:\Tools\repair.exe and the connection "Ethernet". Its first line,
// "repair start", is written by the program's entry, not by the procedure.
// The file marks "| " the lines the wizard's window writes in answer to a
// report; run synchronously they come in the file's order.
std::vector<std::string> ExpectedLog(const std::string& ending) {
  std::ifstream in(std::string(REPAIR_EXPECTED_LOG_DIR) + "/" + ending + ".txt", std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("| ", 0) == 0) line.erase(0, 2);
    ReplaceAll(line, "{program}", "C:\\Tools\\repair.exe");
    ReplaceAll(line, "{connection}", "Ethernet");
    lines.push_back(line);
  }
  EXPECT_FALSE(lines.empty()) << ending << ": no expected log";
  if (!lines.empty() && lines.front() == "repair start") lines.erase(lines.begin());
  return lines;
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
}

// The log of whole runs, line for line, as the wizard's runs expect it.
TEST(RepairStepChain, LogOfARun) {
  struct Case {
    const char* ending;
    bool upload_succeeds;
    RepairStepChain::State state;
  } cases[] = {
      {"repaired", true, RepairStepChain::State::kComplete},
      {"failed", false, RepairStepChain::State::kFailed},
  };
  for (const Case& c : cases) {
    FakeSystem system;
    system.adapters.records = {MakeAdapter("{GUID-1}", "Realtek PCIe GbE", kMac1, 1)};
    system.registry.AddConnection("{GUID-1}", L"Ethernet");
    system.tftp.send_result = c.upload_succeeds;
    LogCapture log;
    SynchronousRun run(system);
    EXPECT_EQ(run.Run(), c.state) << c.ending;
    EXPECT_EQ(log.Messages(), ExpectedLog(c.ending)) << c.ending;
  }
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

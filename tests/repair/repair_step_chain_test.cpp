#include "repair/repair_step_chain.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <fstream>
#include <functional>
#include <regex>
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
      : service(system.platform()), chain(&service, chooser, [this](RepairStep step) { pending.push_back(step); }) {
    service.RegisterCallback(kRepairCallbackStepFinished, basekit::BindMethod(&SynchronousRun::OnReport, this));
  }

  // Runs from the first step until the chain posts nothing more.
  RepairStepChain::State Run() {
    EXPECT_TRUE(chain.Start());
    for (int index = 0; !pending.empty(); ++index) {
      RepairStep step = pending.front();
      pending.pop_front();
      if (before_step) before_step(index);
      service.RunStep(step);
      EXPECT_EQ(unapplied.size(), 1u) << "every step reports once";
      while (!unapplied.empty()) {
        const RepairServiceCallbackParam report = unapplied.front();
        unapplied.pop_front();
        chain.OnStepReported(report);
      }
    }
    return chain.state();
  }

  void OnReport(ServiceCallbackParam* param) {
    auto* report = static_cast<RepairServiceCallbackParam*>(param);
    reports.emplace_back(report->result, report->step);
    EXPECT_EQ(report->failure.failed(), report->result == 0) << "a failed step says why";
    unapplied.push_back(*report);
  }

  RepairService service;
  RepairStepChain chain;
  std::function<void(int index)> before_step;
  std::deque<RepairStep> pending;
  std::deque<RepairServiceCallbackParam> unapplied;
  std::vector<Report> reports;
};

const std::wstring kDeleteRule = L"netsh advfirewall firewall delete rule name=\"VA Rovade Varoza\"";
const std::wstring kAddRule =
    L"netsh advfirewall firewall add rule name=\"VA Rovade Varoza\" dir=in action=allow "
    L"program=\"C:\\Tools\\repair.exe\"";

std::wstring SetRecovery(const std::wstring& name) {
  return L"netsh interface ip set address name=\"" + name + L"\" static 192.168.1.111 255.255.255.0";
}
std::wstring Dhcp(const std::wstring& name) { return L"netsh interface ip set address name=\"" + name + L"\" dhcp"; }

const std::vector<Report> kWholeRun = {{1, 1}, {1, 6}, {1, 0}, {1, 2}, {1, 3}, {1, 4}, {1, 5}};

TEST(RepairStepChain, NextStepAndPlace) {
  const struct {
    int32_t step;
    RepairStep next;
    int place;
  } cases[] = {
      {kStepQuery, kStepLink, 0},
      {kStepLink, kStepFirewall, 0},
      {kStepFirewall, kStepBackup, 1},
      {kStepBackup, kStepModify, 2},
      {kStepModify, kStepUpload, 3},
      {kStepUpload, kStepRestore, 4},
      {kStepRestore, kStepNone, 5},
      {kStepCleanUp, kStepNone, -1},
      {kStepRecover, kStepNone, -1},
      {kStepNone, kStepNone, -1},
      {9, kStepNone, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NextStep(c.step), c.next) << c.step;
    EXPECT_EQ(PlaceOf(c.step), c.place) << c.step;
  }
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  EXPECT_FALSE(lines.empty()) << path;
  return lines;
}

// The procedure's log of a run that ends as ENDING, as the wizard's runs
// under Wine expect it too (tests/e2e/expected/ENDING.txt), for the program
// at C:\Tools\repair.exe, the connection "Ethernet" and the fake journal.
// Its first line, "repair start", is written by the program's entry, not by
// the procedure. The file marks "| " the lines the wizard's window writes
// in answer to a report; run synchronously they come in the file's order.
std::vector<std::string> ExpectedLog(const std::string& ending) {
  std::vector<std::string> lines = ReadLines(std::string(REPAIR_EXPECTED_LOG_DIR) + "/" + ending + ".txt");
  for (std::string& line : lines) {
    if (line.rfind("| ", 0) == 0) line.erase(0, 2);
    ReplaceAll(line, "{program}", "C:\\Tools\\repair.exe");
    ReplaceAll(line, "{connection}", "Ethernet");
    ReplaceAll(line, "{journal}", "HKLM\\SOFTWARE\\DEzed Repair\\Journal");
    ReplaceAll(line, "{backup}", "C:\\Tools\\ip.bak");
  }
  if (!lines.empty() && lines.front() == "repair start") lines.erase(lines.begin());
  return lines;
}

// The log's lines the runs compare (tests/e2e/expected/kept-lines.txt: not
// the figures that vary from run to run).
std::vector<std::string> KeptLines(const std::vector<std::string>& messages) {
  std::vector<std::regex> kept;
  for (const std::string& pattern : ReadLines(std::string(REPAIR_EXPECTED_LOG_DIR) + "/kept-lines.txt")) {
    kept.emplace_back(pattern, std::regex::extended);
  }
  std::vector<std::string> out;
  for (const std::string& message : messages) {
    for (const std::regex& pattern : kept) {
      if (std::regex_search(message, pattern)) {
        out.push_back(message);
        break;
      }
    }
  }
  return out;
}

TEST(RepairStepChain, SuccessfulRunOnADhcpAdapter) {
  FakeSystem system;
  system.AddAdapter(MakeAdapter("{0A}", "Realtek PCIe GbE", kMac1, 1), L"Ethernet");
  SynchronousRun run(system);
  EXPECT_EQ(run.Run(), RepairStepChain::State::kComplete);
  EXPECT_EQ(run.reports, kWholeRun);
  EXPECT_EQ(system.processes.started,
            (std::vector<std::wstring>{kAddRule, SetRecovery(L"Ethernet"), kDeleteRule, Dhcp(L"Ethernet")}));
  EXPECT_EQ(system.tftp.sent.size(), 1u);
  EXPECT_TRUE(system.network.rules.empty());
  EXPECT_EQ(system.network.adapters[0].state.addresses[0].address, "10.20.30.40");
  EXPECT_FALSE(system.journal.file.has_value()) << "deleted after the verified restore";
}

// The log of whole runs, line for line, as the wizard's runs expect it; the
// lines they leave out carry figures of the run.
TEST(RepairStepChain, LogOfARun) {
  struct Case {
    const char* ending;
    uint32_t dhcp;
    bool upload_succeeds;
    RepairStepChain::State state;
    std::vector<std::string> figures;
  } cases[] = {
      {"repaired",
       1,
       true,
       RepairStepChain::State::kComplete,
       {"recovery address 192.168.1.111 ready after 0 ms, settled 1000 ms",
        "upload progress: 0 updates to the window in 0 ms",
        "network settings of Ethernet restored, checked after 0 ms"}},
      // The backup's dump, and the adapter's own settings back.
      {"repaired-static",
       0,
       true,
       RepairStepChain::State::kComplete,
       {"network settings of Ethernet restored, checked after 0 ms"}},
      {"failed",
       1,
       false,
       RepairStepChain::State::kFailed,
       {"recovery address 192.168.1.111 ready after 0 ms, settled 1000 ms",
        "network settings of Ethernet restored, checked after 0 ms"}},
  };
  for (const Case& c : cases) {
    FakeSystem system;
    system.AddAdapter(
        MakeAdapter("{0A}", "Realtek PCIe GbE", kMac1, c.dhcp, "10.20.30.40", "255.255.255.0", "10.20.30.1"),
        L"Ethernet");
    system.tftp.send_result = c.upload_succeeds;
    system.tftp.failed_outcome = TftpOutcome::kRequestUnanswered;  // the silent box
    LogCapture log;
    SynchronousRun run(system);
    EXPECT_EQ(run.Run(), c.state) << c.ending;
    const std::vector<std::string> messages = log.Messages();
    EXPECT_EQ(KeptLines(messages), ExpectedLog(c.ending)) << c.ending;
    for (const std::string& figure : c.figures) {
      EXPECT_NE(std::find(messages.begin(), messages.end(), figure), messages.end()) << c.ending << ": " << figure;
    }
  }
}

TEST(RepairStepChain, AdapterChoice) {
  struct Case {
    const char* name;
    int candidates;
    int32_t answer;
    size_t chooser_calls;
    RepairStepChain::State state;
    RepairCause cause;
    std::string selected;
  } cases[] = {
      // Nothing is changed when there is nothing to repair through.
      {"none", 0, 0, 0, RepairStepChain::State::kFailed, RepairCause::kNoWiredAdapter, ""},
      {"one: entry 0 without asking", 1, 0, 0, RepairStepChain::State::kComplete, RepairCause::kNone, "{0}"},
      {"several: the user's pick", 3, 2, 1, RepairStepChain::State::kComplete, RepairCause::kNone, "{2}"},
      {"several, picker closed", 2, -1, 1, RepairStepChain::State::kFailed, RepairCause::kNoAdapterChosen, ""},
      {"more than the table holds", 11, 7, 1, RepairStepChain::State::kComplete, RepairCause::kNone, "{7}"},
  };
  for (const Case& c : cases) {
    FakeSystem system;
    for (int i = 0; i < c.candidates; ++i) {
      const std::string name = "{" + std::to_string(i) + "}";
      const std::vector<uint8_t> mac = {0x02, 0, 0, 0, 0, static_cast<uint8_t>(i + 1)};
      system.AddAdapter(MakeAdapter(name.c_str(), "Ethernet", mac), L"Ethernet " + std::to_wstring(i));
    }
    RecordingChooser chooser;
    chooser.answer = c.answer;
    SynchronousRun run(system, &chooser);
    EXPECT_EQ(run.Run(), c.state) << c.name;
    EXPECT_EQ(run.chain.failure().cause, c.cause) << c.name;
    EXPECT_EQ(chooser.counts_shown.size(), c.chooser_calls) << c.name;
    if (c.chooser_calls) {
      EXPECT_EQ(chooser.counts_shown[0], std::min(c.candidates, 8)) << c.name;
    }
    EXPECT_EQ(FieldText(run.service.selected_adapter().AdapterName), c.selected) << c.name;
    if (c.state == RepairStepChain::State::kFailed) {
      EXPECT_TRUE(system.processes.started.empty()) << c.name << ": no rule, no netsh";
      EXPECT_TRUE(system.tftp.sent.empty()) << c.name;
      EXPECT_FALSE(system.journal.file.has_value()) << c.name;
      EXPECT_EQ(run.reports, (std::vector<Report>{{1, kStepQuery}})) << c.name;
    } else {
      EXPECT_EQ(system.tftp.sent.size(), 1u) << c.name;
    }
  }
}

// A failed step ends the repair with its cause, after the clean-up has put
// back whatever had been changed by then.
TEST(RepairStepChain, EveryFailureEndsWithTheMachineAsBefore) {
  struct Case {
    const char* name;
    std::function<void(FakeSystem&)> arrange;
    std::vector<Report> reports;
    RepairCause cause;
    std::vector<std::wstring> commands;
  } cases[] = {
      {"rule cannot be added",
       [](FakeSystem& s) { s.module.path.clear(); },
       {{1, 1}, {1, 6}, {0, 0}},
       RepairCause::kFirewallRuleNotAdded,
       {}},
      {"recovery address refused",
       [](FakeSystem& s) { s.network.refused = {L"192.168.1.111"}; },
       {{1, 1}, {1, 6}, {1, 0}, {1, 2}, {0, 3}, {1, 7}},
       RepairCause::kRecoveryAddressNotSet,
       {kAddRule, SetRecovery(L"Ethernet"), kDeleteRule, Dhcp(L"Ethernet")}},
      {"silent box",
       [](FakeSystem& s) { s.tftp.outcome = TftpOutcome::kRequestUnanswered; },
       {{1, 1}, {1, 6}, {1, 0}, {1, 2}, {1, 3}, {0, 4}, {1, 7}},
       RepairCause::kBoxNotAnswering,
       {kAddRule, SetRecovery(L"Ethernet"), kDeleteRule, Dhcp(L"Ethernet")}},
      {"refusing box",
       [](FakeSystem& s) { s.tftp.outcome = TftpOutcome::kServerError; },
       {{1, 1}, {1, 6}, {1, 0}, {1, 2}, {1, 3}, {0, 4}, {1, 7}},
       RepairCause::kBoxRefused,
       {kAddRule, SetRecovery(L"Ethernet"), kDeleteRule, Dhcp(L"Ethernet")}},
      // The restore fails twice (the step and the clean-up): the cause is
      // the network, and the journal stays for the next start.
      {"restore refused",
       [](FakeSystem& s) { s.network.refused = {L" dhcp"}; },
       {{1, 1}, {1, 6}, {1, 0}, {1, 2}, {1, 3}, {1, 4}, {0, 5}, {0, 7}},
       RepairCause::kRestoreFailed,
       {kAddRule, SetRecovery(L"Ethernet"), kDeleteRule, Dhcp(L"Ethernet"), Dhcp(L"Ethernet")}},
  };
  for (const Case& c : cases) {
    FakeSystem system;
    system.AddAdapter(MakeAdapter("{0A}", "Ethernet", kMac1), L"Ethernet");
    c.arrange(system);
    SynchronousRun run(system);
    LogCapture log;
    EXPECT_EQ(run.Run(), RepairStepChain::State::kFailed) << c.name;
    EXPECT_EQ(run.reports, c.reports) << c.name;
    EXPECT_EQ(run.chain.failure().cause, c.cause) << c.name;
    EXPECT_EQ(system.processes.started, c.commands) << c.name;
    EXPECT_TRUE(system.network.rules.empty()) << c.name;
    if (c.cause == RepairCause::kRestoreFailed) {
      EXPECT_TRUE(system.journal.file.has_value()) << c.name;
      EXPECT_TRUE(run.chain.failure().image_delivered) << c.name;
      EXPECT_EQ(run.chain.failure().connection_name, L"Ethernet") << c.name;
    } else {
      EXPECT_FALSE(system.journal.file.has_value()) << c.name;
      EXPECT_EQ(system.network.adapters[0].state.addresses[0].address, "10.20.30.40") << c.name;
    }
    // A report after the end changes nothing.
    EXPECT_EQ(run.chain.OnStepReported(RepairServiceCallbackParam(1, kStepFirewall)), RepairStepChain::State::kFailed);
    EXPECT_TRUE(run.pending.empty()) << c.name;
  }
}

// A restore that fails once and works on the clean-up's second try leaves
// the PC as before and the image on the box: that is a success. When the
// second try fails too, the repair ends with what is still left changed.
TEST(RepairStepChain, RestoreLeftUndoneIsTriedAgain) {
  const auto hang_deletion = [](FakeSystem& s) { s.HangRuleDeletion(); };
  const auto refuse_dhcp = [](FakeSystem& s) { s.network.refused = {L" dhcp"}; };
  struct Case {
    const char* name;
    std::function<void(FakeSystem&)> restore_fault;  // at the restore
    bool again;                                      // and at the clean-up
    RepairStepChain::State state;
    RepairCause cause;  // kFailed
  } cases[] = {
      {"adapter refused once", refuse_dhcp, false, RepairStepChain::State::kComplete, {}},
      {"rule deletion hangs once", hang_deletion, false, RepairStepChain::State::kComplete, {}},
      {"rule deletion hangs twice", hang_deletion, true, RepairStepChain::State::kFailed,
       RepairCause::kFirewallRuleNotDeleted},
  };
  for (const Case& c : cases) {
    FakeSystem system;
    system.AddAdapter(MakeAdapter("{0A}", "Ethernet", kMac1), L"Ethernet");
    SynchronousRun run(system);
    run.before_step = [&](int index) {
      if (index == 6) c.restore_fault(system);
      if (index == 7 && !c.again) {
        system.network.refused.clear();
        system.HealCommands();
      }
    };
    EXPECT_EQ(run.Run(), c.state) << c.name;
    EXPECT_EQ(run.reports.back(), Report(c.again ? 0 : 1, kStepCleanUp)) << c.name;
    EXPECT_EQ(system.journal.file.has_value(), c.again) << c.name;
    if (c.again) {
      EXPECT_EQ(run.chain.failure().cause, c.cause) << c.name;
      EXPECT_EQ(run.chain.failure().step, kStepRestore) << c.name;
      EXPECT_TRUE(run.chain.failure().image_delivered) << c.name;
    }
  }
}

// With the cable out, nothing changes until the link comes up; then the
// repair goes on by itself.
TEST(RepairStepChain, WaitsForTheCableBeforeChangingAnything) {
  FakeSystem system;
  system.AddAdapter(MakeAdapter("{0A}", "Ethernet", kMac1), L"Ethernet").state.link_up = false;
  std::vector<RepairStage> stages;
  struct StatusSink {
    std::vector<RepairStage>* stages;
    void On(ServiceCallbackParam* p) { stages->push_back(static_cast<RepairStatusParam*>(p)->stage); }
  } sink{&stages};
  SynchronousRun run(system);
  run.service.RegisterCallback(kRepairCallbackStatus, basekit::BindMethod(&StatusSink::On, &sink));
  size_t commands_while_waiting = 99;
  system.sleeper.on_sleep = [&] {
    if (system.sleeper.sleeps.size() == 40) {  // ten seconds of waiting
      commands_while_waiting = system.processes.started.size();
      system.network.adapters[0].state.link_up = true;
    }
  };
  LogCapture log;
  EXPECT_EQ(run.Run(), RepairStepChain::State::kComplete);
  EXPECT_EQ(commands_while_waiting, 0u);
  EXPECT_EQ(system.sleeper.Count(250), 40u) << "the link is looked at every quarter of a second";
  EXPECT_TRUE(log.Contains("adapter {0A} has no link, waiting for the cable"));
  EXPECT_TRUE(log.Contains("link up after 10000 ms"));
  ASSERT_GE(stages.size(), 2u);
  EXPECT_EQ(stages[1], RepairStage::kWaitingForCable);
}

}  // namespace
}  // namespace repair

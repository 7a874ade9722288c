// The wizard's logic without a window, driven by the real engine on fakes
// the way the window drives it: steps run one at a time, their status
// reports and their report are handed over in order, the timer ticks.

#include "repair/repair_wizard.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "fake_system.h"
#include "repair/text_encoding.h"
#include "repair/wizard_texts.h"

namespace repair {
namespace {

using fakes::FakeSystem;
using fakes::kMac1;
using fakes::LogCapture;
using fakes::MakeAdapter;

constexpr size_t kImageSize = 5628964;

class WizardRun {
 public:
  explicit WizardRun(FakeSystem& system, AdapterChooser* chooser = nullptr)
      : service(system.platform()), wizard(&service, chooser, [this](RepairStep step) { pending.push_back(step); }) {
    service.RegisterCallback(kRepairCallbackStepFinished, basekit::BindMethod(&WizardRun::OnReport, this));
    service.RegisterCallback(kRepairCallbackStatus, basekit::BindMethod(&WizardRun::OnStatus, this));
  }

  // Opens the wizard and lets the start-up recovery run.
  void Open() {
    wizard.Open();
    Step();
  }

  // Runs the next posted step; false when none is posted.
  bool Step() {
    if (pending.empty()) return false;
    RepairStep step = pending.front();
    pending.pop_front();
    service.RunStep(step);
    return true;
  }

  void Ticks(int n) {
    for (int i = 0; i < n; ++i) wizard.OnTick();
  }

  // Steps and ticks until nothing is posted and the bar has stopped.
  void RunToEnd() {
    do {
      Ticks(12);
    } while (Step());
    Ticks(12);
  }

  void OnReport(ServiceCallbackParam* param) {
    auto* report = static_cast<RepairServiceCallbackParam*>(param);
    if (wizard.OnStepReported(*report)) alerts.push_back(wizard.failure().cause);
  }
  void OnStatus(ServiceCallbackParam* param) {
    auto* status = static_cast<RepairStatusParam*>(param);
    if (status->stage == RepairStage::kTransferring) {
      wizard.OnUploadProgress(status->acknowledged, status->total);
      progress_seen.push_back(wizard.view().progress);
      amounts.push_back(wizard.view().amount);
    } else {
      wizard.OnStatus(status->stage, status->attempt);
    }
    statuses.push_back(wizard.view().status);
  }

  RepairService service;
  RepairWizard wizard;
  std::deque<RepairStep> pending;
  std::vector<RepairCause> alerts;
  std::vector<std::wstring> statuses;
  std::vector<int> progress_seen;
  std::vector<std::wstring> amounts;
};

void OneAdapter(FakeSystem& system) {
  system.AddAdapter(MakeAdapter("{0A}", "Ethernet", kMac1), L"Ethernet");
  system.firmware.image.assign(kImageSize, 0x5A);
}

// Where the bar and the status line stand through a whole repair.
TEST(RepairWizard, ProgressAndStagesThroughEveryStep) {
  FakeSystem system;
  OneAdapter(system);
  system.tftp.progress_steps = {512, 4300000, kImageSize};
  system.tftp.progress_step_ms = 60;
  LogCapture log;
  WizardRun run(system);
  const RepairWizard& w = run.wizard;
  run.Open();
  EXPECT_EQ(w.phase(), RepairWizard::Phase::kReady);
  EXPECT_TRUE(w.view().start_enabled);
  EXPECT_TRUE(w.view().notice.empty());

  struct Row {
    const char* event;
    std::function<void()> act;
    int progress;
    std::wstring status;
  } rows[] = {
      {"下一步", [&] { run.wizard.Start(); }, 0, L"正在准备…"},
      {"15 ticks: the first ceiling", [&] { run.Ticks(15); }, 100, L"正在准备…"},
      {"adapter query", [&] { run.Step(); }, 100, L"正在准备…"},
      {"link", [&] { run.Step(); }, 100, L"正在准备…"},
      {"5 ticks", [&] { run.Ticks(5); }, 100, L"正在准备…"},
      {"firewall", [&] { run.Step(); }, 100, L"正在准备…"},
      {"5 ticks: climbing", [&] { run.Ticks(5); }, 150, L"正在准备…"},
      {"15 ticks", [&] { run.Ticks(15); }, 200, L"正在准备…"},
      {"backup", [&] { run.Step(); }, 200, L"正在设置网卡地址…"},
      {"12 ticks", [&] { run.Ticks(12); }, 300, L"正在设置网卡地址…"},
      {"recovery address", [&] { run.Step(); }, 300, L"正在连接DEzed…"},
      {"12 ticks", [&] { run.Ticks(12); }, 400, L"正在连接DEzed…"},
      {"the box acknowledged 37 %", [&] { run.wizard.OnUploadProgress(2100000, kImageSize); }, 437, L"正在传输固件…"},
      {"an older count", [&] { run.wizard.OnUploadProgress(1000000, kImageSize); }, 437, L"正在传输固件…"},
      {"3 ticks: the upload sets the pace", [&] { run.Ticks(3); }, 437, L"正在传输固件…"},
      {"upload", [&] { run.Step(); }, 500, L"正在恢复网络设置…"},
      {"3 ticks", [&] { run.Ticks(3); }, 500, L"正在恢复网络设置…"},
      {"restore", [&] { run.Step(); }, 500, L"正在恢复网络设置…"},
      {"9 ticks", [&] { run.Ticks(9); }, 590, L"正在恢复网络设置…"},
  };
  for (const Row& row : rows) {
    row.act();
    EXPECT_EQ(w.view().progress, row.progress) << row.event;
    EXPECT_EQ(w.view().status, row.status) << row.event;
    EXPECT_EQ(w.view().page, WizardPage::kRepair) << row.event;
  }
  // During the upload: 400 to 500 in proportion, never backwards (the
  // first block's 0 % after 37 % changes nothing).
  EXPECT_EQ(run.progress_seen, (std::vector<int>{437, 476, 500}));
  EXPECT_EQ(run.amounts,
            (std::vector<std::wstring>{L"37%  2.1 / 5.6 MB", L"76%  4.3 / 5.6 MB", L"100%  5.6 / 5.6 MB"}));
  EXPECT_EQ(w.view().amount, L"100%  5.6 / 5.6 MB");
  EXPECT_TRUE(run.wizard.OnTick() == false);
  EXPECT_EQ(w.view().progress, 600);
  EXPECT_EQ(w.view().page, WizardPage::kDone);
  EXPECT_EQ(w.phase(), RepairWizard::Phase::kDone);
  EXPECT_TRUE(run.alerts.empty());
  EXPECT_FALSE(w.ShouldUndoOnClose());
}

TEST(RepairWizard, StatusWhileWaitingForTheCableAndConnecting) {
  FakeSystem system;
  OneAdapter(system);
  system.network.adapters[0].state.link_up = false;
  system.sleeper.on_sleep = [&] {
    if (system.sleeper.sleeps.size() == 4) system.network.adapters[0].state.link_up = true;
  };
  system.tftp.request_retries = 2;
  system.tftp.progress_steps = {kImageSize};
  WizardRun run(system);
  run.Open();
  run.wizard.Start();
  run.RunToEnd();
  EXPECT_EQ(run.wizard.view().page, WizardPage::kDone);
  const std::vector<std::wstring> wanted = {L"没有检测到网线，插好后会自动继续。", L"正在连接DEzed…",
                                            L"正在连接DEzed（第2次尝试）…", L"正在连接DEzed（第3次尝试）…",
                                            L"正在传输固件…"};
  size_t next = 0;
  for (const std::wstring& status : run.statuses) {
    if (next < wanted.size() && status == wanted[next]) ++next;
  }
  EXPECT_EQ(next, wanted.size()) << "the status line names each stage, in order";
}

struct FailureCase {
  const char* name;
  std::function<void(FakeSystem&)> fault;
  std::function<void(FakeSystem&)> mend;
  RepairCause cause;
  std::wstring heading;
  std::wstring cause_has;
  std::wstring next_has;
};

std::vector<FailureCase> FailureCases() {
  return {
      {"no wired adapter", [](FakeSystem& s) { s.adapters.records.clear(); },
       [](FakeSystem& s) { s.adapters.records = {MakeAdapter("{0A}", "Ethernet", kMac1)}; },
       RepairCause::kNoWiredAdapter, L"修复失败", L"没有找到有线网卡", L"有线网卡已启用"},
      {"recovery address", [](FakeSystem& s) { s.network.refused = {L"192.168.1.111"}; },
       [](FakeSystem& s) { s.network.refused.clear(); }, RepairCause::kRecoveryAddressNotSet, L"修复失败",
       L"192.168.1.111", L"网卡已启用"},
      {"silent box", [](FakeSystem& s) { s.tftp.outcome = TftpOutcome::kRequestUnanswered; },
       [](FakeSystem& s) { s.tftp.outcome.reset(); }, RepairCause::kBoxNotAnswering, L"修复失败", L"没有响应",
       L"修复模式"},
      {"link cut at 40 %",
       [](FakeSystem& s) {
         s.tftp.outcome = TftpOutcome::kNoReply;
         s.tftp.acknowledged = 2260000;
         s.tftp.during_send = [&s] { s.network.adapters[0].state.link_up = false; };
       },
       [](FakeSystem& s) {
         s.tftp.outcome.reset();
         s.tftp.during_send = nullptr;
         s.network.adapters[0].state.link_up = true;
       },
       RepairCause::kCableUnplugged, L"修复失败", L"传输到40%时，网线连接断开了", L"插好网线"},
      {"box quiet at 40 %",
       [](FakeSystem& s) {
         s.tftp.outcome = TftpOutcome::kNoReply;
         s.tftp.acknowledged = 2260000;
       },
       [](FakeSystem& s) { s.tftp.outcome.reset(); }, RepairCause::kConnectionLost, L"修复失败",
       L"传输到40%时，与DEzed的连接中断了", L"没有断电"},
      {"refusing box",
       [](FakeSystem& s) {
         s.tftp.outcome = TftpOutcome::kServerError;
         s.tftp.error_code = 0;
         s.tftp.error_text = "Image rejected: bad header";
       },
       [](FakeSystem& s) { s.tftp.outcome.reset(); }, RepairCause::kBoxRefused, L"修复失败",
       L"Image rejected: bad header", L"重新启动DEzed"},
      {"last block unconfirmed", [](FakeSystem& s) { s.tftp.outcome = TftpOutcome::kLastBlockUnconfirmed; },
       [](FakeSystem& s) { s.tftp.outcome.reset(); }, RepairCause::kLastBlockUnconfirmed, L"修复结果未确认",
       L"没有确认收到最后一部分", L"请不要断电"},
      {"restore refused", [](FakeSystem& s) { s.network.refused = {L" dhcp"}; },
       [](FakeSystem& s) { s.network.refused.clear(); }, RepairCause::kRestoreFailed, L"修复失败",
       L"固件已写入DEzed，但网络设置未能恢复", L"“Ethernet”的IPv4属性，改回“自动获得IP地址”"},
      {"journal not written", [](FakeSystem& s) { s.journal.fail_writes = true; },
       [](FakeSystem& s) { s.journal.fail_writes = false; }, RepairCause::kJournalNotWritten, L"修复失败",
       L"电脑的设置保持原样", L"以管理员身份运行"},
      {"firmware missing", [](FakeSystem& s) { s.firmware.available = false; },
       [](FakeSystem& s) { s.firmware.available = true; }, RepairCause::kFirmwareMissing, L"修复失败", L"找不到固件",
       L"重新下载"},
  };
}

// Each cause reaches the failure face with its sentence and its next step,
// the alert comes once, the bar stays; "重试" after the fault has gone
// runs the whole repair again and ends on page 3.
TEST(RepairWizard, EachFailureThenRetry) {
  for (const FailureCase& c : FailureCases()) {
    FakeSystem system;
    OneAdapter(system);
    c.fault(system);
    LogCapture log;
    WizardRun run(system);
    run.Open();
    ASSERT_TRUE(run.wizard.Start()) << c.name;
    run.RunToEnd();
    const WizardView& view = run.wizard.view();
    EXPECT_EQ(run.wizard.phase(), RepairWizard::Phase::kFailed) << c.name;
    EXPECT_EQ(run.alerts, std::vector<RepairCause>{c.cause}) << c.name;
    EXPECT_EQ(view.page, WizardPage::kRepair) << c.name;
    EXPECT_TRUE(view.failure_face) << c.name;
    EXPECT_EQ(view.heading, c.heading) << c.name;
    EXPECT_NE(view.cause.find(c.cause_has), std::wstring::npos) << c.name;
    EXPECT_NE(view.next_step.find(c.next_has), std::wstring::npos) << c.name;
    EXPECT_FALSE(run.wizard.timer_wanted()) << c.name;
    const int frozen = view.progress;
    run.Ticks(20);
    EXPECT_EQ(view.progress, frozen) << c.name << ": the bar stays where it stopped";
    EXPECT_TRUE(log.Contains("wizard shows: " + WideToGbk(view.heading) + " " + WideToGbk(view.cause) + " " +
                             WideToGbk(view.next_step)))
        << c.name;
    EXPECT_TRUE(system.network.rules.empty()) << c.name;
    EXPECT_FALSE(run.wizard.ShouldUndoOnClose()) << c.name << ": the clean-up already ran";

    c.mend(system);
    const size_t sent_before = system.tftp.sent.size();
    ASSERT_TRUE(run.wizard.Start()) << c.name << ": 重试";
    EXPECT_EQ(view.progress, 0) << c.name;
    EXPECT_FALSE(view.failure_face) << c.name;
    EXPECT_EQ(view.heading, L"正在修复...") << c.name;
    run.RunToEnd();
    EXPECT_EQ(view.page, WizardPage::kDone) << c.name;
    EXPECT_EQ(system.tftp.sent.size(), sent_before + 1) << c.name;
    EXPECT_TRUE(system.network.rules.empty()) << c.name;
    EXPECT_EQ(system.network.adapters[0].state.addresses[0].address, "10.20.30.40") << c.name;
    EXPECT_FALSE(system.journal.file.has_value()) << c.name;
    EXPECT_EQ(run.alerts.size(), 1u) << c.name;
  }
}

TEST(RepairWizard, EveryCauseHasItsWords) {
  const RepairCause causes[] = {
      RepairCause::kNoWiredAdapter,         RepairCause::kNoAdapterChosen,    RepairCause::kFirewallRuleNotAdded,
      RepairCause::kRecoveryAddressNotSet,  RepairCause::kBoxNotAnswering,    RepairCause::kConnectionLost,
      RepairCause::kCableUnplugged,         RepairCause::kBoxRefused,         RepairCause::kLastBlockUnconfirmed,
      RepairCause::kFirmwareMissing,        RepairCause::kNetworkUnavailable, RepairCause::kRestoreFailed,
      RepairCause::kFirewallRuleNotDeleted, RepairCause::kJournalNotWritten,
  };
  for (RepairCause cause : causes) {
    RepairFailure failure;
    failure.cause = cause;
    EXPECT_FALSE(CauseText(failure).empty()) << CauseName(cause);
    EXPECT_FALSE(NextStepText(failure).empty()) << CauseName(cause);
  }
  // What the box said is shown as printable text, cut to one line.
  RepairFailure refused;
  refused.cause = RepairCause::kBoxRefused;
  refused.server_text = std::string("bad\x01\x7F header ") + std::string(80, 'x');
  const std::wstring text = CauseText(refused);
  EXPECT_NE(text.find(L"bad header xxx"), std::wstring::npos);
  EXPECT_NE(text.find(L"…"), std::wstring::npos);
  EXPECT_LT(text.size(), 60u);
  refused.server_text.clear();
  refused.server_code = 3;
  EXPECT_EQ(CauseText(refused), L"DEzed拒绝接收固件（错误3）。");
  // A static adapter to set back by hand.
  RepairFailure manual;
  manual.cause = RepairCause::kRestoreFailed;
  manual.connection_name = L"本地连接";
  manual.settings = {false, "192.168.0.10", "255.255.255.0", "192.168.0.1"};
  EXPECT_EQ(NextStepText(manual),
            L"请把“本地连接”的IPv4地址改回192.168.0.10，子网掩码255.255.255.0，网关192.168.0.1。");
}

TEST(RepairWizard, AmountText) {
  struct Case {
    size_t acknowledged, total;
    std::wstring text;
  } cases[] = {
      {0, kImageSize, L"0%  0.0 / 5.6 MB"},
      {kImageSize - 1, kImageSize, L"99%  5.6 / 5.6 MB"},
      {kImageSize, kImageSize, L"100%  5.6 / 5.6 MB"},
      {99999, 100000, L"99%  0.0 / 0.1 MB"},
      {7, 0, L""},
  };
  for (const Case& c : cases) EXPECT_EQ(AmountText(c.acknowledged, c.total), c.text);
}

// A close at each point: what the journal still records is undone after
// the repair thread stopped, and the PC ends as it began. During and after
// the clean-up nothing more is run by the close itself.
TEST(RepairWizard, CloseAtEachStage) {
  for (int steps_run = 0; steps_run <= 7; ++steps_run) {
    FakeSystem system;
    OneAdapter(system);
    system.tftp.outcome = TftpOutcome::kNoReply;  // the 6th step fails, the 7th cleans up
    WizardRun run(system);
    run.Open();
    run.wizard.Start();
    for (int i = 0; i < steps_run; ++i) run.Step();
    const RepairWizard::Phase phase = run.wizard.phase();
    // The window: hide, stop the thread (the step in progress ends), undo.
    if (run.wizard.ShouldUndoOnClose() && run.service.has_pending_changes()) run.service.UndoChanges();
    while (phase == RepairWizard::Phase::kCleaningUp && run.Step()) {
    }
    const std::string name = "closed after " + std::to_string(steps_run) + " steps";
    EXPECT_EQ(run.wizard.ShouldUndoOnClose(), phase == RepairWizard::Phase::kRunning) << name;
    EXPECT_TRUE(system.network.rules.empty()) << name;
    EXPECT_EQ(system.network.adapters[0].state.addresses[0].address, "10.20.30.40") << name;
    EXPECT_TRUE(system.network.adapters[0].state.dhcp_enabled) << name;
    EXPECT_FALSE(system.journal.file.has_value()) << name;
  }
}

// At start: the notice about an unfinished earlier repair.
TEST(RepairWizard, NoticeAfterTheStartUpRecovery) {
  struct Case {
    const char* name;
    bool journal;
    bool foreign;
    bool refuse;
    bool hang_rule_deletion;
    std::wstring notice;
    bool warning;
  } cases[] = {
      {"nothing found", false, false, false, false, L"", false},
      {"put back", true, false, false, false, L"上次修复没有完成，网络设置已恢复原样。", false},
      {"not the program's", true, true, false, false,
       L"发现一份不是本程序留下的修复记录，已忽略，没有据此改动电脑的设置。", false},
      {"could not be put back", true, false, true, false,
       L"上次修复改动的网络设置未能恢复。请在“网络连接”中打开“Ethernet”的IPv4属性，改回“自动获得IP地址”。", true},
      {"rule left", true, false, false, true,
       L"上次修复添加的防火墙规则未能删除。规则名为“VA Rovade Varoza”。请重新打开本程序，它会再次删除；"
       L"也可以在Windows防火墙的入站规则中手动删除。",
       true},
  };
  for (const Case& c : cases) {
    FakeSystem system;
    system.AddAdapter(MakeAdapter("{0A}", "Ethernet", kMac1, 0, "192.168.1.111", "255.255.255.0"), L"Ethernet");
    if (c.journal) {
      system.journal.file =
          "DEzed repair journal\r\nformat=1\r\nfirewall-rule=VA Rovade Varoza\r\nadapter={0A}\r\n"
          "mac=00-1A-2B-3C-4D-5E\r\nconnection=Ethernet\r\nbefore=dhcp\r\nend\r\n";
    }
    system.journal.foreign = c.foreign;
    if (c.refuse) system.network.refused = {L" dhcp"};
    if (c.hang_rule_deletion) system.HangRuleDeletion();
    WizardRun run(system);
    run.wizard.Open();
    EXPECT_FALSE(run.wizard.view().start_enabled) << c.name << ": 下一步 waits for the recovery";
    EXPECT_FALSE(run.wizard.Start()) << c.name;
    run.Step();
    EXPECT_TRUE(run.wizard.view().start_enabled) << c.name;
    EXPECT_EQ(run.wizard.view().notice, c.notice) << c.name;
    EXPECT_EQ(run.wizard.view().notice_warning, c.warning) << c.name;
    EXPECT_TRUE(run.wizard.Start()) << c.name << ": a repair may still be started";
  }
}

}  // namespace
}  // namespace repair

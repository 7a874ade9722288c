#include "forms/repair_form.h"

#include <algorithm>

#include "basekit/log/log.h"
#include "forms/adapter_form.h"
#include "forms/app_window.h"
#include "forms/confirm_form.h"
#include "forms/skin_archive.h"
#include "repair/repair_service.h"
#include "uiframework/controls/button.h"
#include "uiframework/controls/progress.h"

namespace forms {

namespace {

constexpr const char* kLogSource = "repair";
constexpr const wchar_t kFailureTitle[] =
    L"\u74e6\u5ddd"
    L"QX";                                                                // 瓦川QX
constexpr const wchar_t kFailureMessage[] = L"\u4fee\u590d\u5931\u8d25";  // 修复失败
// The progress timer's id and period; the bar climbs 10 a tick up to
// (last step reported + 1) × 100, on a scale of 600.
constexpr UINT_PTR kProgressTimerId = 2;
constexpr UINT kProgressTimerMs = 100;
constexpr int kProgressPerTick = 10;
constexpr int kProgressPerStep = 100;
constexpr int kProgressMax = 600;

// The progress timer's tick count, for the whole process.
int32_t g_ticks = 1;

// The step a step method is (the one that follows the step before it).
int32_t StepOf(repair::RepairStepMethod method) {
  for (int32_t step = repair::kStepFirewall; step < repair::kStepRestore; ++step) {
    if (repair::NextRepairStep(step) == method) return step + 1;
  }
  return -1;
}

template <typename T>
T* Find(Veneer::CPaintHostUI& host, const wchar_t* name, const wchar_t* interface_name) {
  Veneer::CControlUI* control = host.FindControl(std::wstring(name));
  T* typed = control != nullptr ? static_cast<T*>(control->GetInterface(interface_name)) : nullptr;
  if (typed == nullptr) {
    BASEKIT_LOG(Lookup, "the wizard's skin has no %ls", name);
  }
  return typed;
}

}  // namespace

CRepairForm::CRepairForm(repair::RepairService* service)
    : service_(service != nullptr ? service : repair::RepairService::GetInstance()) {
  chain_ = std::make_unique<repair::RepairStepChain>(service_, this, [this](repair::RepairStepMethod step) {
    posted_step_ = std::max(posted_step_, StepOf(step));
    service_->PostStep(step);
  });
}

CRepairForm::~CRepairForm() = default;

int CRepairForm::GetResourceID() const { return kSkinArchiveId; }

void CRepairForm::InitWindow() {
  start_button_ = Find<Veneer::CButtonUI>(host_, L"repair_btn_step1", L"Button");
  close_button_ = Find<Veneer::CButtonUI>(host_, L"repair_btn_close", L"Button");
  done_button_ = Find<Veneer::CButtonUI>(host_, L"repair_btn_step3", L"Button");
  page1_ = Find<Veneer::CControlUI>(host_, L"repair_step1", L"ChildLayout");
  page2_ = Find<Veneer::CControlUI>(host_, L"repair_step2", L"ChildLayout");
  page3_ = Find<Veneer::CControlUI>(host_, L"repair_step3", L"ChildLayout");
  progress_ = Find<Veneer::CProgressUI>(host_, L"repair_progress", L"Progress");
  if (progress_ != nullptr) progress_->SetMaxValue(kProgressMax);
  service_->StartThread();
  report_callback_ = basekit::BindMethod(&CRepairForm::OnServiceReport, this);
  service_->RegisterCallback(repair::kRepairCallbackStepFinished, report_callback_);
}

void CRepairForm::OnServiceReport(repair::ServiceCallbackParam* param) {
  auto* report = dynamic_cast<repair::RepairServiceCallbackParam*>(param);
  if (report == nullptr) return;
  ::PostMessageW(hwnd_, kMsgStepReport, static_cast<WPARAM>(report->result), static_cast<LPARAM>(report->step));
}

void CRepairForm::Notify(Veneer::NotifyMsg& msg) {
  if (msg.type != L"click" || msg.sender == nullptr) return;
  if (msg.sender == start_button_) {
    if (page1_ != nullptr) page1_->SetVisible(false);
    if (page2_ != nullptr) page2_->SetVisible(true);
    ::SetTimer(hwnd_, kProgressTimerId, kProgressTimerMs, nullptr);
    started_ = true;
    posted_step_ = repair::kStepFirewall;
    service_->StartRepair();
  } else if (msg.sender == close_button_ || msg.sender == done_button_) {
    PostMessage(WM_CLOSE, 0, 0);
  }
}

LRESULT CRepairForm::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_TIMER) {
    bool handled = true;
    const LRESULT result = OnTick(wparam, handled);
    if (handled) return result;
  } else if (message == kMsgStepReport) {
    return OnReport(wparam, lparam);
  }
  return CFramelessForm::HandleMessage(message, wparam, lparam);
}

LRESULT CRepairForm::OnTick(WPARAM timer, bool& handled) {
  if (timer != kProgressTimerId || progress_ == nullptr) {
    handled = false;
    return 0;
  }
  progress_->SetValue(g_ticks * kProgressPerTick);
  if (progress_->GetValue() < (last_step_ + 1) * kProgressPerStep) ++g_ticks;
  if (progress_->GetValue() == kProgressMax) {
    ::KillTimer(hwnd_, kProgressTimerId);
    if (page2_ != nullptr) page2_->SetVisible(false);
    if (page3_ != nullptr) page3_->SetVisible(true);
    if (close_button_ != nullptr) close_button_->SetEnabled(true);
  }
  return 0;
}

LRESULT CRepairForm::OnReport(WPARAM result, LPARAM step) {
  last_step_ = static_cast<int32_t>(step);
  if (result != 0) {
    chain_->OnStepReported(1, last_step_);
    return 0;
  }
  ::KillTimer(hwnd_, kProgressTimerId);  // the bar stays where it is
  failed_ = true;
  chain_->OnStepReported(0, last_step_);  // undoes what the failed step leaves behind
  Alert(hwnd_, kFailureTitle, kFailureMessage);
  return 0;
}

int32_t CRepairForm::ChooseAdapter(const IP_ADAPTER_INFO* table, int32_t count) {
  CAdapterForm picker(table, count);
  if (CreateAppWindow(picker, hwnd_) == nullptr) {
    BASEKIT_LOG(Failure, "the adapter picker was not created");
    return -1;
  }
  picker.CenterWindow();
  picker.ShowModal(SW_SHOWNORMAL);
  return picker.chosen();
}

LRESULT CRepairForm::OnClose(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;  // the window base destroys the window
  ::ShowWindow(hwnd_, SW_HIDE);
  service_->Shutdown();
  UndoAfterClose();
  return 0;
}

void CRepairForm::UndoAfterClose() {
  if (!started_) return;
  // Reports the repair thread posted before it ended.
  bool restored = false;
  MSG message;
  while (::PeekMessageW(&message, hwnd_, kMsgStepReport, kMsgStepReport, PM_REMOVE)) {
    const auto step = static_cast<int32_t>(message.lParam);
    if (message.wParam != 0 && step == repair::kStepRestore) restored = true;
    if (message.wParam == 0 && step > repair::kStepModify) posted_step_ = std::max(posted_step_, step);
  }
  if (failed_ || chain_->state() != repair::RepairStepChain::State::kRunning || restored) return;
  if (posted_step_ >= repair::kStepModify) {
    BASEKIT_LOG(Progress, "closed during the repair: restoring the network settings");
    service_->RestoreNetworkSettings2();
  } else {
    BASEKIT_LOG(Progress, "closed during the repair: deleting the firewall rule");
    service_->DeleteFirewallRule();
  }
}

void CRepairForm::OnFinalMessage(HWND) { PostQuitMessage(0); }

}  // namespace forms

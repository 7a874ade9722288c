#include "forms/repair_form.h"

#include "basekit/log/log.h"
#include "forms/adapter_form.h"
#include "forms/app_window.h"
#include "forms/confirm_form.h"
#include "forms/skin_archive.h"
#include "repair/repair_service.h"
#include "repair/wizard_texts.h"
#include "uiframework/controls/button.h"
#include "uiframework/controls/label.h"
#include "uiframework/controls/progress.h"

namespace forms {

namespace {

constexpr const char* kLogSource = "repair";
// The progress timer's id and period.
constexpr UINT_PTR kProgressTimerId = 2;
constexpr UINT kProgressTimerMs = 100;
constexpr const wchar_t kFailureTitle[] =
    L"\u74e6\u5ddd"
    L"QX";  // 瓦川QX
// Page 1's notice: plain news, or something the user must do.
constexpr uint32_t kNoticeColor = 0xFF8FE3D9;
constexpr uint32_t kWarningColor = 0xFFF2B84B;
// Page 2's heading: calm while it runs, warm when it failed.
constexpr uint32_t kHeadingColor = 0xFF6F799D;
constexpr uint32_t kFailedHeadingColor = 0xFFF2B84B;

template <typename T>
T* Find(Veneer::CPaintHostUI& host, const wchar_t* name, const wchar_t* interface_name) {
  Veneer::CControlUI* control = host.FindControl(std::wstring(name));
  T* typed = control != nullptr ? static_cast<T*>(control->GetInterface(interface_name)) : nullptr;
  if (typed == nullptr) {
    BASEKIT_LOG(Lookup, "the wizard's skin has no %ls", name);
  }
  return typed;
}

void Show(Veneer::CControlUI* control, bool visible) {
  if (control != nullptr && control->IsVisible() != visible) control->SetVisible(visible);
}

void SetText(Veneer::CControlUI* control, const std::wstring& text) {
  if (control != nullptr && control->GetText() != text) control->SetText(text);
}

void SetColor(Veneer::CLabelUI* label, uint32_t color) {
  if (label != nullptr && label->GetTextColor() != color) label->SetTextColor(color);
}

}  // namespace

CRepairForm::CRepairForm(repair::RepairService* service)
    : service_(service != nullptr ? service : repair::RepairService::GetInstance()) {
  wizard_ = std::make_unique<repair::RepairWizard>(service_, this,
                                                   [this](repair::RepairStepMethod step) { service_->PostStep(step); });
}

CRepairForm::~CRepairForm() = default;

int CRepairForm::GetResourceID() const { return kSkinArchiveId; }

void CRepairForm::InitWindow() {
  start_button_ = Find<Veneer::CButtonUI>(host_, L"repair_btn_step1", L"Button");
  close_button_ = Find<Veneer::CButtonUI>(host_, L"repair_btn_close", L"Button");
  done_button_ = Find<Veneer::CButtonUI>(host_, L"repair_btn_step3", L"Button");
  retry_button_ = Find<Veneer::CButtonUI>(host_, L"repair_btn_retry", L"Button");
  quit_button_ = Find<Veneer::CButtonUI>(host_, L"repair_btn_quit", L"Button");
  page1_ = Find<Veneer::CControlUI>(host_, L"repair_step1", L"ChildLayout");
  page2_ = Find<Veneer::CControlUI>(host_, L"repair_step2", L"ChildLayout");
  page3_ = Find<Veneer::CControlUI>(host_, L"repair_step3", L"ChildLayout");
  notice_ = Find<Veneer::CLabelUI>(host_, L"repair_notice", L"Label");
  heading_ = Find<Veneer::CLabelUI>(host_, L"repair_heading", L"Label");
  status_ = Find<Veneer::CLabelUI>(host_, L"repair_status", L"Label");
  amount_ = Find<Veneer::CLabelUI>(host_, L"repair_amount", L"Label");
  status_row_ = Find<Veneer::CControlUI>(host_, L"repair_status_row", L"HorizontalLayout");
  progress_ = Find<Veneer::CProgressUI>(host_, L"repair_progress", L"Progress");
  failure_ = Find<Veneer::CControlUI>(host_, L"repair_failure", L"VerticalLayout");
  failure_buttons_ = Find<Veneer::CControlUI>(host_, L"repair_failure_buttons", L"HorizontalLayout");
  cause_ = Find<Veneer::CLabelUI>(host_, L"repair_cause", L"Label");
  next_step_ = Find<Veneer::CLabelUI>(host_, L"repair_next", L"Label");
  if (progress_ != nullptr) progress_->SetMaxValue(repair::kProgressMax);
  if (!log_notice_.empty()) {
    Veneer::CLabelUI* log_notice = Find<Veneer::CLabelUI>(host_, L"repair_log_notice", L"Label");
    SetText(log_notice, log_notice_);
    Show(log_notice, true);
  }
  service_->StartThread();
  report_callback_ = basekit::BindMethod(&CRepairForm::OnServiceReport, this);
  service_->RegisterCallback(repair::kRepairCallbackStepFinished, report_callback_);
  status_callback_ = basekit::BindMethod(&CRepairForm::OnServiceStatus, this);
  service_->RegisterCallback(repair::kRepairCallbackStatus, status_callback_);
  // What an unfinished earlier repair left is put back before the user can
  // start another.
  wizard_->Open();
  Render();
}

void CRepairForm::OnServiceReport(repair::ServiceCallbackParam* param) {
  auto* report = dynamic_cast<repair::RepairServiceCallbackParam*>(param);
  if (report == nullptr) return;
  ::PostMessageW(hwnd_, kMsgStepReport, static_cast<WPARAM>(report->result), static_cast<LPARAM>(report->step));
}

void CRepairForm::OnServiceStatus(repair::ServiceCallbackParam* param) {
  auto* status = dynamic_cast<repair::RepairStatusParam*>(param);
  if (status == nullptr) return;
  if (status->stage == repair::RepairStage::kTransferring) {
    ::PostMessageW(hwnd_, kMsgUploadProgress, static_cast<WPARAM>(status->acknowledged),
                   static_cast<LPARAM>(status->total));
  } else {
    ::PostMessageW(hwnd_, kMsgStage, static_cast<WPARAM>(status->stage), static_cast<LPARAM>(status->attempt));
  }
}

void CRepairForm::Notify(Veneer::NotifyMsg& msg) {
  if (msg.type != L"click" || msg.sender == nullptr) return;
  if (msg.sender == start_button_ || msg.sender == retry_button_) {
    Start();
  } else if (msg.sender == close_button_ || msg.sender == done_button_ || msg.sender == quit_button_) {
    PostMessage(WM_CLOSE, 0, 0);
  }
}

void CRepairForm::Start() {
  if (!wizard_->Start()) return;
  BASEKIT_LOG(Progress, "wizard: repair started");
  Render();
}

LRESULT CRepairForm::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_TIMER: {
      bool handled = true;
      const LRESULT result = OnTick(wparam, handled);
      if (handled) return result;
      break;
    }
    case kMsgStepReport:
      return OnReport(wparam, lparam);
    case kMsgStage:
      wizard_->OnStatus(static_cast<repair::RepairStage>(wparam), static_cast<int32_t>(lparam));
      Render();
      return 0;
    case kMsgUploadProgress:
      wizard_->OnUploadProgress(static_cast<uint32_t>(wparam), static_cast<uint32_t>(lparam));
      Render();
      return 0;
    default:
      break;
  }
  return CFramelessForm::HandleMessage(message, wparam, lparam);
}

LRESULT CRepairForm::OnTick(WPARAM timer, bool& handled) {
  if (timer != kProgressTimerId) {
    handled = false;
    return 0;
  }
  wizard_->OnTick();
  Render();
  return 0;
}

LRESULT CRepairForm::OnReport(WPARAM result, LPARAM step) {
  const bool failed = wizard_->OnStepReported(static_cast<int32_t>(result), static_cast<int32_t>(step));
  Render();
  if (failed) {
    Alert(hwnd_, kFailureTitle, repair::AlertMessage(wizard_->failure().cause));
  }
  return 0;
}

void CRepairForm::Render() {
  const repair::WizardView& view = wizard_->view();
  Show(page1_, view.page == repair::WizardPage::kStart);
  Show(page2_, view.page == repair::WizardPage::kRepair);
  Show(page3_, view.page == repair::WizardPage::kDone);
  if (start_button_ != nullptr && start_button_->IsEnabled() != view.start_enabled) {
    start_button_->SetEnabled(view.start_enabled);
  }
  SetText(notice_, view.notice);
  Show(notice_, !view.notice.empty());
  SetColor(notice_, view.notice_warning ? kWarningColor : kNoticeColor);
  SetText(heading_, view.heading);
  SetColor(heading_, view.failure_face ? kFailedHeadingColor : kHeadingColor);
  Show(status_row_, !view.failure_face);
  Show(progress_, !view.failure_face);
  SetText(status_, view.status);
  SetText(amount_, view.amount);
  Show(amount_, !view.amount.empty());
  if (progress_ != nullptr && progress_->GetValue() != view.progress) progress_->SetValue(view.progress);
  Show(failure_, view.failure_face);
  Show(failure_buttons_, view.failure_face);
  SetText(cause_, view.cause);
  SetText(next_step_, view.next_step);

  const bool wanted = wizard_->timer_wanted();
  if (wanted && !timer_running_) {
    ::SetTimer(hwnd_, kProgressTimerId, kProgressTimerMs, nullptr);
  } else if (!wanted && timer_running_) {
    ::KillTimer(hwnd_, kProgressTimerId);  // the bar stays where it is
  }
  timer_running_ = wanted;
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
  handled = false;
  ::ShowWindow(hwnd_, SW_HIDE);
  // Ends the waits that may last and waits for the step in progress.
  service_->Shutdown();
  if (wizard_->ShouldUndoOnClose() && service_->has_pending_changes()) {
    BASEKIT_LOG(Progress, "closed during the repair: restoring the network settings");
    service_->UndoChanges();
  }
  return 0;
}

void CRepairForm::OnFinalMessage(HWND) { PostQuitMessage(0); }

}  // namespace forms

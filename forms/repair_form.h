#pragma once

// The repair wizard: the program's main window. Page 1 offers the start
// button (and says what the start-up found of an unfinished earlier
// repair); page 2 shows the progress bar, what is happening now and how
// far the upload is, and, when the repair failed, why and what to do, with
// "重试" and "关闭"; page 3 reports success. What the pages show comes from
// the engine's RepairWizard; the window feeds it the messages the repair
// thread posts (step reports, stages, upload progress), the timer's ticks
// and the user's presses, and shows its view.
//
// Closing the window is honoured at any time: it hides at once, waits for
// the step in progress, and then undoes what the repair changed and has
// not put back yet before the program ends.
//
// Thread affinity: UI thread, except OnServiceReport and OnServiceStatus
// (repair thread), which only post messages.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "forms/frameless_form.h"
#include "repair/repair_step_chain.h"
#include "repair/repair_wizard.h"
#include "repair/service.h"

namespace Veneer {
class CButtonUI;
class CLabelUI;
class CProgressUI;
}  // namespace Veneer

namespace forms {

// A step report: wParam the result, lParam the step.
inline constexpr UINT kMsgStepReport = WM_USER + 1;
// A stage: wParam the RepairStage, lParam the attempt.
inline constexpr UINT kMsgStage = WM_USER + 2;
// Upload progress: wParam the bytes acknowledged, lParam the total.
inline constexpr UINT kMsgUploadProgress = WM_USER + 3;

class CRepairForm : public CFramelessForm, public repair::AdapterChooser {
 public:
  // The window drives `service` (the process's by default).
  explicit CRepairForm(repair::RepairService* service = nullptr);
  ~CRepairForm() override;

  // Page 1's line about the log, empty for none; set before the window is
  // created.
  void SetLogNotice(std::wstring text) { log_notice_ = std::move(text); }

  void InitWindow() override;
  void Notify(Veneer::NotifyMsg& msg) override;
  // Shows the adapter picker modally over this window.
  int32_t ChooseAdapter(const IP_ADAPTER_INFO* table, int32_t count) override;

 protected:
  const wchar_t* GetWindowClassName() const override { return L"QX_REPAIR"; }
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  // Posts the quit message (exit code 0); nothing else.
  void OnFinalMessage(HWND window) override;
  std::wstring GetSkinFolder() override { return std::wstring(); }
  std::wstring GetSkinFile() override { return L"repair.xml"; }
  int GetResourceType() const override { return kResourceZip; }
  int GetResourceID() const override;
  // Every close request is carried out (see above).
  LRESULT OnClose(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) override;

 private:
  // Repair thread: each only posts a message and touches nothing else.
  void OnServiceReport(repair::ServiceCallbackParam* param);
  void OnServiceStatus(repair::ServiceCallbackParam* param);
  LRESULT OnTick(WPARAM timer, bool& handled);
  LRESULT OnReport(WPARAM result, LPARAM step);
  void Start();
  // Shows the wizard's view; keeps the timer running while it is wanted.
  void Render();

  repair::RepairService* service_;
  std::unique_ptr<repair::RepairWizard> wizard_;
  Veneer::CButtonUI* start_button_ = nullptr;
  Veneer::CButtonUI* close_button_ = nullptr;
  Veneer::CButtonUI* done_button_ = nullptr;
  Veneer::CButtonUI* retry_button_ = nullptr;
  Veneer::CButtonUI* quit_button_ = nullptr;
  Veneer::CControlUI* page1_ = nullptr;
  Veneer::CControlUI* page2_ = nullptr;
  Veneer::CControlUI* page3_ = nullptr;
  Veneer::CLabelUI* notice_ = nullptr;
  Veneer::CLabelUI* heading_ = nullptr;
  Veneer::CLabelUI* status_ = nullptr;
  Veneer::CLabelUI* amount_ = nullptr;
  Veneer::CControlUI* status_row_ = nullptr;
  Veneer::CProgressUI* progress_ = nullptr;
  Veneer::CControlUI* failure_ = nullptr;
  Veneer::CControlUI* failure_buttons_ = nullptr;
  Veneer::CLabelUI* cause_ = nullptr;
  Veneer::CLabelUI* next_step_ = nullptr;
  repair::ServiceCallback report_callback_;
  repair::ServiceCallback status_callback_;
  bool timer_running_ = false;
  std::wstring log_notice_;
};

}  // namespace forms

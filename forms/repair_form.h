#pragma once

// The repair wizard: the program's main window. Page 1 offers the start
// button; page 2 shows the progress bar while the repair runs on the
// repair thread; page 3 reports success. Each step report arrives as the
// message kMsgStepReport (posted from the repair thread), and the window
// applies the engine's step chain to it: the adapter picker after the
// adapter query when there are several candidates, the next step posted,
// or the end (the clean-up and the alert "修复失败" after a failure).
//
// Closing the window is honoured at any time: it hides at once, waits for
// the step in progress, and then undoes what the repair changed and has
// not put back yet (the firewall rule, the adapter's address) before the
// program ends.
//
// Thread affinity: UI thread, except OnServiceReport (repair thread).

#include <cstdint>
#include <memory>
#include <string>

#include "forms/frameless_form.h"
#include "repair/repair_step_chain.h"
#include "repair/service.h"

namespace Veneer {
class CButtonUI;
class CChildLayoutUI;
class CProgressUI;
}  // namespace Veneer

namespace forms {

// A step report: wParam the result, lParam the step.
inline constexpr UINT kMsgStepReport = WM_USER + 1;
class CRepairForm : public CFramelessForm, public repair::AdapterChooser {
 public:
  // The window drives `service` (the process's by default).
  explicit CRepairForm(repair::RepairService* service = nullptr);
  ~CRepairForm() override;

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
  // Repair thread: posts kMsgStepReport and touches nothing else.
  void OnServiceReport(repair::ServiceCallbackParam* param);
  LRESULT OnTick(WPARAM wparam, bool& handled);
  LRESULT OnReport(WPARAM result, LPARAM step);
  // After the repair thread has stopped: what a step reported meanwhile is
  // taken in, and what the repair changed and did not put back is undone.
  void UndoAfterClose();

  repair::RepairService* service_;
  std::unique_ptr<repair::RepairStepChain> chain_;
  Veneer::CButtonUI* start_button_ = nullptr;
  Veneer::CButtonUI* close_button_ = nullptr;
  Veneer::CButtonUI* done_button_ = nullptr;
  Veneer::CControlUI* page1_ = nullptr;
  Veneer::CControlUI* page2_ = nullptr;
  Veneer::CControlUI* page3_ = nullptr;
  Veneer::CProgressUI* progress_ = nullptr;
  repair::ServiceCallback report_callback_;
  // The step of the latest report: the progress bar climbs to its ceiling.
  int32_t last_step_ = 0;
  bool failed_ = false;
  bool started_ = false;
  // The highest step posted to the repair thread (-1: none).
  int32_t posted_step_ = -1;
};

}  // namespace forms

#pragma once

// The program's message box: a small modal skinned dialog with a title
// line, a message and a "关闭" button ("common_alert_box.xml"). Alert()
// shows one and returns when the user has closed it (either button, Esc
// or the system's close command).
//
// Thread affinity: UI thread only.

#include <string>

#include "forms/frameless_form.h"

namespace forms {

class ConfirmForm : public CFramelessForm {
 public:
  ConfirmForm();
  void Notify(Veneer::NotifyMsg& msg) override;

 protected:
  const wchar_t* GetWindowClassName() const override { return L"Confirm"; }
  std::wstring GetSkinFolder() override { return std::wstring(); }
  std::wstring GetSkinFile() override { return L"common_alert_box.xml"; }
  int GetResourceType() const override { return kResourceZip; }
  int GetResourceID() const override;
};

// Shows the alert over `owner` (or without one) modally; the owner is
// disabled meanwhile.
void Alert(HWND owner, const std::wstring& title, const std::wstring& message);

}  // namespace forms

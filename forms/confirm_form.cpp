#include "forms/confirm_form.h"

#include "basekit/log/log.h"
#include "forms/skin_archive.h"
#include "uiframework/core/control.h"

namespace forms {

namespace {

constexpr const char* kLogSource = "confirm_form";

constexpr const wchar_t kDialogTitle[] =
    L"\u74e6\u5ddd"
    L"DEzed\u4fee\u590d\u5411\u5bfc";  // 瓦川DEzed修复向导

}  // namespace

ConfirmForm::ConfirmForm() : CFramelessForm(kNcHitTest | kNcCalcSize | kNcActivate) {}

int ConfirmForm::GetResourceID() const { return kSkinArchiveId; }

void ConfirmForm::Notify(Veneer::NotifyMsg& msg) {
  if (msg.type != L"click" || msg.sender == nullptr) return;
  const std::wstring& name = msg.sender->GetName();
  if (name == L"bt_close" || name == L"bt_close_down") PostMessage(WM_CLOSE, 0, 0);
}

void Alert(HWND owner, const std::wstring& title, const std::wstring& message) {
  ConfirmForm form;
  if (form.Create(owner, kDialogTitle,
                  WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU, 0, CW_USEDEFAULT,
                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT) == nullptr) {
    BASEKIT_LOG(Failure, "the alert window was not created");
    return;
  }
  if (Veneer::CControlUI* label = form.GetHost().FindControl(std::wstring(L"lb_title"))) label->SetText(title);
  if (Veneer::CControlUI* label = form.GetHost().FindControl(std::wstring(L"lb_content"))) label->SetText(message);
  form.CenterWindow();
  form.ShowModal(SW_SHOWNORMAL);
  // A quit message ends the modal loop with the window still up; it must
  // not outlive the form (destroying its owner would reach the form).
  if (IsWindow(form.GetHWND())) DestroyWindow(form.GetHWND());
}

}  // namespace forms

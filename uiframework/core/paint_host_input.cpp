// The window host's input: pre-translation (filters, Tab, system keys,
// shortcuts) and the translation of each kind of input record into control
// events, one handler per kind.

#include <cwctype>

#include "uiframework/core/control.h"
#include "uiframework/core/paint_host.h"

namespace Veneer {

namespace {

struct ShortcutSearch {
  wchar_t ch;
};

CControlUI* FindShortcut(CControlUI* control, void* data) {
  const wchar_t ch = static_cast<ShortcutSearch*>(data)->ch;
  if (!control->IsVisible() || !control->IsEnabled()) return nullptr;
  const wchar_t shortcut = control->GetShortcut();
  return shortcut != 0 && static_cast<wchar_t>(std::towupper(shortcut)) == ch ? control : nullptr;
}

}  // namespace

bool CPaintHostUI::PreMessageHandler(const InputRecord& input) {
  for (size_t i = 0; i < pre_filters_.size(); ++i) {
    bool handled = false;
    pre_filters_[i]->MessageHandler(input.message, input.wparam, input.lparam, handled);
    if (handled) return true;
  }
  switch (input.kind) {
    case InputKind::kKeyDown:
      return OnTabKey(input);
    case InputKind::kSysKeyDown:
      OnSysKeyDown(input);
      return false;
    case InputKind::kSysChar:
      return OnSysChar(input);
    default:
      return false;
  }
}

bool CPaintHostUI::OnTabKey(const InputRecord& input) {
  if (input.key != kKeyTab) return false;
  // A rich-text editor that takes Tab would keep it; none exists here.
  SetNextTabControl((input.key_state & kKeyStateShift) == 0);
  return true;
}

void CPaintHostUI::OnSysKeyDown(const InputRecord& input) {
  if (focus_ == nullptr) return;
  UIEvent event = MakeEvent(kUIEventSysKey, focus_, input);
  event.ch = static_cast<wchar_t>(input.key);
  focus_->Event(event);
}

bool CPaintHostUI::OnSysChar(const InputRecord& input) {
  if (root_ == nullptr) return false;
  ShortcutSearch search{static_cast<wchar_t>(std::towupper(static_cast<wint_t>(input.key)))};
  CControlUI* control = root_->FindControl(&FindShortcut, &search, kFindEnabled | kFindMeFirst | kFindTopFirst);
  if (control == nullptr) return false;
  control->SetFocus();
  control->Activate();
  return true;
}

bool CPaintHostUI::MessageHandler(const InputRecord& input, intptr_t& result) {
  DrainAsyncNotify();
  result = 0;
  for (size_t i = 0; i < filters_.size(); ++i) {
    bool handled = false;
    intptr_t r = filters_[i]->MessageHandler(input.message, input.wparam, input.lparam, handled);
    if (handled) {
      result = r;
      return true;
    }
  }
  return Dispatch(input, result);
}

bool CPaintHostUI::Dispatch(const InputRecord& input, intptr_t& result) {
  switch (input.kind) {
    case InputKind::kSetCursor:
      return OnSetCursor(input, result);
    case InputKind::kSize:
      OnSize(input);
      return true;
    case InputKind::kTimer:
      return OnTimer(input.key);
    case InputKind::kEraseBackground:
      result = 1;
      return true;
    case InputKind::kDelayedCleanup:
      OnDelayedCleanup();
      return true;
    default:
      TranslateInput(input);
      return false;
  }
}

void CPaintHostUI::TranslateInput(const InputRecord& input) {
  switch (input.kind) {
    case InputKind::kButtonDown:
      OnButtonDown(input, kUIEventButtonDown);
      break;
    case InputKind::kDoubleClick:
      OnButtonDown(input, kUIEventDblClick);
      break;
    case InputKind::kButtonUp:
      OnButtonUp(input);
      break;
    case InputKind::kRightButtonDown:
      OnRightButtonDown(input);
      break;
    case InputKind::kContextMenu:
      OnContextMenu(input);
      break;
    case InputKind::kMouseMove:
      OnMouseMove(input);
      break;
    case InputKind::kMouseWheel:
      OnMouseWheel(input);
      break;
    case InputKind::kMouseHover:
      OnMouseHover(input);
      break;
    case InputKind::kMouseLeave:
      OnMouseLeave();
      break;
    case InputKind::kKeyDown:
      OnKeyDown(input);
      break;
    case InputKind::kKeyUp:
      OnKeyUp(input);
      break;
    case InputKind::kChar:
      OnChar(input);
      break;
    case InputKind::kClose:
      OnClose();
      break;
    case InputKind::kNcButtonDown:
      SetFocus(nullptr);
      break;
    default:  // system keys are seen by the pre-translation
      break;
  }
}

void CPaintHostUI::OnButtonDown(const InputRecord& input, int kind) {
  if (window_ != nullptr) window_->TakeFocus();
  last_mouse_ = input.point;
  CControlUI* control = FindControl(input.point);
  if (!Owns(control)) return;
  click_ = control;
  control->SetFocus();
  if (click_ != control) return;  // the focus change removed it
  if (window_ != nullptr) window_->CaptureMouse();
  captured_ = true;
  UIEvent event = MakeEvent(kind, control, input);
  control->Event(event);
}

void CPaintHostUI::OnButtonUp(const InputRecord& input) {
  last_mouse_ = input.point;
  if (click_ == nullptr) return;
  if (captured_ && window_ != nullptr) window_->ReleaseMouse();
  captured_ = false;
  CControlUI* pressed = click_;
  click_ = nullptr;
  UIEvent event = MakeEvent(kUIEventButtonUp, pressed, input);
  pressed->Event(event);
}

void CPaintHostUI::OnRightButtonDown(const InputRecord& input) {
  if (window_ != nullptr) window_->TakeFocus();
  last_mouse_ = input.point;
  CControlUI* control = FindControl(input.point);
  if (!Owns(control)) return;
  control->SetFocus();
  UIEvent event = MakeEvent(kUIEventRButtonDown, control, input);
  control->Event(event);
}

void CPaintHostUI::OnContextMenu(const InputRecord& input) {
  CControlUI* target = click_ != nullptr ? click_ : FindControl(last_mouse_);
  if (!Owns(target)) return;
  UIEvent event = MakeEvent(kUIEventContextMenu, target, input);
  target->Event(event);
}

void CPaintHostUI::OnMouseMove(const InputRecord& input) {
  if (!mouse_tracking_ && window_ != nullptr) {
    const int delay = window_->GetTooltipDelay();
    window_->TrackMouse(delay >= 0 ? static_cast<uint32_t>(delay) : kDefaultHoverMs);
    mouse_tracking_ = true;
  }
  last_mouse_ = input.point;
  CControlUI* new_hover = FindControl(input.point);
  if (new_hover != nullptr && !Owns(new_hover)) return;
  if (new_hover != hover_ && hover_ != nullptr) {
    CControlUI* old = hover_;
    hover_ = nullptr;
    UIEvent event = MakeEvent(kUIEventMouseLeave, old, input);
    old->Event(event);
    if (window_ != nullptr) window_->HideTooltip();
  }
  if (new_hover != hover_ && new_hover != nullptr) {
    hover_ = new_hover;
    UIEvent event = MakeEvent(kUIEventMouseEnter, new_hover, input);
    new_hover->Event(event);
    if (hover_ != new_hover) new_hover = nullptr;  // gone while entering
  }
  CControlUI* target = click_ != nullptr ? click_ : new_hover;
  if (target != nullptr) {
    UIEvent event = MakeEvent(kUIEventMouseMove, target, input);
    target->Event(event);
  }
}

void CPaintHostUI::OnMouseWheel(const InputRecord& input) {
  CControlUI* control = FindControl(input.point);
  if (!Owns(control)) return;
  UIEvent event = MakeEvent(kUIEventScrollWheel, control, input);
  event.point = input.point;
  event.wparam = input.wheel_delta < 0 ? 1 : 0;  // 1: toward the user
  event.lparam = input.lparam;
  control->Event(event);
  InputRecord move;
  move.kind = InputKind::kMouseMove;
  move.point = last_mouse_;
  OnMouseMove(move);
}

void CPaintHostUI::OnMouseHover(const InputRecord& input) {
  mouse_tracking_ = false;
  last_mouse_ = input.point;
  if (hover_ != nullptr) {
    UIEvent event = MakeEvent(kUIEventMouseHover, hover_, input);
    hover_->Event(event);
  }
  CControlUI* control = FindControl(input.point);
  if (!Owns(control) || window_ == nullptr) return;
  const std::wstring tip = control->GetToolTip();
  if (tip.empty()) return;
  window_->ShowTooltip(resources_.ProcessMultiLanguageTokens(tip), control->GetPos(),
                       dpi_scale_.Scale(control->GetToolTipWidth()));
}

void CPaintHostUI::OnMouseLeave() {
  if (window_ != nullptr) window_->HideTooltip();
  // The hovered control gets its leave through a move to (-1, -1), made
  // while tracking still counts as armed: arming it again with the
  // mouse outside would bring the next leave message at once, and so on.
  mouse_tracking_ = true;
  InputRecord move;
  move.kind = InputKind::kMouseMove;
  move.point = UiPoint{-1, -1};
  OnMouseMove(move);
  mouse_tracking_ = false;
}

void CPaintHostUI::OnKeyDown(const InputRecord& input) {
  if (focus_ == nullptr) return;
  UIEvent event = MakeEvent(kUIEventKeyDown, focus_, input);
  event.ch = static_cast<wchar_t>(input.key);
  event_key_ = focus_;
  focus_->Event(event);
}

void CPaintHostUI::OnKeyUp(const InputRecord& input) {
  if (event_key_ == nullptr) return;
  CControlUI* control = event_key_;
  event_key_ = nullptr;
  UIEvent event = MakeEvent(kUIEventKeyUp, control, input);
  event.ch = static_cast<wchar_t>(input.key);
  control->Event(event);
}

void CPaintHostUI::OnChar(const InputRecord& input) {
  if (focus_ == nullptr) return;
  UIEvent event = MakeEvent(kUIEventChar, focus_, input);
  event.ch = static_cast<wchar_t>(input.key);
  focus_->Event(event);
}

bool CPaintHostUI::OnSetCursor(const InputRecord& input, intptr_t& result) {
  if (captured_) {
    result = 1;
    return true;
  }
  CControlUI* control = FindControl(input.point);
  if (control == nullptr || (control->GetControlFlags() & kControlFlagSetCursor) == 0) return false;
  UIEvent event = MakeEvent(kUIEventSetCursor, control, input);
  event.point = input.point;
  control->Event(event);
  result = 1;
  return true;
}

void CPaintHostUI::OnSize(const InputRecord& input) {
  if (focus_ != nullptr) {
    UIEvent event = MakeEvent(kUIEventWindowSize, focus_, input);
    focus_->Event(event);
  }
  if (root_ != nullptr) root_->NeedUpdate();
}

bool CPaintHostUI::OnTimer(uint32_t local_id) {
  const CTimerTableUI::Timer* timer = timers_.FindRunning(local_id);
  if (timer == nullptr) return false;
  CControlUI* sender = timer->sender;  // the record may go while it runs
  UIEvent event = MakeEvent(kUIEventTimer, sender, InputRecord{});
  event.wparam = timer->id;
  sender->Event(event);
  return true;
}

void CPaintHostUI::OnClose() {
  InputRecord none;
  none.point = last_mouse_;
  if (hover_ != nullptr) {
    CControlUI* old = hover_;
    hover_ = nullptr;
    UIEvent event = MakeEvent(kUIEventMouseLeave, old, none);
    old->Event(event);
  }
  if (click_ != nullptr) {
    CControlUI* pressed = click_;
    click_ = nullptr;
    UIEvent event = MakeEvent(kUIEventButtonUp, pressed, none);
    pressed->Event(event);
  }
  SetFocus(nullptr);
  if (window_ != nullptr) window_->FocusOwner();
}

}  // namespace Veneer

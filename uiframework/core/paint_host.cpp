#include "uiframework/core/paint_host.h"

#include <algorithm>
#include <chrono>
#include <cwctype>

#include "basekit/log/log.h"
#include "uiframework/base/text_conv.h"
#include "uiframework/core/control.h"
#include "uiframework/core/render.h"

namespace Veneer {

namespace {

constexpr const char* kLogSource = "paint_host";
constexpr uint32_t kShowDirtyColor = 0xFFDC0000;  // red 220
constexpr uint32_t kTimerIdModulus = 255;

uint32_t NowMs() {
  using namespace std::chrono;
  return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

CControlUI* FindHit(CControlUI* control, void*) { return control; }

CControlUI* CollectUpdate(CControlUI* control, void* data) {
  static_cast<std::vector<CControlUI*>*>(data)->push_back(control);
  return nullptr;
}

struct ShortcutSearch {
  wchar_t ch;
};

CControlUI* FindShortcut(CControlUI* control, void* data) {
  const wchar_t ch = static_cast<ShortcutSearch*>(data)->ch;
  if (!control->IsVisible() || !control->IsEnabled()) return nullptr;
  const wchar_t shortcut = control->GetShortcut();
  return shortcut != 0 && static_cast<wchar_t>(std::towupper(shortcut)) == ch ? control : nullptr;
}

// Controls that take the focus from Tab, in tree order.
CControlUI* CollectFocusable(CControlUI* control, void* data) {
  if ((control->GetControlFlags() & kControlFlagTabStop) != 0 && control->IsKeyboardEnabled() && control->IsEnabled() &&
      control->IsVisible()) {
    static_cast<std::vector<CControlUI*>*>(data)->push_back(control);
  }
  return nullptr;
}

template <typename T>
bool AddUnique(std::vector<T*>& list, T* item) {
  if (item == nullptr || std::find(list.begin(), list.end(), item) != list.end()) return false;
  list.push_back(item);
  return true;
}

template <typename T>
bool RemoveItem(std::vector<T*>& list, T* item) {
  auto it = std::find(list.begin(), list.end(), item);
  if (it == list.end()) return false;
  list.erase(it);
  return true;
}

}  // namespace

CPaintHostUI::CPaintHostUI(CResourceTablesUI* shared) : resources_(shared) {}

CPaintHostUI::~CPaintHostUI() {
  RemoveAllTimers();
  // The tree goes first, while the host's tables are whole for the reaping
  // its controls do.
  CControlUI* root = root_;
  root_ = nullptr;
  if (root != nullptr) root->Delete();
  for (CControlUI* control : delayed_cleanup_) control->Delete();
  delayed_cleanup_.clear();
  if (window_ != nullptr) window_->OnHostDestroyed();
}

bool CPaintHostUI::AttachDialog(CControlUI* root) {
  if (root == nullptr) {
    BASEKIT_LOG(Failure, "no control tree to attach; closing");
    if (window_ != nullptr) window_->SendClose();
    return false;
  }
  SetFocus(nullptr);
  event_key_ = nullptr;
  hover_ = nullptr;
  click_ = nullptr;
  if (root_ != nullptr && root_ != root) AddDelayedCleanup(root_);
  root_ = root;
  update_needed_ = true;
  first_layout_ = true;
  focus_needed_ = true;
  root->SetHost(this, nullptr, true);
  return true;
}

void CPaintHostUI::RegisterControl(CControlUI* control) {
  const std::wstring& name = control->GetName();
  if (!name.empty()) names_.emplace(name, control);  // the first of a name stays
}

void CPaintHostUI::ReapObjects(CControlUI* control) {
  if (control == nullptr) return;
  if (focus_ == control) focus_ = nullptr;
  if (hover_ == control) hover_ = nullptr;
  if (click_ == control) {
    click_ = nullptr;
    if (captured_ && window_ != nullptr) window_->ReleaseMouse();
    captured_ = false;
  }
  if (event_key_ == control) event_key_ = nullptr;
  if (root_ == control) root_ = nullptr;
  KillTimer(control);
  for (NotifyMsg& msg : async_notify_) {
    if (msg.sender == control) msg.sender = nullptr;
  }
  const std::wstring& name = control->GetName();
  if (!name.empty()) {
    auto it = names_.find(name);
    if (it != names_.end() && it->second == control) names_.erase(it);
  }
  option_groups_.Remove(control);
}

CControlUI* CPaintHostUI::FindControl(const std::wstring& name) const {
  auto it = names_.find(name);
  return it == names_.end() ? nullptr : it->second;
}

CControlUI* CPaintHostUI::FindControl(const UiPoint& point) const {
  if (root_ == nullptr) return nullptr;
  UiPoint p = point;
  return root_->FindControl(&FindHit, &p, kFindVisible | kFindHitTest | kFindTopFirst);
}

void CPaintHostUI::SetFocus(CControlUI* control) {
  if (control == focus_) return;
  if (focus_ != nullptr) {
    CControlUI* old = focus_;
    UIEvent event;
    event.kind = kUIEventKillFocus;
    event.sender = old;
    event.timestamp = NowMs();
    old->Event(event);
    if (focus_ == old) {
      SendNotify(old, L"killfocus");
      focus_ = nullptr;
    }
  }
  if (control == nullptr) return;
  if (control->GetHost() != this || !control->IsVisible() || !control->IsEnabled()) return;
  focus_ = control;
  UIEvent event;
  event.kind = kUIEventSetFocus;
  event.sender = control;
  event.timestamp = NowMs();
  control->Event(event);
  if (focus_ == control) SendNotify(control, L"setfocus");
}

bool CPaintHostUI::SetNextTabControl(bool forward) {
  if (root_ == nullptr) return false;
  std::vector<CControlUI*> focusable;
  root_->FindControl(&CollectFocusable, &focusable, kFindVisible | kFindEnabled | kFindMeFirst);
  if (focusable.empty()) return false;
  auto it = std::find(focusable.begin(), focusable.end(), focus_);
  CControlUI* next;
  if (it == focusable.end()) {
    next = forward ? focusable.front() : focusable.back();
  } else if (forward) {
    next = ++it == focusable.end() ? focusable.front() : *it;
  } else {
    next = it == focusable.begin() ? focusable.back() : *--it;
  }
  SetFocus(next);
  return true;
}

bool CPaintHostUI::SetTimer(CControlUI* control, uint32_t id, uint32_t elapse_ms) {
  if (control == nullptr || window_ == nullptr) return false;
  for (TimerInfo& timer : timers_) {
    if (timer.sender != control || timer.id != id) continue;
    if (!timer.killed) return false;  // running already
    if (!window_->SetNativeTimer(timer.local_id, elapse_ms)) return false;
    timer.killed = false;
    return true;
  }
  timer_counter_ = (timer_counter_ + 1) % kTimerIdModulus;
  if (!window_->SetNativeTimer(timer_counter_, elapse_ms)) {
    BASEKIT_LOG(Failure, "timer %u of %s could not be set", id, ToLogText(control->GetName().c_str()).c_str());
    return false;
  }
  timers_.push_back(TimerInfo{control, id, timer_counter_, false});
  return true;
}

bool CPaintHostUI::KillTimer(CControlUI* control, uint32_t id) {
  for (TimerInfo& timer : timers_) {
    if (timer.sender != control || timer.id != id) continue;
    if (timer.killed) return false;
    if (window_ != nullptr) window_->KillNativeTimer(timer.local_id);
    timer.killed = true;
    return true;
  }
  return false;
}

void CPaintHostUI::KillTimer(CControlUI* control) {
  auto end = std::remove_if(timers_.begin(), timers_.end(), [&](const TimerInfo& timer) {
    if (timer.sender != control) return false;
    if (!timer.killed && window_ != nullptr) window_->KillNativeTimer(timer.local_id);
    return true;
  });
  timers_.erase(end, timers_.end());
}

void CPaintHostUI::RemoveAllTimers() {
  for (const TimerInfo& timer : timers_) {
    if (!timer.killed && window_ != nullptr) window_->KillNativeTimer(timer.local_id);
  }
  timers_.clear();
}

int CPaintHostUI::GetTimerLocalId(CControlUI* control, uint32_t id) const {
  for (const TimerInfo& timer : timers_) {
    if (timer.sender == control && timer.id == id) return static_cast<int>(timer.local_id);
  }
  return -1;
}

bool CPaintHostUI::AddNotifier(INotifyUI* notifier) { return AddUnique(notifiers_, notifier); }

bool CPaintHostUI::RemoveNotifier(INotifyUI* notifier) { return RemoveItem(notifiers_, notifier); }

bool CPaintHostUI::AddPreMessageFilter(IMessageFilterUI* filter) { return AddUnique(pre_filters_, filter); }

bool CPaintHostUI::RemovePreMessageFilter(IMessageFilterUI* filter) { return RemoveItem(pre_filters_, filter); }

bool CPaintHostUI::AddMessageFilter(IMessageFilterUI* filter) { return AddUnique(filters_, filter); }

bool CPaintHostUI::RemoveMessageFilter(IMessageFilterUI* filter) { return RemoveItem(filters_, filter); }

void CPaintHostUI::SendNotify(CControlUI* control, const wchar_t* type, uintptr_t wparam, intptr_t lparam, bool async) {
  NotifyMsg msg;
  msg.sender = control;
  msg.type = type != nullptr ? type : L"";
  msg.wparam = wparam;
  msg.lparam = lparam;
  SendNotify(msg, async);
}

void CPaintHostUI::SendNotify(NotifyMsg& msg, bool async) {
  msg.point = last_mouse_;
  msg.timestamp = NowMs();
  if (used_virtual_wnd_) {
    for (CControlUI* c = msg.sender; c != nullptr; c = c->GetParent()) {
      if (!c->GetVirtualWnd().empty()) {
        msg.virtual_wnd = c->GetVirtualWnd();
        break;
      }
    }
  }
  if (async) {
    async_notify_.push_back(msg);
  } else {
    Deliver(msg);
  }
}

void CPaintHostUI::Deliver(NotifyMsg& msg) {
  if (msg.sender != nullptr) msg.sender->OnNotify(msg);
  // A notifier may remove itself or others while the list runs.
  for (size_t i = 0; i < notifiers_.size(); ++i) notifiers_[i]->Notify(msg);
}

void CPaintHostUI::DrainAsyncNotify() {
  while (!async_notify_.empty()) {
    NotifyMsg msg = std::move(async_notify_.front());
    async_notify_.pop_front();
    Deliver(msg);
  }
}

void CPaintHostUI::AddDelayedCleanup(CControlUI* control) {
  if (control == nullptr) return;
  // Out of the tree and the host's tables at once; destroyed later, when no
  // handler of it can still be running.
  control->SetHost(nullptr, nullptr, false);
  delayed_cleanup_.push_back(control);
  if (window_ != nullptr) window_->PostCleanup();
}

void CPaintHostUI::OnDelayedCleanup() {
  std::vector<CControlUI*> controls;
  controls.swap(delayed_cleanup_);
  for (CControlUI* control : controls) control->Delete();
  DrainAsyncNotify();
}

void CPaintHostUI::SetInitSize(int cx, int cy) {
  init_size_ = UiSize{cx, cy};
  if (root_ == nullptr && window_ != nullptr) window_->ResizeWindow(cx, cy);
}

void CPaintHostUI::SetOpacity(int opacity) {
  opacity_ = std::clamp(opacity, 0, kOpaque);
  const bool layered = opacity >= 0 && opacity <= kOpaque;
  if (window_ != nullptr) window_->SetLayered(layered, layered, static_cast<uint8_t>(opacity_));
}

void CPaintHostUI::Invalidate(const UiRect& rect) {
  if (window_ != nullptr && !rect.IsEmpty()) window_->Invalidate(rect);
}

bool CPaintHostUI::Layout() {
  if (!update_needed_ || root_ == nullptr || window_ == nullptr) return false;
  const UiRect client = window_->GetClientRect();
  if (client.IsEmpty()) return false;
  update_needed_ = false;
  if (root_->IsUpdateNeeded()) {
    root_->SetPos(client, true);
  } else {
    // Only what was marked, at its current position; a container laid out
    // here also lays out its children, which then need nothing more.
    std::vector<CControlUI*> marked;
    root_->FindControl(&CollectUpdate, &marked, kFindVisible | kFindMeFirst | kFindUpdateTest);
    for (CControlUI* control : marked) {
      if (control->IsUpdateNeeded()) control->SetPos(control->GetPos(), true);
    }
  }
  if (first_layout_ && root_ != nullptr) {
    first_layout_ = false;
    if (layered_) window_->SetLayered(true, false, 0);
    SendNotify(root_, L"windowinit");
  }
  return true;
}

void CPaintHostUI::Paint(const UiRect& update) {
  if (root_ == nullptr || render_ == nullptr) return;
  if (focus_needed_) {
    // The first focusable control gets the focus, unless it is one that
    // Return or Space would activate: a button the user did not choose
    // (the close button of a caption strip, say) must not act on a key the
    // user meant for the window.
    focus_needed_ = false;
    next_tab_pending_ = false;
    std::vector<CControlUI*> focusable;
    root_->FindControl(&CollectFocusable, &focusable, kFindVisible | kFindEnabled | kFindMeFirst);
    if (!focusable.empty() && focusable.front()->GetInterface(L"Button") == nullptr) SetFocus(focusable.front());
  } else if (next_tab_pending_) {
    next_tab_pending_ = false;
    SetNextTabControl();
  }
  root_->DoPaint(*render_, update);
  if (show_update_rect_) render_->DrawBorder(update, 1, kShowDirtyColor, 0);
}

void CPaintHostUI::SetCursorShape(CursorShape shape) {
  if (window_ != nullptr) window_->SetCursorShape(shape);
}

UIEvent CPaintHostUI::MakeEvent(int kind, CControlUI* sender, const InputRecord& input) const {
  UIEvent event;
  event.kind = kind;
  event.sender = sender;
  event.timestamp = NowMs();
  event.point = last_mouse_;
  event.key_state = input.key_state;
  event.wparam = input.wparam;
  event.lparam = input.lparam;
  return event;
}

bool CPaintHostUI::PreMessageHandler(const InputRecord& input) {
  for (size_t i = 0; i < pre_filters_.size(); ++i) {
    bool handled = false;
    pre_filters_[i]->MessageHandler(input.message, input.wparam, input.lparam, handled);
    if (handled) return true;
  }
  switch (input.kind) {
    case InputKind::kKeyDown:
      if (input.key == kKeyTab) {
        // A rich-text editor that takes Tab would keep it; none exists here.
        SetNextTabControl((input.key_state & kKeyStateShift) == 0);
        return true;
      }
      break;
    case InputKind::kSysKeyDown:
      if (focus_ != nullptr) {
        UIEvent event = MakeEvent(kUIEventSysKey, focus_, input);
        event.ch = static_cast<wchar_t>(input.key);
        focus_->Event(event);
      }
      break;
    case InputKind::kSysChar: {
      if (root_ == nullptr) break;
      ShortcutSearch search{static_cast<wchar_t>(std::towupper(static_cast<wint_t>(input.key)))};
      CControlUI* control = root_->FindControl(&FindShortcut, &search, kFindEnabled | kFindMeFirst | kFindTopFirst);
      if (control != nullptr) {
        control->SetFocus();
        control->Activate();
        return true;
      }
      break;
    }
    default:
      break;
  }
  return false;
}

void CPaintHostUI::OnButtonDown(const InputRecord& input, int kind) {
  if (window_ != nullptr) window_->TakeFocus();
  last_mouse_ = input.point;
  CControlUI* control = FindControl(input.point);
  if (control == nullptr || control->GetHost() != this) return;
  click_ = control;
  control->SetFocus();
  if (click_ != control) return;  // the focus change removed it
  if (window_ != nullptr) window_->CaptureMouse();
  captured_ = true;
  UIEvent event = MakeEvent(kind, control, input);
  control->Event(event);
}

void CPaintHostUI::OnMouseMove(const InputRecord& input) {
  if (!mouse_tracking_ && window_ != nullptr) {
    const int delay = window_->GetTooltipDelay();
    window_->TrackMouse(delay >= 0 ? static_cast<uint32_t>(delay) : kDefaultHoverMs);
    mouse_tracking_ = true;
  }
  last_mouse_ = input.point;
  CControlUI* new_hover = FindControl(input.point);
  if (new_hover != nullptr && new_hover->GetHost() != this) return;
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

bool CPaintHostUI::OnTimer(uint32_t local_id) {
  for (const TimerInfo& timer : timers_) {
    if (timer.local_id != local_id || timer.killed) continue;
    UIEvent event;
    event.kind = kUIEventTimer;
    event.sender = timer.sender;
    event.timestamp = NowMs();
    event.point = last_mouse_;
    event.wparam = timer.id;
    CControlUI* sender = timer.sender;  // the record may go while it runs
    sender->Event(event);
    return true;
  }
  return false;
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
  switch (input.kind) {
    case InputKind::kButtonDown:
      OnButtonDown(input, kUIEventButtonDown);
      break;
    case InputKind::kDoubleClick:
      OnButtonDown(input, kUIEventDblClick);
      break;
    case InputKind::kButtonUp: {
      last_mouse_ = input.point;
      if (click_ == nullptr) break;
      if (captured_ && window_ != nullptr) window_->ReleaseMouse();
      captured_ = false;
      CControlUI* pressed = click_;
      click_ = nullptr;
      UIEvent event = MakeEvent(kUIEventButtonUp, pressed, input);
      pressed->Event(event);
      break;
    }
    case InputKind::kRightButtonDown: {
      if (window_ != nullptr) window_->TakeFocus();
      last_mouse_ = input.point;
      CControlUI* control = FindControl(input.point);
      if (control == nullptr || control->GetHost() != this) break;
      control->SetFocus();
      UIEvent event = MakeEvent(kUIEventRButtonDown, control, input);
      control->Event(event);
      break;
    }
    case InputKind::kContextMenu: {
      CControlUI* target = click_ != nullptr ? click_ : FindControl(last_mouse_);
      if (target == nullptr || target->GetHost() != this) break;
      UIEvent event = MakeEvent(kUIEventContextMenu, target, input);
      target->Event(event);
      break;
    }
    case InputKind::kMouseMove:
      OnMouseMove(input);
      break;
    case InputKind::kMouseWheel: {
      CControlUI* control = FindControl(input.point);
      if (control == nullptr || control->GetHost() != this) break;
      UIEvent event = MakeEvent(kUIEventScrollWheel, control, input);
      event.point = input.point;
      event.wparam = input.wheel_delta < 0 ? 1 : 0;  // 1: toward the user
      event.lparam = input.lparam;
      control->Event(event);
      InputRecord move;
      move.kind = InputKind::kMouseMove;
      move.point = last_mouse_;
      OnMouseMove(move);
      break;
    }
    case InputKind::kMouseHover: {
      mouse_tracking_ = false;
      last_mouse_ = input.point;
      if (hover_ != nullptr) {
        UIEvent event = MakeEvent(kUIEventMouseHover, hover_, input);
        hover_->Event(event);
      }
      CControlUI* control = FindControl(input.point);
      if (control == nullptr || control->GetHost() != this || window_ == nullptr) break;
      const std::wstring tip = control->GetToolTip();
      if (tip.empty()) break;
      window_->ShowTooltip(resources_.ProcessMultiLanguageTokens(tip), control->GetPos(), control->GetToolTipWidth());
      break;
    }
    case InputKind::kMouseLeave: {
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
      break;
    }
    case InputKind::kKeyDown: {
      if (focus_ == nullptr) break;
      UIEvent event = MakeEvent(kUIEventKeyDown, focus_, input);
      event.ch = static_cast<wchar_t>(input.key);
      event_key_ = focus_;
      focus_->Event(event);
      break;
    }
    case InputKind::kKeyUp: {
      if (event_key_ == nullptr) break;
      CControlUI* control = event_key_;
      event_key_ = nullptr;
      UIEvent event = MakeEvent(kUIEventKeyUp, control, input);
      event.ch = static_cast<wchar_t>(input.key);
      control->Event(event);
      break;
    }
    case InputKind::kChar: {
      if (focus_ == nullptr) break;
      UIEvent event = MakeEvent(kUIEventChar, focus_, input);
      event.ch = static_cast<wchar_t>(input.key);
      focus_->Event(event);
      break;
    }
    case InputKind::kSetCursor: {
      if (captured_) {
        result = 1;
        return true;
      }
      CControlUI* control = FindControl(input.point);
      if (control == nullptr || (control->GetControlFlags() & kControlFlagSetCursor) == 0) break;
      UIEvent event = MakeEvent(kUIEventSetCursor, control, input);
      event.point = input.point;
      control->Event(event);
      result = 1;
      return true;
    }
    case InputKind::kSize:
      if (focus_ != nullptr) {
        UIEvent event = MakeEvent(kUIEventWindowSize, focus_, input);
        focus_->Event(event);
      }
      if (root_ != nullptr) root_->NeedUpdate();
      return true;
    case InputKind::kTimer:
      if (OnTimer(input.key)) return true;
      break;
    case InputKind::kClose:
      OnClose();
      break;  // the default handling goes on
    case InputKind::kEraseBackground:
      result = 1;
      return true;
    case InputKind::kNcButtonDown:
      SetFocus(nullptr);
      break;
    case InputKind::kDelayedCleanup:
      OnDelayedCleanup();
      return true;
    case InputKind::kSysKeyDown:
    case InputKind::kSysChar:  // seen by the pre-translation
    case InputKind::kOther:
      break;
  }
  return false;
}

}  // namespace Veneer

#include "uiframework/core/paint_host.h"

#include <algorithm>
#include <chrono>

#include "basekit/log/log.h"
#include "uiframework/core/control.h"
#include "uiframework/core/render.h"

namespace Veneer {

namespace {

constexpr const char* kLogSource = "paint_host";
constexpr uint32_t kShowDirtyColor = 0xFFDC0000;  // red 220

uint32_t NowMs() {
  using namespace std::chrono;
  return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

CControlUI* FindHit(CControlUI* control, void*) { return control; }

CControlUI* CollectUpdate(CControlUI* control, void* data) {
  static_cast<std::vector<CControlUI*>*>(data)->push_back(control);
  return nullptr;
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

bool CPaintHostUI::Owns(const CControlUI* control) const { return control != nullptr && control->GetHost() == this; }

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
  if (!Owns(control) || !control->IsVisible() || !control->IsEnabled()) return;
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
  return timers_.Set(window_, control, id, elapse_ms);
}

bool CPaintHostUI::KillTimer(CControlUI* control, uint32_t id) { return timers_.Kill(window_, control, id); }

void CPaintHostUI::KillTimer(CControlUI* control) { timers_.Remove(window_, control); }

void CPaintHostUI::RemoveAllTimers() { timers_.Clear(window_); }

int CPaintHostUI::GetTimerLocalId(CControlUI* control, uint32_t id) const { return timers_.GetLocalId(control, id); }

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

void CPaintHostUI::SetDpi(int dpi) {
  const DpiScale scale(dpi);
  if (scale == dpi_scale_) return;
  BASEKIT_LOG(Progress, "window at %d DPI (was %d)", scale.Dpi(), dpi_scale_.Dpi());
  dpi_scale_ = scale;
  if (root_ == nullptr) return;
  // Everything is laid out anew over the client area; the pictures follow
  // at the next paint (each descriptor notices the new DPI).
  layout_all_ = true;
  update_needed_ = true;
  if (window_ != nullptr) Invalidate(window_->GetClientRect());
}

void CPaintHostUI::SetInitSize(int cx, int cy) {
  settings_.init_size = UiSize{cx, cy};
  if (root_ == nullptr && window_ != nullptr) window_->ResizeWindow(dpi_scale_.Scale(cx), dpi_scale_.Scale(cy));
}

void CPaintHostUI::SetOpacity(int opacity) {
  settings_.opacity = std::clamp(opacity, 0, WindowSettings::kOpaque);
  const bool layered = opacity >= 0 && opacity <= WindowSettings::kOpaque;
  if (window_ != nullptr) window_->SetLayered(layered, layered, static_cast<uint8_t>(settings_.opacity));
}

void CPaintHostUI::Invalidate(const UiRect& rect) {
  if (window_ != nullptr && !rect.IsEmpty()) window_->Invalidate(rect);
}

bool CPaintHostUI::Layout() {
  if (!update_needed_ || root_ == nullptr || window_ == nullptr) return false;
  const UiRect client = window_->GetClientRect();
  if (client.IsEmpty()) return false;
  update_needed_ = false;
  if (root_->IsUpdateNeeded() || layout_all_) {
    layout_all_ = false;
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
    if (settings_.layered) window_->SetLayered(true, false, 0);
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
  if (settings_.show_update_rect) render_->DrawBorder(update, 1, kShowDirtyColor, 0);
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

}  // namespace Veneer

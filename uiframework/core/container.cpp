#include "uiframework/core/container.h"

#include <algorithm>
#include <cwchar>

#include "uiframework/base/attribute_values.h"
#include "uiframework/core/paint_host.h"
#include "uiframework/core/render.h"
#include "uiframework/core/scroll_bar.h"

namespace Veneer {

namespace {

UiRect ClampSize(UiRect rect, const CControlUI& child) {
  const DpiScale& scale = child.GetDpiScale();
  const long long width = LimitSize(rect.Width(), scale.Scale(child.GetMinWidth()), scale.Scale(child.GetMaxWidth()));
  const long long height =
      LimitSize(rect.Height(), scale.Scale(child.GetMinHeight()), scale.Scale(child.GetMaxHeight()));
  rect.right = ClampCoord(rect.left + width);
  rect.bottom = ClampCoord(rect.top + height);
  return rect;
}

}  // namespace

CContainerUI::CContainerUI() = default;

CContainerUI::~CContainerUI() {
  // Children go first, while this container is still whole for their
  // destruction (they may reach their parent).
  std::vector<CControlUI*> items;
  items.swap(items_);
  if (auto_destroy_) {
    for (CControlUI* item : items) item->Delete();
  }
  if (vertical_bar_ != nullptr) vertical_bar_->Delete();
  if (horizontal_bar_ != nullptr) horizontal_bar_->Delete();
}

const wchar_t* CContainerUI::GetClass() const { return L"ContainerUI"; }

void* CContainerUI::GetInterface(const wchar_t* name) {
  if (name != nullptr) {
    if (std::wcscmp(name, L"IContainer") == 0) return static_cast<IContainerUI*>(this);
    if (std::wcscmp(name, L"Container") == 0) return static_cast<CContainerUI*>(this);
  }
  return CControlUI::GetInterface(name);
}

void CContainerUI::SetHost(CPaintHostUI* host, CControlUI* parent, bool init) {
  // Linked first: children initialised below may walk up their ancestors.
  parent_ = parent;
  if (host != host_) {
    for (CControlUI* item : items_) item->SetHost(host, this, init);
    if (vertical_bar_ != nullptr) vertical_bar_->SetHost(host, this, init);
    if (horizontal_bar_ != nullptr) horizontal_bar_->SetHost(host, this, init);
  }
  CControlUI::SetHost(host, parent, init);
}

void CContainerUI::SetVisible(bool visible) {
  if (visible_ == visible) return;
  CControlUI::SetVisible(visible);
  for (CControlUI* item : items_) item->SetInternVisible(IsVisible());
}

void CContainerUI::SetInternVisible(bool visible) {
  CControlUI::SetInternVisible(visible);
  if (items_.empty()) return;
  for (CControlUI* item : items_) item->SetInternVisible(IsVisible());
}

void CContainerUI::SetMouseEnabled(bool enabled) {
  if (vertical_bar_ != nullptr) vertical_bar_->SetMouseEnabled(enabled);
  if (horizontal_bar_ != nullptr) horizontal_bar_->SetMouseEnabled(enabled);
  CControlUI::SetMouseEnabled(enabled);
}

CControlUI* CContainerUI::FindControl(FindControlProc proc, void* data, uint32_t flags) {
  if ((flags & kFindVisible) != 0 && !IsVisible()) return nullptr;
  if ((flags & kFindEnabled) != 0 && !IsEnabled()) return nullptr;
  if ((flags & kFindHitTest) != 0) {
    const UiPoint& point = *static_cast<const UiPoint*>(data);
    if (!pos_.Contains(point)) return nullptr;
    if (!mouse_child_) return mouse_enabled_ ? proc(this, data) : nullptr;
  }
  const bool hit_test = (flags & kFindHitTest) != 0;
  if (!hit_test && (flags & kFindMeFirst) != 0) {
    if (CControlUI* result = CControlUI::FindControl(proc, data, flags)) return result;
  }
  if (vertical_bar_ != nullptr) {
    if (CControlUI* result = vertical_bar_->FindControl(proc, data, flags)) return result;
  }
  if (horizontal_bar_ != nullptr) {
    if (CControlUI* result = horizontal_bar_->FindControl(proc, data, flags)) return result;
  }
  if (hit_test) {
    // Children answer only inside the inner rectangle, unless they float;
    // the one painted last (on top) is asked first.
    const UiPoint& point = *static_cast<const UiPoint*>(data);
    const bool in_inner = GetInnerRect().Contains(point);
    const bool top_first = (flags & kFindTopFirst) != 0;
    const int count = static_cast<int>(items_.size());
    for (int i = 0; i < count; ++i) {
      CControlUI* item = items_[static_cast<size_t>(top_first ? count - 1 - i : i)];
      if (!in_inner && !item->IsFloat()) continue;
      if (CControlUI* result = item->FindControl(proc, data, flags)) return result;
    }
    return mouse_enabled_ ? proc(this, data) : nullptr;
  }
  if ((flags & kFindTopFirst) != 0) {
    for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
      if (CControlUI* result = (*it)->FindControl(proc, data, flags)) return result;
    }
  } else {
    for (CControlUI* item : items_) {
      if (CControlUI* result = item->FindControl(proc, data, flags)) return result;
    }
  }
  if ((flags & kFindMeFirst) != 0) return nullptr;
  return CControlUI::FindControl(proc, data, flags);
}

void CContainerUI::DoEvent(UIEvent& event) {
  if (!mouse_enabled_ && IsMouseEvent(event.kind)) {
    if (parent_ != nullptr) {
      parent_->DoEvent(event);
    } else {
      CControlUI::DoEvent(event);
    }
    return;
  }
  if (event.kind == kUIEventSetFocus || event.kind == kUIEventKillFocus) {
    focused_ = event.kind == kUIEventSetFocus;
    return;
  }
  if (event.kind == kUIEventScrollWheel && vertical_bar_ != nullptr && vertical_bar_->IsVisible() &&
      vertical_bar_->IsEnabled()) {
    // wParam 1: the wheel turned toward the user, content moves up.
    const int step = SatMul(Scaled(vertical_bar_->GetLineSize()), 3);
    UiSize pos = GetScrollPos();
    pos.cy = event.wparam == 1 ? SatAdd(pos.cy, step) : SatSub(pos.cy, step);
    SetScrollPos(pos);
    return;
  }
  CControlUI::DoEvent(event);
}

UiRect CContainerUI::GetInnerRect() const {
  UiRect inner = pos_.Deflate(Scaled(inset_));
  if (vertical_bar_ != nullptr && vertical_bar_->IsVisible())
    inner.right = SatSub(inner.right, vertical_bar_->GetThickness());
  if (horizontal_bar_ != nullptr && horizontal_bar_->IsVisible()) {
    inner.bottom = SatSub(inner.bottom, horizontal_bar_->GetThickness());
  }
  return inner;
}

void CContainerUI::SetPos(const UiRect& rect, bool invalidate) {
  CControlUI::SetPos(rect, invalidate);
  if (items_.empty()) return;
  const UiRect inner = GetInnerRect();
  for (size_t i = 0; i < items_.size(); ++i) {
    CControlUI* item = items_[i];
    if (!item->IsVisible()) continue;
    if (item->IsFloat()) {
      SetFloatPos(static_cast<int>(i));
    } else {
      // A plain container ignores the child's padding and fixed size.
      item->SetPos(ClampSize(inner, *item), false);
    }
  }
}

void CContainerUI::SetFloatPos(int index) {
  if (index < 0 || index >= GetCount()) return;
  CControlUI* item = items_[static_cast<size_t>(index)];
  if (!item->IsVisible() || !item->IsFloat()) return;
  item->SetPos(item->GetFloatPlacement(pos_.Width(), pos_.Height()), false);
}

void CContainerUI::DoPaint(IRenderUI& render, const UiRect& paint) {
  if (!pos_.Intersects(paint)) return;
  const bool rounded = border_round_.cx > 0 && border_round_.cy > 0;
  if (rounded) render.PushRoundClip(pos_, border_round_);
  PaintLayers(render, paint);
  if (!items_.empty()) {
    const UiRect inner = GetInnerRect();
    const UiRect area = inner.Intersect(paint);
    if (!area.IsEmpty()) {
      render.PushClip(inner);
      for (CControlUI* item : items_) {
        if (item->IsVisible() && item->GetPos().Intersects(area)) item->DoPaint(render, area);
      }
      render.PopClip();
    }
  }
  if (vertical_bar_ != nullptr && vertical_bar_->IsVisible()) vertical_bar_->DoPaint(render, paint);
  if (horizontal_bar_ != nullptr && horizontal_bar_->IsVisible()) horizontal_bar_->DoPaint(render, paint);
  if (rounded) render.PopClip();
}

void CContainerUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  if (name == nullptr || value == nullptr) return;
  const std::wstring_view n(name);
  if (n == L"inset") {
    SetInset(ParseRect(value));
  } else if (n == L"childpadding") {
    SetChildPadding(ParseDecimal(value));
  } else if (n == L"mousechild") {
    SetMouseChildEnabled(ParseBool(value));
  } else if (n == L"vscrollbar") {
    EnableScrollBar(ParseBool(value), horizontal_bar_ != nullptr);
  } else if (n == L"hscrollbar") {
    EnableScrollBar(vertical_bar_ != nullptr, ParseBool(value));
  } else if (n == L"vscrollbarstyle") {
    EnableScrollBar(true, horizontal_bar_ != nullptr);
    vertical_bar_->ApplyAttributeList(value);
  } else if (n == L"hscrollbarstyle") {
    EnableScrollBar(vertical_bar_ != nullptr, true);
    horizontal_bar_->ApplyAttributeList(value);
  } else {
    CControlUI::SetAttribute(name, value);
  }
}

CControlUI* CContainerUI::GetItemAt(int index) const {
  if (index < 0 || index >= GetCount()) return nullptr;
  return items_[static_cast<size_t>(index)];
}

int CContainerUI::GetItemIndex(CControlUI* control) const {
  if (control == nullptr || control->GetParent() != this) return -1;
  auto it = std::find(items_.begin(), items_.end(), control);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

bool CContainerUI::SetItemIndex(CControlUI* control, int index) {
  const int current = GetItemIndex(control);
  if (current < 0 || index < 0 || index >= GetCount()) return false;
  items_.erase(items_.begin() + current);
  items_.insert(items_.begin() + index, control);
  NeedUpdate();
  return true;
}

int CContainerUI::GetCount() const { return static_cast<int>(items_.size()); }

bool CContainerUI::Add(CControlUI* control) { return AddAt(control, GetCount()); }

bool CContainerUI::AddAt(CControlUI* control, int index) {
  if (control == nullptr || control == this || index < 0 || index > GetCount()) return false;
  if (control->GetParent() != nullptr) return false;  // already placed (here or elsewhere)
  items_.insert(items_.begin() + index, control);
  control->SetHost(host_, this, host_ != nullptr);
  if (!IsVisible()) {
    control->SetInternVisible(false);
  } else {
    NeedUpdate();
  }
  return true;
}

bool CContainerUI::Remove(CControlUI* control) { return RemoveAt(GetItemIndex(control)); }

bool CContainerUI::RemoveAt(int index) {
  CControlUI* control = GetItemAt(index);
  if (control == nullptr) return false;
  items_.erase(items_.begin() + index);
  NeedUpdate();
  DestroyChild(control);
  return true;
}

void CContainerUI::RemoveAll() {
  std::vector<CControlUI*> items;
  items.swap(items_);
  for (CControlUI* item : items) DestroyChild(item);
  NeedUpdate();
}

void CContainerUI::DestroyChild(CControlUI* control) {
  if (!auto_destroy_) {
    // Handed back: out of the tree, out of the host's tables.
    control->SetHost(nullptr, nullptr, false);
    return;
  }
  if (delayed_destroy_ && host_ != nullptr) {
    host_->AddDelayedCleanup(control);
  } else {
    control->Delete();
  }
}

UiRect CContainerUI::GetInset() const { return inset_; }

void CContainerUI::SetInset(const UiRect& inset) {
  inset_ = inset;
  NeedUpdate();
}

int CContainerUI::GetChildPadding() const { return child_padding_; }

void CContainerUI::SetChildPadding(int padding) {
  child_padding_ = padding;
  NeedUpdate();
}

bool CContainerUI::IsAutoDestroy() const { return auto_destroy_; }

void CContainerUI::SetAutoDestroy(bool auto_destroy) { auto_destroy_ = auto_destroy; }

bool CContainerUI::IsDelayedDestroy() const { return delayed_destroy_; }

void CContainerUI::SetDelayedDestroy(bool delayed) { delayed_destroy_ = delayed; }

bool CContainerUI::IsMouseChildEnabled() const { return mouse_child_; }

void CContainerUI::SetMouseChildEnabled(bool enabled) { mouse_child_ = enabled; }

UiSize CContainerUI::GetScrollPos() const {
  return UiSize{horizontal_bar_ != nullptr ? horizontal_bar_->GetScrollPos() : 0,
                vertical_bar_ != nullptr ? vertical_bar_->GetScrollPos() : 0};
}

UiSize CContainerUI::GetScrollRange() const {
  return UiSize{horizontal_bar_ != nullptr ? horizontal_bar_->GetScrollRange() : 0,
                vertical_bar_ != nullptr ? vertical_bar_->GetScrollRange() : 0};
}

void CContainerUI::SetScrollPos(const UiSize& pos) {
  const UiSize old = GetScrollPos();
  if (vertical_bar_ != nullptr) vertical_bar_->SetScrollPos(pos.cy);
  if (horizontal_bar_ != nullptr) horizontal_bar_->SetScrollPos(pos.cx);
  if (GetScrollPos() == old) return;
  SetPos(pos_);  // lays the children out again at the new offsets
}

void CContainerUI::EnableScrollBar(bool vertical, bool horizontal) {
  if (vertical && vertical_bar_ == nullptr) {
    vertical_bar_ = new CScrollBarUI();
    vertical_bar_->SetOwner(this);
    vertical_bar_->SetHost(host_, this, host_ != nullptr);
  } else if (!vertical && vertical_bar_ != nullptr) {
    vertical_bar_->Delete();
    vertical_bar_ = nullptr;
  }
  if (horizontal && horizontal_bar_ == nullptr) {
    horizontal_bar_ = new CScrollBarUI();
    horizontal_bar_->SetHorizontal(true);
    horizontal_bar_->SetOwner(this);
    horizontal_bar_->SetHost(host_, this, host_ != nullptr);
  } else if (!horizontal && horizontal_bar_ != nullptr) {
    horizontal_bar_->Delete();
    horizontal_bar_ = nullptr;
  }
  NeedUpdate();
}

void CContainerUI::ProcessScrollBar(const UiRect& inner, int needed_width, int needed_height) {
  if (vertical_bar_ != nullptr) {
    const int range = std::max(0, SatSub(needed_height, inner.Height()));
    vertical_bar_->SetScrollRange(range);
    const bool show = range > 0;
    if (vertical_bar_->IsVisible() != show) vertical_bar_->SetVisible(show);
    if (show) {
      const int thickness = vertical_bar_->GetThickness();
      vertical_bar_->SetPos(UiRect{inner.right, inner.top, SatAdd(inner.right, thickness), inner.bottom}, false);
    }
  }
  if (horizontal_bar_ != nullptr) {
    const int range = std::max(0, SatSub(needed_width, inner.Width()));
    horizontal_bar_->SetScrollRange(range);
    const bool show = range > 0;
    if (horizontal_bar_->IsVisible() != show) horizontal_bar_->SetVisible(show);
    if (show) {
      const int thickness = horizontal_bar_->GetThickness();
      horizontal_bar_->SetPos(UiRect{inner.left, inner.bottom, inner.right, SatAdd(inner.bottom, thickness)}, false);
    }
  }
}

}  // namespace Veneer

#include "uiframework/layout/tab_layout.h"

#include <algorithm>
#include <cwchar>

#include "uiframework/base/attribute_values.h"
#include "uiframework/core/paint_host.h"

namespace Veneer {

const wchar_t* CTabLayoutUI::GetClass() const { return L"TabLayoutUI"; }

void* CTabLayoutUI::GetInterface(const wchar_t* name) {
  if (name != nullptr && std::wcscmp(name, L"TabLayout") == 0) return this;
  return CContainerUI::GetInterface(name);
}

void CTabLayoutUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  if (name != nullptr && value != nullptr && std::wcscmp(name, L"selectedid") == 0) {
    SelectItem(ParseDecimal(value));
  } else {
    CContainerUI::SetAttribute(name, value);
  }
}

bool CTabLayoutUI::AddAt(CControlUI* control, int index) {
  if (!CContainerUI::AddAt(control, index)) return false;
  if (selected_ < 0 && control->IsVisible()) {
    selected_ = GetItemIndex(control);
  } else {
    if (index <= selected_) ++selected_;
    control->SetVisible(false);
  }
  return true;
}

bool CTabLayoutUI::RemoveAt(int index) {
  if (!CContainerUI::RemoveAt(index)) return false;
  if (index == selected_) {
    selected_ = -1;
    if (GetCount() > 0) SelectItem(std::min(index, GetCount() - 1));
  } else if (index < selected_) {
    --selected_;
  }
  return true;
}

void CTabLayoutUI::RemoveAll() {
  selected_ = -1;
  CContainerUI::RemoveAll();
}

bool CTabLayoutUI::SelectItem(int index) {
  if (index < 0 || index >= GetCount()) return false;
  if (index == selected_) return true;
  const int old = selected_;
  selected_ = index;
  // Only the selected child is visible (AddAt hides the others), so only
  // the old one needs hiding.
  if (CControlUI* previous = GetItemAt(old)) previous->SetVisible(false);
  CControlUI* item = GetItemAt(index);
  item->SetVisible(true);
  item->SetFocus();
  NeedParentUpdate();
  if (host_ != nullptr) {
    host_->SetNextTabControlLater();
    host_->SendNotify(this, L"tabselect", static_cast<uintptr_t>(index), old);
  }
  return true;
}

void CTabLayoutUI::SetPos(const UiRect& rect, bool invalidate) {
  CControlUI::SetPos(rect, invalidate);
  const UiRect inner = GetInnerRect();
  for (int i = 0; i < GetCount(); ++i) {
    CControlUI* item = GetItemAt(i);
    if (!item->IsVisible()) continue;
    if (item->IsFloat()) {
      SetFloatPos(i);
      continue;
    }
    if (i != selected_) continue;
    const DpiScale& scale = GetDpiScale();
    const UiRect area = inner.Deflate(scale.Scale(item->GetPadding()));
    const UiSize want = item->EstimateSize(UiSize{area.Width(), area.Height()});
    long long width = want.cx != 0 ? want.cx : area.Width();
    long long height = want.cy != 0 ? want.cy : area.Height();
    width = LimitSize(width, scale.Scale(item->GetMinWidth()), scale.Scale(item->GetMaxWidth()));
    height = LimitSize(height, scale.Scale(item->GetMinHeight()), scale.Scale(item->GetMaxHeight()));
    item->SetPos(UiRect{area.left, area.top, ClampCoord(area.left + width), ClampCoord(area.top + height)}, false);
  }
}

}  // namespace Veneer

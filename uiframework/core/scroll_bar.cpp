#include "uiframework/core/scroll_bar.h"

#include <algorithm>
#include <cwchar>

#include "uiframework/base/attribute_values.h"

namespace Veneer {

CScrollBarUI::CScrollBarUI() { SetFixedWidth(kDefaultThickness); }

const wchar_t* CScrollBarUI::GetClass() const { return L"ScrollBarUI"; }

void* CScrollBarUI::GetInterface(const wchar_t* name) {
  if (name != nullptr && std::wcscmp(name, L"ScrollBar") == 0) return this;
  return CControlUI::GetInterface(name);
}

void CScrollBarUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  if (name == nullptr || value == nullptr) return;
  const std::wstring_view n(name);
  if (n == L"hor") {
    SetHorizontal(ParseBool(value));
  } else if (n == L"linesize") {
    SetLineSize(ParseDecimal(value));
  } else if (n == L"range") {
    SetScrollRange(ParseDecimal(value));
  } else if (n == L"value") {
    SetScrollPos(ParseDecimal(value));
  } else {
    CControlUI::SetAttribute(name, value);
  }
}

void CScrollBarUI::SetHorizontal(bool horizontal) {
  if (horizontal_ == horizontal) return;
  horizontal_ = horizontal;
  if (horizontal) {
    fixed_size_ = UiSize{0, kDefaultThickness};
  } else {
    fixed_size_ = UiSize{kDefaultThickness, 0};
  }
  NeedParentUpdate();
}

void CScrollBarUI::SetScrollRange(int range) {
  range_ = std::max(range, 0);
  scroll_pos_ = std::clamp(scroll_pos_, 0, range_);
  Invalidate();
}

void CScrollBarUI::SetScrollPos(int pos) {
  pos = std::clamp(pos, 0, range_);
  if (scroll_pos_ == pos) return;
  scroll_pos_ = pos;
  Invalidate();
}

int CScrollBarUI::GetThickness() const { return std::max(Scaled(horizontal_ ? fixed_size_.cy : fixed_size_.cx), 0); }

}  // namespace Veneer

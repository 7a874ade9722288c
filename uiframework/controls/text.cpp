#include "uiframework/controls/text.h"

#include <algorithm>
#include <cwchar>

#include "uiframework/core/paint_host.h"

namespace Veneer {

namespace {

constexpr int kMeasureHeight = 9999;

}  // namespace

CTextUI::CTextUI() {
  text_style_ = kTextWordBreak;
  text_padding_ = UiRect{2, 0, 2, 0};
}

const wchar_t* CTextUI::GetClass() const { return L"TextUI"; }

void* CTextUI::GetInterface(const wchar_t* name) {
  if (name != nullptr && std::wcscmp(name, L"Text") == 0) return this;
  return CLabelUI::GetInterface(name);
}

UiSize CTextUI::EstimateSize(const UiSize& available) {
  IRenderUI* render = host_ != nullptr ? host_->GetRender() : nullptr;
  UiSize size = Scaled(fixed_size_);
  if (fixed_size_.cy != 0) return size;
  const UiRect padding = Scaled(text_padding_);
  if (render == nullptr || text_.empty()) {
    size.cy = SatAdd(padding.top, padding.bottom);
    return size;
  }
  const int right = SatSub(std::max(size.cx, available.cx), padding.right);
  const UiRect area{padding.left, 0, std::max(right, padding.left), Scaled(kMeasureHeight)};
  const UiRect measured = render->MeasureText(area, text_, Font(), text_style_ | kTextCalcRect);
  size.cy = ClampCoord(static_cast<long long>(measured.Height()) + padding.top + padding.bottom);
  return size;
}

void CTextUI::PaintText(IRenderUI& render) {
  ResolveDefaultColors();
  DrawLabelText(render, IsEnabled() ? text_color_ : disabled_text_color_, text_style_);
}

}  // namespace Veneer

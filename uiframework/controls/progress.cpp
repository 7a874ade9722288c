#include "uiframework/controls/progress.h"

#include <algorithm>
#include <climits>
#include <cwchar>

#include "uiframework/base/attribute_values.h"

namespace Veneer {

namespace {

constexpr int kDefaultHeight = 12;

}  // namespace

CProgressUI::CProgressUI() {
  text_style_ = kTextSingleLine | kTextCenter;
  fixed_size_.cy = kDefaultHeight;
}

const wchar_t* CProgressUI::GetClass() const { return L"ProgressUI"; }

void* CProgressUI::GetInterface(const wchar_t* name) {
  if (name != nullptr && std::wcscmp(name, L"Progress") == 0) return this;
  return CLabelUI::GetInterface(name);
}

void CProgressUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  if (name == nullptr || value == nullptr) return;
  const std::wstring_view n(name);
  if (n == L"foreimage") {
    SetForeImage(value);
  } else if (n == L"hor") {
    SetHorizontal(ParseBool(value));
  } else if (n == L"min") {
    SetMinValue(ParseDecimal(value));
  } else if (n == L"max") {
    SetMaxValue(ParseDecimal(value));
  } else if (n == L"value") {
    SetValue(ParseDecimal(value));
  } else if (n == L"isstretchfore") {
    SetStretchForeImage(ParseBool(value));
  } else {
    CLabelUI::SetAttribute(name, value);
  }
}

void CProgressUI::SetHorizontal(bool horizontal) {
  if (horizontal_ == horizontal) return;
  horizontal_ = horizontal;
  Invalidate();
}

void CProgressUI::SetStretchForeImage(bool stretch) {
  if (stretch_fore_ == stretch) return;
  stretch_fore_ = stretch;
  Invalidate();
}

void CProgressUI::SetMinValue(int min) {
  min_ = min;
  Invalidate();
}

void CProgressUI::SetMaxValue(int max) {
  max_ = max;
  Invalidate();
}

void CProgressUI::SetValue(int value) {
  if (value_ == value) return;
  value_ = value;
  Invalidate();
}

void CProgressUI::SetForeImage(const std::wstring& descriptor) {
  fore_image_.SetText(descriptor);
  Invalidate();
}

void CProgressUI::Normalize() {
  if (min_ >= max_) max_ = min_ == INT_MAX ? INT_MAX : min_ + 1;
  if (min_ == INT_MAX) min_ = INT_MAX - 1;  // keeps min below max
  value_ = std::clamp(value_, min_, max_);
}

void CProgressUI::PaintStatusImage(IRenderUI& render) {
  Normalize();
  const long long span = static_cast<long long>(max_) - min_;
  UiRect part;  // relative to the control
  if (horizontal_) {
    part.right =
        static_cast<int>(static_cast<long long>(pos_.Width()) * (value_ - static_cast<long long>(min_)) / span);
    part.bottom = pos_.Height();
  } else {
    part.top = static_cast<int>(static_cast<long long>(pos_.Height()) * (max_ - static_cast<long long>(value_)) / span);
    part.right = pos_.Width();
    part.bottom = pos_.Height();
  }
  if (fore_image_.IsEmpty() || part.IsEmpty()) return;
  ImageDrawInfo fore = fore_image_;
  fore.pixel_geometry = true;
  fore.dest = part;
  if (!stretch_fore_) fore.source = part;
  DrawImage(render, fore);
  // Keep what the first attempt learned (the image, or that it is missing).
  fore_image_.loaded = fore.loaded;
  fore_image_.dpi = fore.dpi;
  fore_image_.image = fore.image;
}

}  // namespace Veneer

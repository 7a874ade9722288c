#include "uiframework/controls/button.h"

#include <cwchar>

#include "uiframework/base/attribute_values.h"
#include "uiframework/core/paint_host.h"

namespace Veneer {

namespace {

constexpr int kButtonExtraHeight = 8;

}  // namespace

CButtonUI::CButtonUI() = default;

const wchar_t* CButtonUI::GetClass() const { return L"ButtonUI"; }

void* CButtonUI::GetInterface(const wchar_t* name) {
  if (name != nullptr && std::wcscmp(name, L"Button") == 0) return this;
  return CLabelUI::GetInterface(name);
}

uint32_t CButtonUI::GetControlFlags() const {
  uint32_t flags = 0;
  if (IsKeyboardEnabled()) flags |= kControlFlagTabStop;
  if (IsEnabled()) flags |= kControlFlagSetCursor;
  return flags;
}

bool CButtonUI::Activate() {
  if (!CLabelUI::Activate()) return false;
  if (host_ != nullptr) host_->SendNotify(this, L"click");
  return true;
}

void CButtonUI::SetEnabled(bool enabled) {
  CLabelUI::SetEnabled(enabled);
  if (!enabled) state_ = 0;
}

void CButtonUI::DoEvent(UIEvent& event) {
  if (!IsMouseEnabled() && IsMouseEvent(event.kind)) {
    if (parent_ != nullptr) {
      parent_->DoEvent(event);
    } else {
      CLabelUI::DoEvent(event);
    }
    return;
  }
  switch (event.kind) {
    case kUIEventSetFocus:
    case kUIEventKillFocus:
      CLabelUI::DoEvent(event);
      Invalidate();
      return;
    case kUIEventKeyDown:
      if (IsKeyboardEnabled() && (event.ch == kKeySpace || event.ch == kKeyReturn)) {
        Activate();
        return;
      }
      break;
    case kUIEventButtonDown:
    case kUIEventDblClick:
      if (pos_.Contains(event.point) && IsEnabled()) {
        state_ |= kStatePushed | kStateCaptured;
        Invalidate();
      }
      return;
    case kUIEventMouseMove:
      if ((state_ & kStateCaptured) != 0) {
        const uint32_t old = state_;
        if (pos_.Contains(event.point)) {
          state_ |= kStatePushed;
        } else {
          state_ &= ~kStatePushed;
        }
        if (state_ != old) Invalidate();
      }
      return;
    case kUIEventButtonUp:
      if ((state_ & kStateCaptured) != 0) {
        state_ &= ~(kStatePushed | kStateCaptured);
        Invalidate();
        if (pos_.Contains(event.point)) Activate();
      }
      return;
    case kUIEventMouseEnter:
      if (IsEnabled() && hot_display_) {
        state_ |= kStateHot;
        Invalidate();
      }
      return;
    case kUIEventMouseLeave:
      if (IsEnabled() && hot_display_) {
        state_ &= ~kStateHot;
        Invalidate();
      }
      return;
    case kUIEventSetCursor:
      if (host_ != nullptr) host_->SetCursorShape(CursorShape::kHand);
      return;
    default:
      break;
  }
  CLabelUI::DoEvent(event);
}

void CButtonUI::SetNormalImage(const std::wstring& descriptor) {
  normal_image_.SetText(descriptor);
  Invalidate();
}

void CButtonUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  if (name == nullptr || value == nullptr) return;
  const std::wstring_view n(name);
  ImageDrawInfo* image = nullptr;
  if (n == L"normalimage") {
    image = &normal_image_;
  } else if (n == L"hotimage") {
    image = &hot_image_;
  } else if (n == L"pushedimage") {
    image = &pushed_image_;
  } else if (n == L"focusedimage") {
    image = &focused_image_;
  } else if (n == L"disabledimage") {
    image = &disabled_image_;
  } else if (n == L"foreimage") {
    image = &fore_image_;
  } else if (n == L"hotforeimage") {
    image = &hot_fore_image_;
  } else if (n == L"pushedforeimage") {
    image = &pushed_fore_image_;
  }
  if (image != nullptr) {
    image->SetText(value);
    Invalidate();
  } else if (n == L"hot_disable") {
    hot_display_ = std::wcscmp(value, L"true") == 0;
  } else if (n == L"hotbkcolor") {
    hot_bk_color_ = ParseColor(value);
  } else if (n == L"hottextcolor") {
    hot_text_color_ = ParseColor(value);
  } else if (n == L"pushedtextcolor") {
    pushed_text_color_ = ParseColor(value);
  } else if (n == L"focusedtextcolor") {
    focused_text_color_ = ParseColor(value);
  } else if (n == L"link_url") {
    link_url_ = value;
  } else {
    CLabelUI::SetAttribute(name, value);
  }
}

UiSize CButtonUI::EstimateSize(const UiSize&) {
  if (fixed_size_.cy != 0) return Scaled(fixed_size_);
  return UiSize{Scaled(fixed_size_.cx), SatAdd(FontHeight(), Scaled(kButtonExtraHeight))};
}

uint32_t CButtonUI::ButtonTextColor(uint32_t state) const {
  if ((state & kStatePushed) != 0 && pushed_text_color_ != 0) return pushed_text_color_;
  if ((state & kStateHot) != 0 && hot_text_color_ != 0) return hot_text_color_;
  if ((state & kStateFocused) != 0 && focused_text_color_ != 0) return focused_text_color_;
  return IsEnabled() ? text_color_ : disabled_text_color_;
}

void CButtonUI::PaintText(IRenderUI& render) {
  RefreshState();
  ResolveDefaultColors();
  DrawLabelText(render, ButtonTextColor(state_), text_style_ | kTextSingleLine);
}

void CButtonUI::PaintButtonImages(IRenderUI& render, uint32_t state) {
  if ((state & kStateDisabled) != 0) {
    if (!DrawImage(render, disabled_image_)) DrawImage(render, normal_image_);
  } else if ((state & kStatePushed) != 0) {
    if (!DrawImage(render, pushed_image_)) DrawImage(render, normal_image_);
    if (DrawImage(render, pushed_fore_image_)) return;
  } else if ((state & kStateHot) != 0) {
    if (!DrawImage(render, hot_image_)) DrawImage(render, normal_image_);
    if (DrawImage(render, hot_fore_image_)) return;
    if (hot_bk_color_ != 0) {
      render.FillRect(PaintArea(), hot_bk_color_);
      return;
    }
  } else if ((state & kStateFocused) != 0) {
    if (!DrawImage(render, focused_image_)) DrawImage(render, normal_image_);
  } else {
    DrawImage(render, normal_image_);
  }
  DrawImage(render, fore_image_);
}

void CButtonUI::RefreshState() {
  if (IsFocused()) {
    state_ |= kStateFocused;
  } else {
    state_ &= ~kStateFocused;
  }
  if (!IsEnabled()) {
    state_ |= kStateDisabled;
  } else {
    state_ &= ~kStateDisabled;
  }
}

void CButtonUI::PaintStatusImage(IRenderUI& render) {
  RefreshState();
  PaintButtonImages(render, state_);
}

}  // namespace Veneer

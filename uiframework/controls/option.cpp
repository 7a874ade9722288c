#include "uiframework/controls/option.h"

#include <cwchar>

#include "uiframework/base/attribute_values.h"
#include "uiframework/core/paint_host.h"

namespace Veneer {

const wchar_t* COptionUI::GetClass() const { return L"OptionUI"; }

void* COptionUI::GetInterface(const wchar_t* name) {
  if (name != nullptr && std::wcscmp(name, L"Option") == 0) return this;
  return CButtonUI::GetInterface(name);
}

void COptionUI::SetHost(CPaintHostUI* host, CControlUI* parent, bool init) {
  const bool host_changed = host != host_;
  CButtonUI::SetHost(host, parent, init);
  // Leaving a host removes the option from its groups (the host's reaping);
  // joining one with initialisation registers it once.
  if (host_changed) registered_ = nullptr;
  if (init && host != nullptr && host_changed && !group_.empty()) {
    host->GetOptionGroups().Add(group_, this, selected_);
    registered_ = host;
  }
}

bool COptionUI::Activate() {
  if (!CButtonUI::Activate()) return false;
  Selected(group_.empty() ? !selected_ : true);
  return true;
}

void COptionUI::SetEnabled(bool enabled) {
  CLabelUI::SetEnabled(enabled);
  if (!enabled) state_ &= kStateSelected;
}

void COptionUI::SetGroup(const std::wstring& group) {
  if (group == group_) return;
  if (registered_ != nullptr) {
    registered_->GetOptionGroups().Remove(this);
    if (!group.empty()) registered_->GetOptionGroups().Add(group, this, selected_);
  }
  group_ = group;
}

void COptionUI::Selected(bool selected) {
  if (selected_ == selected) return;
  selected_ = selected;
  if (selected) {
    state_ |= kStateSelected;
  } else {
    state_ &= ~kStateSelected;
  }
  if (registered_ != nullptr) registered_->GetOptionGroups().SetSelected(this, selected);
  if (host_ != nullptr) {
    if (group_.empty()) {
      host_->SendNotify(this, L"selectchanged");
    } else if (selected_) {
      // Only the selected ones need deselecting: one, normally.
      for (CControlUI* other : host_->GetOptionGroups().SelectedOthers(group_, this)) {
        auto* option = static_cast<COptionUI*>(other->GetInterface(L"Option"));
        if (option != nullptr) option->Selected(false);
      }
      host_->SendNotify(this, L"selectchanged");
    }
  }
  Invalidate();
}

void COptionUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  if (name == nullptr || value == nullptr) return;
  const std::wstring_view n(name);
  if (n == L"group") {
    SetGroup(value);
  } else if (n == L"selected") {
    Selected(ParseBool(value));
  } else if (n == L"selectedimage") {
    selected_image_.SetText(value);
  } else if (n == L"selectedhotimage") {
    selected_hot_image_.SetText(value);
  } else if (n == L"foreimage") {
    option_fore_image_.SetText(value);
  } else if (n == L"selectedbkcolor") {
    selected_bk_color_ = ParseColor(value);
  } else if (n == L"selectedtextcolor") {
    selected_text_color_ = ParseColor(value);
  } else {
    CButtonUI::SetAttribute(name, value);
  }
}

void COptionUI::PaintStatusImage(IRenderUI& render) {
  RefreshState();
  const uint32_t state = state_ & ~kStatePushed;  // an option never shows itself pushed
  if (!selected_) {
    PaintButtonImages(render, state);
    return;
  }
  bool drawn = (state & kStateHot) != 0 && DrawImage(render, selected_hot_image_);
  if (!drawn) drawn = DrawImage(render, selected_image_);
  if (!drawn) {
    if (selected_bk_color_ != 0) {
      render.FillRect(PaintArea(), selected_bk_color_);
    } else {
      PaintButtonImages(render, state);
    }
  }
  DrawImage(render, option_fore_image_);
}

void COptionUI::PaintText(IRenderUI& render) {
  if (!selected_) {
    CButtonUI::PaintText(render);
    return;
  }
  ResolveDefaultColors();
  uint32_t color = IsEnabled() ? text_color_ : disabled_text_color_;
  if (selected_text_color_ != 0) color = selected_text_color_;
  DrawLabelText(render, color, text_style_ | kTextSingleLine);
}

void* CCheckBoxUI::GetInterface(const wchar_t* name) {
  if (name != nullptr && std::wcscmp(name, L"CheckBox") == 0) return this;
  return COptionUI::GetInterface(name);
}

}  // namespace Veneer

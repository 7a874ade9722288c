#include "uiframework/controls/label.h"

#include <cwchar>
#include <stdexcept>

#include "uiframework/base/attribute_values.h"
#include "uiframework/core/paint_host.h"

namespace Veneer {

namespace {

constexpr int kLabelExtraHeight = 4;

bool Has(const wchar_t* value, const wchar_t* word) { return std::wcsstr(value, word) != nullptr; }

// Markup text is drawn as its plain text: tags in braces ({b}, {c #FF0000},
// {a}, ...) are left out.
std::wstring StripMarkup(const std::wstring& text) {
  std::wstring plain;
  plain.reserve(text.size());
  bool in_tag = false;
  for (wchar_t c : text) {
    if (c == L'{' || c == L'<') {
      in_tag = true;
    } else if (in_tag && (c == L'}' || c == L'>')) {
      in_tag = false;
    } else if (!in_tag) {
      plain.push_back(c);
    }
  }
  return plain;
}

}  // namespace

CLabelUI::CLabelUI() : text_style_(kTextVCenter) {}

const wchar_t* CLabelUI::GetClass() const { return L"LabelUI"; }

void* CLabelUI::GetInterface(const wchar_t* name) {
  if (name != nullptr && std::wcscmp(name, L"Label") == 0) return this;
  return CControlUI::GetInterface(name);
}

std::wstring CLabelUI::GetText() const {
  try {
    return text_;
  } catch (...) {
    throw std::runtime_error("CLabelUI::GetText");
  }
}

void CLabelUI::SetText(const std::wstring& text) {
  try {
    CControlUI::SetText(text);
  } catch (...) {
    throw std::runtime_error("CLabelUI::SetText");
  }
}

void CLabelUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  if (name == nullptr || value == nullptr) return;
  const std::wstring_view n(name);
  if (n == L"align") {
    uint32_t style = text_style_;
    if (Has(value, L"left")) style &= ~(kTextCenter | kTextRight | kTextSingleLine);
    if (Has(value, L"center")) style = (style & ~kTextRight) | kTextCenter;
    if (Has(value, L"right")) style = (style & ~(kTextCenter | kTextSingleLine)) | kTextRight;
    SetTextStyle(style);
  } else if (n == L"valign") {
    uint32_t style = text_style_;
    if (Has(value, L"top")) style = (style & ~(kTextVCenter | kTextBottom)) | kTextSingleLine;
    if (Has(value, L"vcenter")) style = (style & ~kTextBottom) | kTextVCenter | kTextSingleLine;
    if (Has(value, L"bottom")) style = (style & ~kTextVCenter) | kTextBottom | kTextSingleLine;
    SetTextStyle(style);
  } else if (n == L"endellipsis") {
    SetTextStyle(ParseBool(value) ? text_style_ | kTextEndEllipsis : text_style_ & ~kTextEndEllipsis);
  } else if (n == L"font") {
    SetFont(ParseDecimal(value));
  } else if (n == L"textcolor") {
    SetTextColor(ParseColor(value));
  } else if (n == L"disabledtextcolor") {
    SetDisabledTextColor(ParseColor(value));
  } else if (n == L"textpadding") {
    SetTextPadding(ParseRect(value));
  } else if (n == L"showhtml") {
    SetShowHtml(ParseBool(value));
  } else if (n == L"enabledeffect") {
    effect_enabled_ = ParseBool(value);
  } else if (n == L"rhaa") {
    effect_.antialias = ParseBool(value);
  } else if (n == L"transshadow") {
    effect_.trans_shadow = ParseDecimal(value);
  } else if (n == L"transtext") {
    effect_.trans_text = ParseDecimal(value);
  } else if (n == L"transshadow1") {
    effect_.trans_shadow1 = ParseDecimal(value);
  } else if (n == L"transtext1") {
    effect_.trans_text1 = ParseDecimal(value);
  } else if (n == L"gradientangle") {
    effect_.gradient_angle = ParseDecimal(value);
  } else if (n == L"enabledstroke") {
    effect_.stroke = ParseBool(value);
  } else if (n == L"enabledshadow") {
    effect_.shadow = ParseBool(value);
  } else if (n == L"transstroke") {
    effect_.trans_stroke = ParseDecimal(value);
  } else if (n == L"gradientlength") {
    effect_.gradient_length = ParseDecimal(value);
  } else if (n == L"shadowoffset") {
    const UiSize offset = ParseSize(value);
    effect_.shadow_offset = UiPoint{offset.cx, offset.cy};
  } else if (n == L"textcolor1") {
    effect_.color1 = ParseColor(value);
  } else if (n == L"textshadowcolora") {
    effect_.shadow_color_a = ParseColor(value);
  } else if (n == L"textshadowcolorb") {
    effect_.shadow_color_b = ParseColor(value);
  } else if (n == L"strokecolor") {
    effect_.stroke_color = ParseColor(value);
  } else if (n == L"drag") {
    drag_ = ParseBool(value);
  } else {
    CControlUI::SetAttribute(name, value);
  }
}

FontDescription CLabelUI::Font() const {
  FontDescription font =
      host_ != nullptr ? host_->GetResources().GetFont(font_) : CResourceTablesUI::Shared().GetFont(font_);
  font.height = Scaled(font.height);
  return font;
}

int CLabelUI::FontHeight() const {
  IRenderUI* render = host_ != nullptr ? host_->GetRender() : nullptr;
  const FontDescription font = Font();
  return render != nullptr ? render->GetFontHeight(font) : font.Size();
}

UiSize CLabelUI::EstimateSize(const UiSize&) {
  if (fixed_size_.cy != 0) return Scaled(fixed_size_);  // a negative height is fixed too (at none)
  return UiSize{Scaled(fixed_size_.cx), SatAdd(FontHeight(), Scaled(kLabelExtraHeight))};
}

void CLabelUI::ResolveDefaultColors() {
  if (host_ == nullptr) return;
  const DefaultColors& defaults = host_->GetDefaultColors();
  if (text_color_ == 0) text_color_ = defaults.normal;
  if (disabled_text_color_ == 0) disabled_text_color_ = defaults.disabled;
}

void CLabelUI::DrawLabelText(IRenderUI& render, uint32_t color, uint32_t style) {
  if (text_.empty()) return;
  std::wstring text = GetResources() != nullptr ? GetResources()->ProcessMultiLanguageTokens(text_) : text_;
  if (show_html_) text = StripMarkup(text);
  const UiRect rect = pos_.Deflate(Scaled(text_padding_));
  if (effect_enabled_) {
    TextEffect effect = effect_;
    effect.color = color;
    effect.shadow_offset = GetDpiScale().Scale(effect_.shadow_offset);
    effect.gradient_length = Scaled(effect_.gradient_length);
    render.DrawEffectText(rect, text, effect, Font(), style);
  } else {
    render.DrawText(rect, text, color, Font(), style);
  }
}

void CLabelUI::PaintText(IRenderUI& render) {
  ResolveDefaultColors();
  DrawLabelText(render, IsEnabled() ? text_color_ : disabled_text_color_, text_style_ | kTextSingleLine);
}

void CLabelUI::SetFont(int index) {
  font_ = index;
  Invalidate();
}

void CLabelUI::SetTextColor(uint32_t color) {
  text_color_ = color;
  Invalidate();
}

void CLabelUI::SetDisabledTextColor(uint32_t color) {
  disabled_text_color_ = color;
  Invalidate();
}

void CLabelUI::SetTextStyle(uint32_t style) {
  text_style_ = style;
  Invalidate();
}

void CLabelUI::SetTextPadding(const UiRect& padding) {
  text_padding_ = padding;
  Invalidate();
}

void CLabelUI::SetShowHtml(bool show) {
  if (show_html_ == show) return;
  show_html_ = show;
  Invalidate();
}

}  // namespace Veneer

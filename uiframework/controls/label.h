#pragma once

// A text control: one line of text in the control's font and colours
// (labels never wrap), inside the text padding, aligned by the style
// flags. The base of buttons, options, progress bars and texts.
// Thread affinity: UI thread only.

#include <string>

#include "uiframework/core/control.h"
#include "uiframework/core/render.h"

namespace Veneer {

class CLabelUI : public CControlUI {
 public:
  CLabelUI();

  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  // Any failure while copying the text surfaces as std::runtime_error with
  // the message "CLabelUI::GetText" / "CLabelUI::SetText".
  std::wstring GetText() const override;
  void SetText(const std::wstring& text) override;
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;
  // Fixed size when a height is fixed, else the fixed width and the font's
  // character height plus 4.
  UiSize EstimateSize(const UiSize& available) override;
  void PaintText(IRenderUI& render) override;

  int GetFont() const { return font_; }
  void SetFont(int index);
  uint32_t GetTextColor() const { return text_color_; }
  void SetTextColor(uint32_t color);
  uint32_t GetDisabledTextColor() const { return disabled_text_color_; }
  void SetDisabledTextColor(uint32_t color);
  uint32_t GetTextStyle() const { return text_style_; }
  void SetTextStyle(uint32_t style);
  UiRect GetTextPadding() const { return text_padding_; }
  void SetTextPadding(const UiRect& padding);
  bool IsShowHtml() const { return show_html_; }
  void SetShowHtml(bool show);
  bool IsEffectEnabled() const { return effect_enabled_; }
  const TextEffect& GetTextEffect() const { return effect_; }

 protected:
  // The control's font (the window's default for index -1) at the window's
  // scale: the skin's size is in 96-DPI pixels.
  FontDescription Font() const;
  // The font's character height from the renderer (the size without one).
  int FontHeight() const;
  // Draws the text in `color` with `style`: markup tags removed with
  // "showhtml", language tokens replaced, effects when enabled.
  void DrawLabelText(IRenderUI& render, uint32_t color, uint32_t style);
  // The host's defaults replace unset colours, once.
  void ResolveDefaultColors();

  int font_ = -1;
  uint32_t text_color_ = 0;
  uint32_t disabled_text_color_ = 0;
  uint32_t text_style_;
  UiRect text_padding_;
  bool show_html_ = false;
  bool effect_enabled_ = false;
  bool drag_ = false;
  TextEffect effect_;
};

}  // namespace Veneer

#pragma once

// A clickable label: pressed and released inside it (or Space / Return
// while it has the focus) it sends "click". It shows an image per state
// (normal, hot, pushed, focused, disabled; normal stands in for any that
// cannot be drawn) and a text colour per state.
// Thread affinity: UI thread only.

#include "uiframework/controls/label.h"

namespace Veneer {

class CButtonUI : public CLabelUI {
 public:
  CButtonUI();

  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  uint32_t GetControlFlags() const override;
  // Sends "click" synchronously; false unless visible and enabled.
  bool Activate() override;
  void SetEnabled(bool enabled = true) override;
  void DoEvent(UIEvent& event) override;
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;
  // As a label, but the font's character height plus 8.
  UiSize EstimateSize(const UiSize& available) override;
  void PaintText(IRenderUI& render) override;
  void PaintStatusImage(IRenderUI& render) override;

  uint32_t GetState() const { return state_; }
  bool IsHotDisplay() const { return hot_display_; }
  void SetHotDisplay(bool on) { hot_display_ = on; }
  uint32_t GetHotTextColor() const { return hot_text_color_; }
  void SetHotTextColor(uint32_t color) { hot_text_color_ = color; }
  uint32_t GetPushedTextColor() const { return pushed_text_color_; }
  void SetPushedTextColor(uint32_t color) { pushed_text_color_ = color; }
  uint32_t GetFocusedTextColor() const { return focused_text_color_; }
  void SetFocusedTextColor(uint32_t color) { focused_text_color_ = color; }
  uint32_t GetHotBkColor() const { return hot_bk_color_; }
  void SetNormalImage(const std::wstring& descriptor);
  const std::wstring& GetLinkUrl() const { return link_url_; }

 protected:
  // The state images of a button (steps 1-6 of its painting); an option
  // reuses them with its own state.
  void PaintButtonImages(IRenderUI& render, uint32_t state);
  // The text colour for a state.
  uint32_t ButtonTextColor(uint32_t state) const;
  // Brings the focused and disabled bits in line with the control.
  void RefreshState();

  uint32_t state_ = 0;
  bool hot_display_ = true;
  uint32_t hot_bk_color_ = 0;
  uint32_t hot_text_color_ = 0;
  uint32_t pushed_text_color_ = 0;
  uint32_t focused_text_color_ = 0;
  std::wstring link_url_;
  ImageDrawInfo normal_image_;
  ImageDrawInfo hot_image_;
  ImageDrawInfo pushed_image_;
  ImageDrawInfo focused_image_;
  ImageDrawInfo disabled_image_;
  ImageDrawInfo fore_image_;
  ImageDrawInfo hot_fore_image_;
  ImageDrawInfo pushed_fore_image_;
};

}  // namespace Veneer

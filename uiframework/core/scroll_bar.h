#pragma once

// The scroll bar a container creates on demand. It keeps the range and the
// scroll position and paints like any control (background colour or image
// from its style attributes); no skin of the program uses one.
// Thread affinity: UI thread only.

#include "uiframework/core/control.h"

namespace Veneer {

class CContainerUI;

class CScrollBarUI : public CControlUI {
 public:
  static constexpr int kDefaultThickness = 16;
  static constexpr int kDefaultLineSize = 8;

  CScrollBarUI();

  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;

  CContainerUI* GetOwner() const { return owner_; }
  void SetOwner(CContainerUI* owner) { owner_ = owner; }
  bool IsHorizontal() const { return horizontal_; }
  void SetHorizontal(bool horizontal);
  int GetScrollRange() const { return range_; }
  // Clamps the position into the new range.
  void SetScrollRange(int range);
  int GetScrollPos() const { return scroll_pos_; }
  void SetScrollPos(int pos);
  int GetLineSize() const { return line_size_; }
  void SetLineSize(int size) { line_size_ = size > 0 ? size : kDefaultLineSize; }
  // The room the bar takes from its container's inner rectangle, in pixels
  // at the window's scale.
  int GetThickness() const;

 private:
  CContainerUI* owner_ = nullptr;
  bool horizontal_ = false;
  int range_ = 0;
  int scroll_pos_ = 0;
  int line_size_ = kDefaultLineSize;
};

}  // namespace Veneer

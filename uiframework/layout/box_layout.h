#pragma once

// The stacking algorithm shared by the vertical and horizontal layouts,
// written once over a main axis (the one children are stacked along) and a
// cross axis.

#include "uiframework/core/container.h"

namespace Veneer {

enum class LayoutAxis { kVertical, kHorizontal };

// Places the children of `box` (whose own position is already set) one
// after another along `axis`: fixed sizes first, the rest shared among the
// stretchable children, floating children by their own coordinates.
void LayOutBox(CContainerUI& box, LayoutAxis axis);

// The common base of the two stacking layouts: the axis, and a draggable
// separator ("sepheight" / "sepwidth", 0 = none; "sepimm": resize while
// dragging), which is stored for skins that set it.
class CBoxLayoutUI : public CContainerUI {
 public:
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;
  void SetPos(const UiRect& rect, bool invalidate = true) override;

  int GetSepSize() const { return sep_size_; }
  void SetSepSize(int size) { sep_size_ = size; }
  bool IsSepImmMode() const { return sep_immediate_; }
  void SetSepImmMode(bool immediate) { sep_immediate_ = immediate; }

 protected:
  CBoxLayoutUI(LayoutAxis axis, const wchar_t* sep_attribute) : axis_(axis), sep_attribute_(sep_attribute) {}

 private:
  LayoutAxis axis_;
  const wchar_t* sep_attribute_;
  int sep_size_ = 0;
  bool sep_immediate_ = false;
};

}  // namespace Veneer

#include "uiframework/layout/box_layout.h"

#include <algorithm>
#include <cwchar>

#include "uiframework/base/attribute_values.h"
#include "uiframework/core/scroll_bar.h"

namespace Veneer {

namespace {

// Sizes and paddings seen along the main and cross axes. All arithmetic is
// 64-bit: skin numbers may be anything a 32-bit integer holds.
struct Axes {
  bool vertical;

  long long Main(const UiSize& s) const { return vertical ? s.cy : s.cx; }
  long long Cross(const UiSize& s) const { return vertical ? s.cx : s.cy; }
  long long Lead(const UiRect& r) const { return vertical ? r.top : r.left; }
  long long Trail(const UiRect& r) const { return vertical ? r.bottom : r.right; }
  long long CrossLead(const UiRect& r) const { return vertical ? r.left : r.top; }
  long long CrossTrail(const UiRect& r) const { return vertical ? r.right : r.bottom; }
  long long MinMain(const CControlUI& c) const { return vertical ? c.GetMinHeight() : c.GetMinWidth(); }
  long long MaxMain(const CControlUI& c) const { return vertical ? c.GetMaxHeight() : c.GetMaxWidth(); }
  long long MinCross(const CControlUI& c) const { return vertical ? c.GetMinWidth() : c.GetMinHeight(); }
  long long MaxCross(const CControlUI& c) const { return vertical ? c.GetMaxWidth() : c.GetMaxHeight(); }
  long long FixedCross(const CControlUI& c) const { return vertical ? c.GetFixedWidth() : c.GetFixedHeight(); }
  UiSize Size(long long main, long long cross) const {
    const int m = ClampCoord(main);
    const int c = ClampCoord(cross);
    return vertical ? UiSize{c, m} : UiSize{m, c};
  }
  UiRect Rect(long long main_from, long long main_to, long long cross_from, long long cross_to) const {
    const int m0 = ClampCoord(main_from), m1 = ClampCoord(main_to);
    const int c0 = ClampCoord(cross_from), c1 = ClampCoord(cross_to);
    return vertical ? UiRect{c0, m0, c1, m1} : UiRect{m0, c0, m1, c1};
  }
};

bool IsStacked(const CControlUI& child) { return child.IsVisible() && !child.IsFloat(); }

}  // namespace

void LayOutBox(CContainerUI& box, LayoutAxis axis) {
  const Axes a{axis == LayoutAxis::kVertical};
  const UiRect rc = box.GetInnerRect();
  const int count = box.GetCount();
  if (count == 0) {
    box.ProcessScrollBar(rc, 0, 0);
    return;
  }
  const UiSize scroll = box.GetScrollPos();
  const UiSize range = box.GetScrollRange();
  // The cross axis may scroll: its range widens what the children get.
  const CScrollBarUI* cross_bar = a.vertical ? box.GetHorizontalScrollBar() : box.GetVerticalScrollBar();
  const long long avail_main = a.vertical ? rc.Height() : rc.Width();
  long long avail_cross = a.vertical ? rc.Width() : rc.Height();
  if (cross_bar != nullptr && cross_bar->IsVisible()) avail_cross += a.Cross(range);
  const long long gap = box.GetChildPadding();

  // Pass 1: ask every stacked child for its size. A main size of 0 marks a
  // stretchable child; the others are fixed, paddings included.
  long long fixed = 0;
  int stretchables = 0;
  int counted = 0;
  for (int i = 0; i < count; ++i) {
    CControlUI& child = *box.GetItemAt(i);
    if (!IsStacked(child)) continue;
    const UiRect pad = child.GetPadding();
    long long main = a.Main(child.EstimateSize(a.Size(avail_main, avail_cross)));
    if (main == 0) {
      ++stretchables;
    } else {
      main = LimitSize(main, a.MinMain(child), a.MaxMain(child));
    }
    fixed += main + a.Lead(pad) + a.Trail(pad);
    ++counted;
  }
  if (counted > 0) fixed += gap * (counted - 1);

  // Pass 2: the share of each stretchable child.
  const long long stretch = stretchables > 0 ? std::max(0LL, (avail_main - fixed) / stretchables) : 0;

  // Pass 3: place the children in order. The last stretchable child takes
  // what is left, so that rounding never leaves a gap.
  long long pos = a.vertical ? static_cast<long long>(rc.top) - scroll.cy : static_cast<long long>(rc.left) - scroll.cx;
  const long long cross_start =
      a.vertical ? static_cast<long long>(rc.left) - scroll.cx : static_cast<long long>(rc.top);
  long long remaining = avail_main;
  long long remaining_fixed = fixed;
  long long needed = 0;
  int stretch_seen = 0;
  for (int i = 0; i < count; ++i) {
    CControlUI& child = *box.GetItemAt(i);
    if (!child.IsVisible()) continue;
    if (child.IsFloat()) {
      box.SetFloatPos(i);
      continue;
    }
    const UiRect pad = child.GetPadding();
    remaining -= a.Lead(pad);
    long long main = a.Main(child.EstimateSize(a.Size(remaining, avail_cross)));
    if (main != 0) {
      main = LimitSize(main, a.MinMain(child), a.MaxMain(child));
      remaining_fixed -= main;
    } else {
      ++stretch_seen;
      main = stretch_seen == stretchables ? std::max(0LL, remaining - a.Trail(pad) - remaining_fixed) : stretch;
      main = LimitSize(main, a.MinMain(child), a.MaxMain(child));
    }
    long long cross = a.FixedCross(child);
    if (cross == 0) cross = avail_cross - a.CrossLead(pad) - a.CrossTrail(pad);
    if (cross < 0) cross = 0;
    cross = LimitSize(cross, a.MinCross(child), a.MaxCross(child));

    // The trailing padding lies inside the child's rectangle.
    const long long from = pos + a.Lead(pad);
    const long long cross_from = cross_start + a.CrossLead(pad);
    child.SetPos(a.Rect(from, from + main + a.Trail(pad), cross_from, cross_from + cross), false);

    pos += main + gap + a.Lead(pad) + a.Trail(pad);
    needed += main + a.Lead(pad) + a.Trail(pad);
    remaining -= main + gap + a.Trail(pad);
  }
  if (counted > 0) needed += gap * (counted - 1);

  // Pass 4: the scroll bar along the main axis follows the room needed.
  const int needed_main = ClampCoord(needed);
  if (a.vertical) {
    box.ProcessScrollBar(rc, 0, needed_main);
  } else {
    box.ProcessScrollBar(rc, needed_main, 0);
  }
}

void CBoxLayoutUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  if (name == nullptr || value == nullptr) return;
  if (std::wcscmp(name, sep_attribute_) == 0) {
    SetSepSize(ParseDecimal(value));
  } else if (std::wcscmp(name, L"sepimm") == 0) {
    SetSepImmMode(ParseBool(value));
  } else {
    CContainerUI::SetAttribute(name, value);
  }
}

void CBoxLayoutUI::SetPos(const UiRect& rect, bool invalidate) {
  CControlUI::SetPos(rect, invalidate);
  LayOutBox(*this, axis_);
}

}  // namespace Veneer

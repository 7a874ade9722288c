#include "uiframework/layout/box_layout.h"

#include <algorithm>
#include <cwchar>
#include <optional>

#include "uiframework/base/attribute_values.h"
#include "uiframework/core/scroll_bar.h"

namespace Veneer {

namespace {

// Sizes and paddings seen along the main and cross axes. All arithmetic is
// 64-bit: skin numbers may be anything a 32-bit integer holds.
struct Axes {
  bool vertical;

  long long Main(const UiSize& s) const { return vertical ? s.cy : s.cx; }
  long long Lead(const UiRect& r) const { return vertical ? r.top : r.left; }
  long long Trail(const UiRect& r) const { return vertical ? r.bottom : r.right; }
  long long CrossLead(const UiRect& r) const { return vertical ? r.left : r.top; }
  long long CrossTrail(const UiRect& r) const { return vertical ? r.right : r.bottom; }
  long long FixedMain(const CControlUI& c) const { return vertical ? c.GetFixedHeight() : c.GetFixedWidth(); }
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

// A length along an axis in two parts: the skin's 96-DPI units (paddings,
// gaps, fixed sizes) and pixels (shares of the free space, measured text).
// The units of a sum are scaled as a whole where the sum becomes an edge,
// so that edges, not sizes, are scaled and neighbours stay joined.
struct Span {
  long long units = 0;
  long long pixels = 0;

  static Span Units(long long units) { return Span{units, 0}; }
  static Span Pixels(long long pixels) { return Span{0, pixels}; }
  Span operator+(const Span& o) const { return Span{units + o.units, pixels + o.pixels}; }
  Span operator-(const Span& o) const { return Span{units - o.units, pixels - o.pixels}; }
  Span& operator+=(const Span& o) { return *this = *this + o; }
  Span& operator-=(const Span& o) { return *this = *this - o; }
  long long In(const DpiScale& scale) const { return scale.Scale(units) + pixels; }
};

bool IsStacked(const CControlUI& child) { return child.IsVisible() && !child.IsFloat(); }

// A child's main size from its estimate (pixels), within its limits: its
// fixed size in units when the estimate is that size scaled (as for every
// standard control), else the estimate in pixels. None for an estimate of
// 0: the child is stretchable.
std::optional<Span> MainSize(const Axes& a, const CControlUI& child, long long estimate, const DpiScale& scale) {
  if (estimate == 0) return std::nullopt;
  const long long fixed = a.FixedMain(child);
  if (fixed != 0 && estimate == scale.Scale(fixed)) {
    return Span::Units(LimitSize(fixed, a.MinMain(child), a.MaxMain(child)));
  }
  return Span::Pixels(LimitSize(estimate, scale.Scale(a.MinMain(child)), scale.Scale(a.MaxMain(child))));
}

}  // namespace

void LayOutBox(CContainerUI& box, LayoutAxis axis) {
  const Axes a{axis == LayoutAxis::kVertical};
  const DpiScale& scale = box.GetDpiScale();
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
  if (cross_bar != nullptr && cross_bar->IsVisible()) avail_cross += a.vertical ? range.cx : range.cy;
  const Span gap = Span::Units(box.GetChildPadding());

  // Pass 1: ask every stacked child for its size. A main size of 0 marks a
  // stretchable child; the others are fixed, paddings included.
  Span fixed;
  int stretchables = 0;
  int counted = 0;
  for (int i = 0; i < count; ++i) {
    CControlUI& child = *box.GetItemAt(i);
    if (!IsStacked(child)) continue;
    const UiRect pad = child.GetPadding();
    const std::optional<Span> main =
        MainSize(a, child, a.Main(child.EstimateSize(a.Size(avail_main, avail_cross))), scale);
    if (!main) ++stretchables;
    fixed += main.value_or(Span{}) + Span::Units(a.Lead(pad) + a.Trail(pad));
    ++counted;
  }
  if (counted > 0) fixed += Span::Units(gap.units * (counted - 1));

  // Pass 2: the share of each stretchable child: in 96-DPI units when the
  // fixed part is (its edges then scale like every other), else in pixels.
  Span stretch;
  if (stretchables > 0 && fixed.pixels == 0) {
    stretch = Span::Units(std::max(0LL, (scale.Unscale(ClampToInt(avail_main)) - fixed.units) / stretchables));
  } else if (stretchables > 0) {
    stretch = Span::Pixels(std::max(0LL, (avail_main - fixed.In(scale)) / stretchables));
  }

  // Pass 3: place the children in order, each edge at the start plus the
  // way so far. The last stretchable child takes what is left, so that
  // rounding never leaves a gap.
  const long long start =
      a.vertical ? static_cast<long long>(rc.top) - scroll.cy : static_cast<long long>(rc.left) - scroll.cx;
  const long long cross_start =
      a.vertical ? static_cast<long long>(rc.left) - scroll.cx : static_cast<long long>(rc.top);
  Span way;
  Span remaining = Span::Pixels(avail_main);
  Span remaining_fixed = fixed;
  Span needed;
  int stretch_seen = 0;
  for (int i = 0; i < count; ++i) {
    CControlUI& child = *box.GetItemAt(i);
    if (!child.IsVisible()) continue;
    if (child.IsFloat()) {
      box.SetFloatPos(i);
      continue;
    }
    const UiRect pad = child.GetPadding();
    const Span lead = Span::Units(a.Lead(pad));
    const Span trail = Span::Units(a.Trail(pad));
    remaining -= lead;
    std::optional<Span> main =
        MainSize(a, child, a.Main(child.EstimateSize(a.Size(remaining.In(scale), avail_cross))), scale);
    if (main) {
      remaining_fixed -= *main;
    } else {
      ++stretch_seen;
      if (stretch_seen < stretchables && stretch.pixels == 0) {
        main = Span::Units(LimitSize(stretch.units, a.MinMain(child), a.MaxMain(child)));
      } else {
        const long long share = stretch_seen == stretchables
                                    ? std::max(0LL, (remaining - trail - remaining_fixed).In(scale))
                                    : stretch.pixels;
        main = Span::Pixels(LimitSize(share, scale.Scale(a.MinMain(child)), scale.Scale(a.MaxMain(child))));
      }
    }
    // Across: the fixed size (its far edge scaled as an edge), or what the
    // box offers less the paddings.
    const long long cross_from = cross_start + scale.Scale(a.CrossLead(pad));
    long long cross = a.FixedCross(child);
    if (cross != 0) {
      cross = cross_start + scale.Scale(a.CrossLead(pad) + LimitSize(cross, a.MinCross(child), a.MaxCross(child))) -
              cross_from;
    } else {
      cross = std::max(0LL, cross_start + avail_cross - scale.Scale(a.CrossTrail(pad)) - cross_from);
      cross = LimitSize(cross, scale.Scale(a.MinCross(child)), scale.Scale(a.MaxCross(child)));
    }

    // The trailing padding lies inside the child's rectangle.
    const long long from = start + (way + lead).In(scale);
    const long long to = start + (way + lead + *main + trail).In(scale);
    child.SetPos(a.Rect(from, to, cross_from, cross_from + cross), false);

    way += lead + *main + trail + gap;
    needed += lead + *main + trail;
    remaining -= *main + gap + trail;
  }
  if (counted > 0) needed += Span::Units(gap.units * (counted - 1));

  // Pass 4: the scroll bar along the main axis follows the room needed.
  const int needed_main = ClampCoord(needed.In(scale));
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

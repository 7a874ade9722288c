#pragma once

// Display scaling. A skin gives every length in pixels of a 96-DPI screen;
// a window on a screen of another DPI draws them larger by the factor
// DPI / 96 (1.25 at 120, 1.5 at 144, 2 at 192). One rule turns a 96-DPI
// length, or a coordinate, into pixels:
//
//   Scale(v) = floor(v * dpi / 96 + 1/2), and Scale(-v) = -Scale(v)
//
// computed in integers, so that it is exact and the same everywhere (a
// negative number keeps its magnitude: a font's height is negative).
// Layouts scale the positions of edges rather than sizes: two neighbours
// that share an edge at 96 DPI share it at any factor, and a run of fixed
// sizes ends where its 96-DPI total ends, scaled.
//
// At 96 DPI every operation is the identity.

#include "uiframework/base/geometry.h"

namespace Veneer {

class DpiScale {
 public:
  static constexpr int kBaseDpi = 96;
  // 500 %, the most a display setting offers.
  static constexpr int kMaxDpi = 480;

  constexpr DpiScale() = default;
  // A DPI outside 96..480 (none reported, a broken setting) is taken as the
  // nearer of the two.
  explicit constexpr DpiScale(int dpi) : dpi_(dpi < kBaseDpi ? kBaseDpi : dpi > kMaxDpi ? kMaxDpi : dpi) {}

  int Dpi() const { return dpi_; }
  bool IsIdentity() const { return dpi_ == kBaseDpi; }
  double Factor() const { return static_cast<double>(dpi_) / kBaseDpi; }

  // A 96-DPI length or coordinate in pixels, clamped to the int range.
  int Scale(int value) const { return ClampToInt(Scale(static_cast<long long>(value))); }
  long long Scale(long long value) const {
    return value < 0 ? -Magnitude(-value, dpi_, kBaseDpi) : Magnitude(value, dpi_, kBaseDpi);
  }
  UiSize Scale(const UiSize& size) const { return UiSize{Scale(size.cx), Scale(size.cy)}; }
  UiPoint Scale(const UiPoint& point) const { return UiPoint{Scale(point.x), Scale(point.y)}; }
  // Each of the four numbers: the edges of a rectangle, or four widths.
  UiRect Scale(const UiRect& rect) const {
    return UiRect{Scale(rect.left), Scale(rect.top), Scale(rect.right), Scale(rect.bottom)};
  }

  // The 96-DPI length nearest to a pixel length (by the same rule), so that
  // Unscale(Scale(v)) == v for every v.
  int Unscale(int pixels) const {
    const long long value = pixels;
    return ClampToInt(value < 0 ? -Magnitude(-value, kBaseDpi, dpi_) : Magnitude(value, kBaseDpi, dpi_));
  }
  UiRect Unscale(const UiRect& rect) const {
    return UiRect{Unscale(rect.left), Unscale(rect.top), Unscale(rect.right), Unscale(rect.bottom)};
  }

  bool operator==(const DpiScale&) const = default;

 private:
  // floor(value * to / from + 1/2) for a value >= 0. Sums of skin numbers
  // may be far beyond an int: the product must not overflow.
  static long long Magnitude(long long value, long long to, long long from) {
    constexpr long long kLimit = 1LL << 52;
    if (value > kLimit) value = kLimit;
    return (value * to + from / 2) / from;
  }

  int dpi_ = kBaseDpi;
};

}  // namespace Veneer

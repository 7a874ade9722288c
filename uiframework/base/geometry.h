#pragma once

// Plain geometry records in window client coordinates (pixels), and the
// saturating arithmetic the layout uses: skin numbers are untrusted and may
// hold any 32-bit value, so sums and products must clamp instead of
// overflowing.

#include <algorithm>
#include <cstdint>
#include <limits>

namespace Veneer {

// Coordinates a control's rectangle may take. Every position the layout
// computes is clamped into this range, so that differences of two
// coordinates (widths, heights) always fit an int.
inline constexpr int kMaxCoord = 1 << 29;

inline int ClampToInt(long long value) {
  if (value > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (value < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return static_cast<int>(value);
}
inline int ClampCoord(long long value) { return static_cast<int>(std::clamp<long long>(value, -kMaxCoord, kMaxCoord)); }
inline int ClampCoord(double value) {
  if (!(value > -kMaxCoord)) return -kMaxCoord;  // NaN included
  if (value > kMaxCoord) return kMaxCoord;
  return static_cast<int>(value);
}
// A size within a control's limits; the maximum wins over a larger minimum.
// Sizes and limits are stored as the skin gives them, negative ones too
// ("pos" with right < left, a negative "maxwidth"): a size is never below 0.
inline long long LimitSize(long long value, long long low, long long high) {
  if (value < low) value = low;
  if (value > high) value = high;
  return value < 0 ? 0 : value;
}
inline int SatAdd(int a, int b) { return ClampToInt(static_cast<long long>(a) + b); }
inline int SatSub(int a, int b) { return ClampToInt(static_cast<long long>(a) - b); }
inline int SatMul(int a, int b) { return ClampToInt(static_cast<long long>(a) * b); }

struct UiPoint {
  int x = 0;
  int y = 0;
  bool operator==(const UiPoint&) const = default;
};

struct UiSize {
  int cx = 0;
  int cy = 0;
  bool operator==(const UiSize&) const = default;
};

struct UiRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int Width() const { return SatSub(right, left); }
  int Height() const { return SatSub(bottom, top); }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  bool IsZero() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
  bool Contains(const UiPoint& p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  bool Intersects(const UiRect& other) const {
    return std::max(left, other.left) < std::min(right, other.right) &&
           std::max(top, other.top) < std::min(bottom, other.bottom);
  }
  // The common part; empty (all zero) when there is none.
  UiRect Intersect(const UiRect& other) const {
    UiRect r{std::max(left, other.left), std::max(top, other.top), std::min(right, other.right),
             std::min(bottom, other.bottom)};
    return r.IsEmpty() ? UiRect{} : r;
  }
  // The smallest rectangle holding both; an empty side is ignored.
  UiRect Union(const UiRect& other) const {
    if (IsEmpty()) return other;
    if (other.IsEmpty()) return *this;
    return UiRect{std::min(left, other.left), std::min(top, other.top), std::max(right, other.right),
                  std::max(bottom, other.bottom)};
  }
  UiRect Offset(int dx, int dy) const {
    return UiRect{SatAdd(left, dx), SatAdd(top, dy), SatAdd(right, dx), SatAdd(bottom, dy)};
  }
  // Shrinks by the four widths of `inset` (left, top, right, bottom).
  UiRect Deflate(const UiRect& inset) const {
    return UiRect{SatAdd(left, inset.left), SatAdd(top, inset.top), SatSub(right, inset.right),
                  SatSub(bottom, inset.bottom)};
  }
  bool operator==(const UiRect&) const = default;
};

}  // namespace Veneer

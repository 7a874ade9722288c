#pragma once

namespace Veneer {

// Plain geometry records in window client coordinates (pixels).
struct UiPoint {
  int x = 0;
  int y = 0;
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
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool operator==(const UiRect&) const = default;
};

}  // namespace Veneer

// The scaling rule: one rounding for every 96-DPI length, its inverse, and
// the DPIs it accepts.

#include "uiframework/base/dpi_scale.h"

#include <gtest/gtest.h>

#include <climits>

namespace Veneer {
namespace {

TEST(DpiScaleTest, OneRoundingForEveryLength) {
  struct Case {
    int dpi;
    int value;
    int scaled;
  } cases[] = {
      {96, 7, 7},
      {96, -7, -7},  // the identity at 96
      {120, 1, 1},
      {120, 2, 3},
      {120, 3, 4},  // 1.25, 2.5 and 3.75 rounded
      {120, 12, 15},
      {120, 18, 23},
      {144, 3, 5},
      {144, 13, 20},
      {168, 3, 5},
      {168, 12, 21},
      {192, 580, 1160},
      {192, 374, 748},
      // A negative number keeps its magnitude (a font's height): 22.5 both ways.
      {120, -18, -23},
      {144, -13, -20},
      // Out of range DPIs are taken as the nearer bound.
      {72, 9, 9},
      {0, 9, 9},
      {600, 10, 50},
      // Clamped, not overflowed.
      {480, INT_MAX, INT_MAX},
      {480, INT_MIN, INT_MIN},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DpiScale(c.dpi).Scale(c.value), c.scaled) << c.dpi << " DPI, " << c.value;
  }
  EXPECT_EQ(DpiScale(144).Scale(UiRect{1, 2, 3, 4}), (UiRect{2, 3, 5, 6}));
  EXPECT_EQ(DpiScale(120).Scale(1LL << 40), (1LL << 40) / 4 * 5);  // sums beyond an int
}

TEST(DpiScaleTest, UnscaleUndoesScale) {
  for (int dpi = 96; dpi <= DpiScale::kMaxDpi; ++dpi) {
    const DpiScale scale(dpi);
    for (int value = -300; value <= 300; ++value) {
      ASSERT_EQ(scale.Unscale(scale.Scale(value)), value) << dpi << " DPI";
    }
  }
}

}  // namespace
}  // namespace Veneer

#include "basekit/time/wall_clock.h"

#include <gtest/gtest.h>

#include <ctime>

namespace basekit {
namespace {

constexpr int64_t kEpochDeltaSeconds = 11644473600LL;  // 1601 -> 1970

TEST(WallClock, CountsMicrosecondsSince1601) {
  int64_t now = WallClockNow();
  int64_t unix_seconds = static_cast<int64_t>(std::time(nullptr));
  EXPECT_NEAR(static_cast<double>(now / 1000000 - kEpochDeltaSeconds),
              static_cast<double>(unix_seconds), 5.0);
  EXPECT_LE(now, WallClockNow());
}

TEST(WallClock, LocalCalendarFields) {
  // 2026-12-07 12:00:00.123456 UTC; the local zone moves it by less than a day.
  const int64_t noon = (kEpochDeltaSeconds + 1796644800LL) * 1000000LL + 123456;
  CalendarTime t = ToLocalCalendarTime(noon);
  EXPECT_EQ(t.year, 2026);
  EXPECT_EQ(t.month, 12);
  EXPECT_GE(t.day, 6);
  EXPECT_LE(t.day, 8);
  EXPECT_EQ(t.day_of_week,
            t.day == 7 ? 1 : (t.day == 6 ? 0 : 2));  // Monday the 7th
  EXPECT_EQ(t.millisecond, 123);
  EXPECT_GE(t.hour, 0);
  EXPECT_LE(t.hour, 23);
  EXPECT_EQ(t.second, 0);
}

TEST(WallClock, FailedConversionGivesZeros) {
  CalendarTime t = ToLocalCalendarTime(-1);
  EXPECT_EQ(t.year, 0);
  EXPECT_EQ(t.month, 0);
  EXPECT_EQ(t.day, 0);
  EXPECT_EQ(t.hour, 0);
  EXPECT_EQ(t.millisecond, 0);
}

}  // namespace
}  // namespace basekit

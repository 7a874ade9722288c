#pragma once

#include <cstdint>

namespace basekit {

// Broken-down local time; all zero when a conversion fails.
struct CalendarTime {
  int32_t year = 0;
  int32_t month = 0;        // 1-12
  int32_t day_of_week = 0;  // 0 = Sunday
  int32_t day = 0;          // 1-31
  int32_t hour = 0;
  int32_t minute = 0;
  int32_t second = 0;
  int32_t millisecond = 0;
};

// Microseconds since 1601-01-01 00:00 UTC.
int64_t WallClockNow();

// Converts WallClockNow-style microseconds to the local calendar.
CalendarTime ToLocalCalendarTime(int64_t microseconds);

}  // namespace basekit

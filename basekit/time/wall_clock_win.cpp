#include <windows.h>

#include "basekit/time/wall_clock.h"

namespace basekit {

int64_t WallClockNow() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER value;
  value.LowPart = now.dwLowDateTime;
  value.HighPart = now.dwHighDateTime;
  return static_cast<int64_t>(value.QuadPart / 10);
}

CalendarTime ToLocalCalendarTime(int64_t microseconds) {
  CalendarTime result;
  ULARGE_INTEGER value;
  value.QuadPart = static_cast<ULONGLONG>(microseconds) * 10;
  FILETIME utc{value.LowPart, value.HighPart};
  FILETIME local;
  SYSTEMTIME fields;
  if (!FileTimeToLocalFileTime(&utc, &local) ||
      !FileTimeToSystemTime(&local, &fields)) {
    return result;
  }
  result.year = fields.wYear;
  result.month = fields.wMonth;
  result.day_of_week = fields.wDayOfWeek;
  result.day = fields.wDay;
  result.hour = fields.wHour;
  result.minute = fields.wMinute;
  result.second = fields.wSecond;
  result.millisecond = fields.wMilliseconds;
  return result;
}

}  // namespace basekit

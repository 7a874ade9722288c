#include <time.h>

#include "basekit/time/wall_clock.h"

namespace basekit {

namespace {
// Microseconds between 1601-01-01 and 1970-01-01 (UTC).
constexpr int64_t kEpochDeltaMicros = 11644473600LL * 1000000LL;
}  // namespace

int64_t WallClockNow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return kEpochDeltaMicros + static_cast<int64_t>(now.tv_sec) * 1000000 +
         now.tv_nsec / 1000;
}

CalendarTime ToLocalCalendarTime(int64_t microseconds) {
  CalendarTime result;
  if (microseconds < 0) return result;
  int64_t unix_micros = microseconds - kEpochDeltaMicros;
  int64_t seconds = unix_micros / 1000000;
  int64_t micros = unix_micros % 1000000;
  if (micros < 0) {
    micros += 1000000;
    seconds -= 1;
  }
  time_t as_time = static_cast<time_t>(seconds);
  tm local{};
  if (localtime_r(&as_time, &local) == nullptr) return result;
  result.year = local.tm_year + 1900;
  result.month = local.tm_mon + 1;
  result.day_of_week = local.tm_wday;
  result.day = local.tm_mday;
  result.hour = local.tm_hour;
  result.minute = local.tm_min;
  result.second = local.tm_sec;
  result.millisecond = static_cast<int32_t>(micros / 1000);
  return result;
}

}  // namespace basekit

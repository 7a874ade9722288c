#include "tftp/retransmit_timer.h"

#include <algorithm>

namespace tftp {

RetransmitTimer::RetransmitTimer(int floor_ms, int ceiling_ms) {
  ceiling_us_ = static_cast<int64_t>(std::max(ceiling_ms, 1)) * 1000;
  floor_us_ = std::min(static_cast<int64_t>(std::max(floor_ms, 1)) * 1000, ceiling_us_);
}

void RetransmitTimer::addSample(std::chrono::microseconds round_trip) {
  // A sample beyond the ceiling says no more than one at the ceiling, and
  // keeps the arithmetic far from overflow.
  const int64_t r = std::clamp<int64_t>(round_trip.count(), 0, ceiling_us_);
  if (samples_ == 0) {
    srtt_us_ = r;
    rttvar_us_ = r / 2;
  } else {
    const int64_t error = r > srtt_us_ ? r - srtt_us_ : srtt_us_ - r;
    rttvar_us_ += (error - rttvar_us_) / 4;
    srtt_us_ += (r - srtt_us_) / 8;
  }
  if (samples_ < UINT32_MAX) {
    ++samples_;
  }
  backoffs_ = 0;
}

void RetransmitTimer::backOff() {
  // Once the time-out has reached the ceiling, further doublings change
  // nothing; stopping the count there keeps the shift below bounded.
  if (timeout() < std::chrono::microseconds(ceiling_us_)) {
    ++backoffs_;
  }
}

std::chrono::milliseconds RetransmitTimer::timeout() const {
  int64_t us = ceiling_us_;
  if (samples_ > 0) {
    us = srtt_us_ + std::max(floor_us_, 4 * rttvar_us_);
    for (int i = 0; i < backoffs_ && us < ceiling_us_; ++i) {
      us *= 2;
    }
    us = std::min(us, ceiling_us_);
  }
  return std::chrono::milliseconds((us + 999) / 1000);
}

}  // namespace tftp

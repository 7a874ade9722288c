#pragma once

// The adaptive reply time-out of the TFTP client: a smoothed round-trip
// estimate and its mean deviation, updated from the acknowledgements of
// packets that went out once (TCP's estimator, RFC 6298 gains 1/8 and 1/4),
// and an exponential back-off on consecutive time-outs.
//
//   timeout = min(ceiling, (srtt + max(floor, 4 * rttvar)) * 2^backoffs)
//
// Before the first sample the time-out is the ceiling. The floor is a margin
// above the estimate rather than a bare minimum, so that a steady but slow
// path (srtt near the time-out, rttvar near zero) does not see every reply
// arrive just after its packet was sent again.
//
// A plain value used by one thread.

#include <chrono>
#include <cstdint>

namespace tftp {

class RetransmitTimer {
 public:
  // floor_ms and ceiling_ms are clamped to at least 1 ms, and the floor to
  // at most the ceiling.
  RetransmitTimer(int floor_ms, int ceiling_ms);

  // The round trip of a packet that was sent once and acknowledged. Ends a
  // back-off. The round trip of a packet sent again is ambiguous (which copy
  // did the reply answer?) and must not be given (Karn's rule).
  void addSample(std::chrono::microseconds round_trip);
  // A wait ran out: the next one is twice as long, up to the ceiling.
  void backOff();

  // The current time-out, rounded up to whole milliseconds.
  std::chrono::milliseconds timeout() const;
  bool hasEstimate() const { return samples_ > 0; }
  int64_t smoothedMicroseconds() const { return srtt_us_; }
  int64_t deviationMicroseconds() const { return rttvar_us_; }

 private:
  int64_t floor_us_;
  int64_t ceiling_us_;
  int64_t srtt_us_ = 0;
  int64_t rttvar_us_ = 0;
  uint32_t samples_ = 0;
  int backoffs_ = 0;
};

}  // namespace tftp

#include "tftp/retransmit_timer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

// Each step feeds the timer (a round trip, or a time-out when negative) and
// checks the wait that follows.
TEST(RetransmitTimerTest, WaitFollowsTheRoundTripWithinFloorAndCeiling) {
  struct Step {
    int64_t round_trip_us;  // -1: a time-out
    int64_t timeout_ms;
  };
  struct Case {
    const char* name;
    int floor_ms;
    int ceiling_ms;
    std::vector<Step> steps;
  };
  const Case cases[] = {
      {"before any sample: the ceiling, back-off or not", 30, 2000, {{-1, 2000}, {-1, 2000}}},
      {"a LAN round trip: the floor above it", 30, 2000, {{100, 31}, {60, 31}}},
      {"back-off doubles up to the ceiling; a sample ends it",
       30,
       2000,
       {{100, 31},
        {-1, 61},
        {-1, 121},
        {-1, 241},
        {-1, 482},
        {-1, 964},
        {-1, 1927},
        {-1, 2000},
        {-1, 2000},
        {100, 31}}},
      {"a round trip beyond the ceiling counts as the ceiling", 30, 500, {{5000000, 500}}},
      {"a floor above the ceiling is the ceiling", 900, 300, {{100, 300}}},
      // rttvar starts at half the first sample and shrinks with steady ones;
      // the floor keeps a margin above srtt even then.
      {"a steady slow path keeps the margin", 30, 2000, {{100000, 300}, {100000, 250}, {100000, 213}, {100000, 185}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    tftp::RetransmitTimer timer(c.floor_ms, c.ceiling_ms);
    for (size_t i = 0; i < c.steps.size(); ++i) {
      const Step& step = c.steps[i];
      if (step.round_trip_us < 0) {
        timer.backOff();
      } else {
        timer.addSample(microseconds(step.round_trip_us));
      }
      EXPECT_EQ(timer.timeout(), milliseconds(step.timeout_ms)) << "step " << i;
    }
  }

  tftp::RetransmitTimer timer(30, 2000);
  for (int i = 0; i < 40; ++i) timer.addSample(milliseconds(100));
  EXPECT_GE(timer.timeout(), milliseconds(130));
  for (int i = 0; i < 100000; ++i) timer.backOff();  // no overflow however long the silence
  EXPECT_EQ(timer.timeout(), milliseconds(2000));
}

}  // namespace

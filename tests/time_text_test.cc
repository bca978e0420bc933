#include "report/time_text.h"

#include <chrono>
#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

#include "wall_time.h"

namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

TEST(TimeTextTest, Rfc3339WritesTheUtcDateAndTimeToTheMillisecond) {
  const struct {
    std::int64_t milliseconds;
    const char* text;
  } cases[] = {
      {0, "1970-01-01T00:00:00.000Z"},
      {1796869800123, "2026-12-10T02:30:00.123Z"},
      {1709251199999, "2024-02-29T23:59:59.999Z"},
      {951868800000, "2000-03-01T00:00:00.000Z"},
      {4107499200000, "2100-02-28T12:00:00.000Z"},
      {-1, "1969-12-31T23:59:59.999Z"},
      {-2208988800000, "1900-01-01T00:00:00.000Z"},
      {253402300799999, "9999-12-31T23:59:59.999Z"},
      {-62167219200000, "0000-01-01T00:00:00.000Z"},
  };
  // A clock that counts nanoseconds in 64 bits reaches only the years 1677
  // to 2262.
  constexpr std::int64_t kClockReach = 9'000'000'000'000;
  for (const auto& c : cases) {
    EXPECT_EQ(c.text, Rfc3339(c.milliseconds)) << c.milliseconds;
    if (c.milliseconds > -kClockReach && c.milliseconds < kClockReach) {
      EXPECT_EQ(c.text, Rfc3339(At(c.milliseconds))) << c.milliseconds;
    }
  }
}

TEST(TimeTextTest, Rfc3339RoundsDownToTheMillisecondOnBothSidesOfTheEpoch) {
  EXPECT_EQ("2026-12-10T02:30:00.123Z", Rfc3339(At(1796869800123) + microseconds(999)));
  EXPECT_EQ("1969-12-31T23:59:59.999Z", Rfc3339(TWallClock::time_point(microseconds(-1))));
  EXPECT_EQ(1796869800123, EpochMilliseconds(At(1796869800123) + microseconds(999)));
  EXPECT_EQ(-1, EpochMilliseconds(TWallClock::time_point(microseconds(-1))));
}

TEST(TimeTextTest, Rfc3339WritesTimesBeyondFourDigitYearsAsTheNearestItCanHold) {
  EXPECT_EQ("9999-12-31T23:59:59.999Z", Rfc3339(std::int64_t{253402300800000}));
  EXPECT_EQ("9999-12-31T23:59:59.999Z", Rfc3339(std::numeric_limits<std::int64_t>::max()));
  EXPECT_EQ("0000-01-01T00:00:00.000Z", Rfc3339(std::int64_t{-62167219200001}));
  EXPECT_EQ("0000-01-01T00:00:00.000Z", Rfc3339(std::numeric_limits<std::int64_t>::min()));
}

TEST(TimeTextTest, MillisecondsAsSecondsWritesThreeDecimals) {
  const struct {
    std::int64_t milliseconds;
    const char* text;
  } cases[] = {
      {0, "0.000"},
      {5, "0.005"},
      {1250, "1.250"},
      {1796869800123, "1796869800.123"},
      {-1, "-0.001"},
      {-1500, "-1.500"},
      {std::numeric_limits<std::int64_t>::min(), "-9223372036854775.808"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.text, MillisecondsAsSeconds(c.milliseconds));
}

TEST(TimeTextTest, DurationTextRoundsToTheMillisecondAndNeverGoesNegative) {
  const struct {
    double seconds;
    const char* text;
  } cases[] = {
      {0, "0.000"},
      {0.0004, "0.000"},
      {0.0006, "0.001"},
      {1.2344, "1.234"},
      {1.2346, "1.235"},
      {7200, "7200.000"},
      {-0.5, "0.000"},
      {std::numeric_limits<double>::quiet_NaN(), "0.000"},
      {std::numeric_limits<double>::infinity(), "0.000"},
      {1e300, "9200000000000.000"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.text, DurationText(c.seconds)) << c.seconds;
}

}  // namespace

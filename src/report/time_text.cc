#include "report/time_text.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace {

constexpr std::int64_t kMillisecondsPerDay = 86'400'000;
// 0000-01-01T00:00:00.000Z and 9999-12-31T23:59:59.999Z.
constexpr std::int64_t kEarliest = -62'167'219'200'000;
constexpr std::int64_t kLatest = 253'402'300'799'999;

struct TCivilDate {
  std::int64_t year;
  int month;  // 1..12
  int day;    // 1..31
};

// The proleptic Gregorian date of a day counted from 1970-01-01.
TCivilDate DateOfDay(std::int64_t days) {
  days += 719'468;  // counted from 0000-03-01 instead
  const std::int64_t era = (days >= 0 ? days : days - 146'096) / 146'097;
  const std::int64_t day_of_era = days - era * 146'097;
  const std::int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36'524 - day_of_era / 146'096) / 365;
  const std::int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const std::int64_t shifted_month = (5 * day_of_year + 2) / 153;  // 0 is March
  const int day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
  const int month = static_cast<int>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
  const std::int64_t year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
  return {year, month, day};
}

// Division that rounds towards negative infinity.
std::int64_t FloorDivide(std::int64_t value, std::int64_t divisor) {
  const std::int64_t quotient = value / divisor;
  return quotient * divisor > value ? quotient - 1 : quotient;
}

}  // namespace

std::int64_t EpochMilliseconds(TWallClock::time_point time) {
  return std::chrono::floor<std::chrono::milliseconds>(time.time_since_epoch()).count();
}

std::string Rfc3339(TWallClock::time_point time) { return Rfc3339(EpochMilliseconds(time)); }

std::string Rfc3339(std::int64_t epoch_milliseconds) {
  const std::int64_t milliseconds = std::clamp(epoch_milliseconds, kEarliest, kLatest);
  const std::int64_t days = FloorDivide(milliseconds, kMillisecondsPerDay);
  const std::int64_t of_day = milliseconds - days * kMillisecondsPerDay;
  const TCivilDate date = DateOfDay(days);
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ",
                static_cast<int>(date.year), date.month, date.day,
                static_cast<int>(of_day / 3'600'000), static_cast<int>(of_day / 60'000 % 60),
                static_cast<int>(of_day / 1000 % 60), static_cast<int>(of_day % 1000));
  return text;
}

std::string MillisecondsAsSeconds(std::int64_t milliseconds) {
  const bool negative = milliseconds < 0;
  // The magnitude as unsigned, so that the most negative value has one too.
  const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(milliseconds)
                                           : static_cast<std::uint64_t>(milliseconds);
  char text[48];
  std::snprintf(text, sizeof text, "%s%llu.%03llu", negative ? "-" : "",
                static_cast<unsigned long long>(magnitude / 1000),
                static_cast<unsigned long long>(magnitude % 1000));
  return text;
}

std::string RunDurationText(const TRunRecord& record) {
  const std::int64_t start = EpochMilliseconds(record.start);
  const std::int64_t end = EpochMilliseconds(record.end);
  return MillisecondsAsSeconds(end > start ? end - start : 0);
}

std::string DurationText(double seconds) {
  // About 292 million years in milliseconds still fits in 63 bits.
  constexpr double kLongest = 9.2e15;
  if (!std::isfinite(seconds) || seconds < 0) return "0.000";
  return MillisecondsAsSeconds(
      static_cast<std::int64_t>(std::llround(std::min(seconds * 1000, kLongest))));
}

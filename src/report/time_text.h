#ifndef VELMORJOB_REPORT_TIME_TEXT_H_
#define VELMORJOB_REPORT_TIME_TEXT_H_

#include <cstdint>
#include <string>

#include "core/run_record.h"

// Times and durations as the run report and the metrics file write them:
// to the millisecond, in the C locale's notation whatever the locale.

// Milliseconds since the epoch, rounded down.
std::int64_t EpochMilliseconds(TWallClock::time_point time);

// The time in RFC 3339 form, in UTC, to the millisecond rounded down:
// "2026-12-10T02:30:00.123Z".
std::string Rfc3339(TWallClock::time_point time);

// The same for a count of milliseconds since the epoch. Times outside the
// years 0000 to 9999, which the form cannot hold, are written as the nearest
// time it can.
std::string Rfc3339(std::int64_t epoch_milliseconds);

// A count of milliseconds as seconds with three decimals: "1.250".
std::string MillisecondsAsSeconds(std::int64_t milliseconds);

// A duration in seconds rounded to the millisecond, with three decimals;
// a negative or non-finite one is written as "0.000".
std::string DurationText(double seconds);

// How long the run took, as the difference of its start and end to the
// millisecond as written, so that the three agree; a clock set back reads
// as no time.
std::string RunDurationText(const TRunRecord& record);

#endif  // VELMORJOB_REPORT_TIME_TEXT_H_

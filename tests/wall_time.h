#ifndef VELMORJOB_TESTS_WALL_TIME_H_
#define VELMORJOB_TESTS_WALL_TIME_H_

#include <chrono>
#include <cstdint>

#include "core/run_record.h"

// The wall-clock time that many milliseconds after the epoch, for records
// whose times the tests fix.
inline TWallClock::time_point At(std::int64_t epoch_milliseconds) {
  return TWallClock::time_point(std::chrono::milliseconds(epoch_milliseconds));
}

#endif  // VELMORJOB_TESTS_WALL_TIME_H_

#ifndef VELMORJOB_APP_LOCAL_TIME_H_
#define VELMORJOB_APP_LOCAL_TIME_H_

#include <string>

#include "core/run_record.h"

// A time as the operator reads it on the console, in the local time zone
// (TZ): "2026-12-11 02:30:00".
std::string LocalTime(TWallClock::time_point time);

// The same to the minute: "2026-12-11 02:30".
std::string LocalMinute(TWallClock::time_point time);

#endif  // VELMORJOB_APP_LOCAL_TIME_H_

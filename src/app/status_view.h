#ifndef VELMORJOB_APP_STATUS_VIEW_H_
#define VELMORJOB_APP_STATUS_VIEW_H_

#include <string>
#include <vector>

#include "history/history_reader.h"

// What --status prints of each job in the history, at `now`: what runs now
// (where, step k of n, since when, and when it is expected to end, or that
// it runs longer than its slowest success did), or else how its last run
// ended and when, and its last success.
std::string StatusText(const std::vector<TJobRuns>& jobs, TWallClock::time_point now);

// The same as JSON, one object a job and a line: job, state, host, pid,
// run_id, start_time, step, steps, expected_end, overrunning,
// last_end_time, last_success_time.
std::string StatusJson(const std::vector<TJobRuns>& jobs, TWallClock::time_point now);

#endif  // VELMORJOB_APP_STATUS_VIEW_H_

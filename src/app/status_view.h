#ifndef VELMORJOB_APP_STATUS_VIEW_H_
#define VELMORJOB_APP_STATUS_VIEW_H_

#include <cstddef>
#include <string>

#include "history/history_reader.h"

// What --status prints of a job of the history at `now`, a line: what runs
// now (where, step k of n, since when, and when it is expected to end, or
// that it runs longer than its slowest success did), or else how its last
// run ended and when, and its last success. The job's name is padded to
// name_width columns. Nothing for a job without runs.
std::string StatusLine(const TJobRuns& job, TWallClock::time_point now, std::size_t name_width);

// The same as JSON, an object and a line end: job, state, host, pid,
// run_id, start_time, step, steps, expected_end, overrunning,
// last_end_time, last_success_time.
std::string StatusJsonLine(const TJobRuns& job, TWallClock::time_point now);

#endif  // VELMORJOB_APP_STATUS_VIEW_H_

#ifndef VELMORJOB_HISTORY_RUN_FIGURES_H_
#define VELMORJOB_HISTORY_RUN_FIGURES_H_

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/run_record.h"
#include "history/history_reader.h"

// Figures worked out from runs of the history: how long each step took,
// how many retries a run had, and when a run still going is expected to
// end.

// How long each step of the run took, over all its attempts that ended, by
// step number.
std::map<int, double> StepSeconds(const TRunRecord& record);

// How many attempts the run made beyond the first of each step.
long RetriesOf(const TRunRecord& record);

// The median of the values; none for no value.
std::optional<double> Median(std::vector<double> values);

// Where a run that is going stands.
struct TProgress {
  int step = 0;         // the number of the step it is at
  std::string program;  // that step's program, "" before its first attempt
  double elapsed = 0;   // seconds since the run started
  // When it is expected to end: for each step after this one the median of
  // its durations in the job's last successful runs, and for this one what
  // its median leaves. None without a successful run to go by.
  std::optional<TWallClock::time_point> expected_end;
  // It has run longer than the job's slowest successful run.
  bool overrunning = false;
};

// Where runs.running stands at `now`; it must be set.
TProgress ProgressOf(const TJobRuns& runs, TWallClock::time_point now);

#endif  // VELMORJOB_HISTORY_RUN_FIGURES_H_

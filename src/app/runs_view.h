#ifndef VELMORJOB_APP_RUNS_VIEW_H_
#define VELMORJOB_APP_RUNS_VIEW_H_

#include <string>
#include <vector>

#include "app/bar_chart.h"
#include "history/history_reader.h"

// What --runs prints of a job's last runs, newest first: a line a run (its
// start, duration, result, first failed step and retries); for each step
// the least, median and most time it took in the successful runs among
// them, and how the newest run that ended compares with the median; and a
// chart of the runs, each step a bar as long as it took.
std::string RunsText(const std::string& job, const std::vector<TRecordedRun>& runs,
                     const TChartStyle& style);

// The same runs as JSON, one run report a line.
std::string RunsJson(const std::vector<TRecordedRun>& runs);

#endif  // VELMORJOB_APP_RUNS_VIEW_H_

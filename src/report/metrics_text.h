#ifndef VELMORJOB_REPORT_METRICS_TEXT_H_
#define VELMORJOB_REPORT_METRICS_TEXT_H_

#include <optional>
#include <string>

#include "core/run_record.h"

// The metrics file of a run, in the Prometheus text exposition format: for
// each gauge a HELP line, a TYPE line and one sample labelled with the job:
//   velmorjob_last_run_timestamp_seconds     when the run ended
//   velmorjob_last_run_duration_seconds      how long it took
//   velmorjob_last_run_exit_status           its exit status
//   velmorjob_last_run_failed_steps          how many of its steps failed
//   velmorjob_last_success_timestamp_seconds when the last run with status 0
//                                            ended
// The last is the run's end time when its status is 0, and last_success
// otherwise (the value the previous file held); 0 without one. The label is
// job_name, since a scrape adds a label job of its own.
std::string MetricsText(const TRunRecord& record, std::optional<double> last_success);

#endif  // VELMORJOB_REPORT_METRICS_TEXT_H_

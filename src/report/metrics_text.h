#ifndef VELMORJOB_REPORT_METRICS_TEXT_H_
#define VELMORJOB_REPORT_METRICS_TEXT_H_

#include <optional>
#include <string>
#include <string_view>

#include "core/run_record.h"

// The metrics file of a run, in the Prometheus text exposition format: for
// each gauge a HELP line, a TYPE line and its samples, each labelled
// job_name="NAME" (not job, which Prometheus gives every target it scrapes):
//   velmorjob_last_run_timestamp_seconds     when the run ended
//   velmorjob_last_run_duration_seconds      how long it took
//   velmorjob_last_run_exit_status           its exit status
//   velmorjob_last_run_failed_steps          how many of its steps failed
//   velmorjob_last_run_retries               attempts beyond each step's first
//   velmorjob_last_success_timestamp_seconds when the last run with status 0
//                                            ended; 0 until there is one
// and for each step of the run, labelled also with step="N" (its number in
// the job) and program="./indexer", in that order:
//   velmorjob_last_run_step_duration_seconds how long it ran, all its
//                                            attempts together
//   velmorjob_last_run_step_exit_status      its last attempt's exit
//                                            status: 128+N when killed by
//                                            signal N, -1 when it could not
//                                            be started
// A step that did not run has no samples; a run that ran no step writes
// neither of the last two gauges.
//
// The last success is the run's end when its status is 0, and otherwise
// last_success, the value the previous file held (finite and >= 0).
std::string MetricsText(const TRunRecord& record, std::optional<double> last_success);

// The name of the gauge of the last success, which the previous file is
// read for.
constexpr std::string_view kLastSuccessGauge = "velmorjob_last_success_timestamp_seconds";

#endif  // VELMORJOB_REPORT_METRICS_TEXT_H_

#include "report/report_files.h"

#include "core/outcome.h"
#include "report/atomic_file.h"
#include "report/file_target.h"
#include "report/metrics_text.h"
#include "report/previous_metrics.h"
#include "report/report_json.h"

bool WriteReportFile(const std::string& path, const TRunRecord& record, std::string& reason) {
  return WriteFileAtomically(path, ReportJson(record), kReportFileMode, reason);
}

TMetricsWrite WriteMetricsFile(const std::string& path, const TRunRecord& record,
                               std::string& reason) {
  if (record.exit_status == kExitLocked) return TMetricsWrite::kNotTouched;
  // What cannot be written at all is told as such, before what it holds.
  TFileTarget target;
  if (!FindFileTarget(path, target, reason)) return TMetricsWrite::kFailed;
  std::string previous;
  if (!ReadPreviousMetrics(path, previous, reason)) return TMetricsWrite::kRefused;
  const TPreviousSamples samples = PreviousSamples(previous, record.job);
  if (samples.other_job) {
    reason = "is job \"" + *samples.other_job + "\"'s, not \"" + record.job + "\"'s";
    return TMetricsWrite::kRefused;
  }
  if (!WriteFileAtomically(path, MetricsText(record, samples.last_success), kMetricsFileMode,
                           reason)) {
    return TMetricsWrite::kFailed;
  }
  return TMetricsWrite::kWritten;
}

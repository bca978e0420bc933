#include "report/report_files.h"

#include "core/outcome.h"
#include "report/atomic_file.h"
#include "report/metrics_text.h"
#include "report/previous_metrics.h"
#include "report/report_json.h"

bool WriteReportFile(const std::string& path, const TRunRecord& record, std::string& reason) {
  return WriteFileAtomically(path, ReportJson(record), reason);
}

TMetricsWrite WriteMetricsFile(const std::string& path, const TRunRecord& record,
                               std::string& reason) {
  if (record.exit_status == kExitLocked) return TMetricsWrite::kNotTouched;
  std::string previous;
  if (!ReadPreviousMetrics(path, previous, reason)) return TMetricsWrite::kRefused;
  const TPreviousSamples samples = PreviousSamples(previous, record.job);
  if (samples.other_job) {
    reason = "is job \"" + *samples.other_job + "\"'s, not \"" + record.job + "\"'s";
    return TMetricsWrite::kRefused;
  }
  if (!WriteFileAtomically(path, MetricsText(record, samples.last_success), reason)) {
    return TMetricsWrite::kFailed;
  }
  return TMetricsWrite::kWritten;
}

#include "report/report_files.h"

#include "report/atomic_file.h"
#include "report/metrics_text.h"
#include "report/previous_metrics.h"
#include "report/report_json.h"

bool WriteReportFile(const std::string& path, const TRunRecord& record, std::string& reason) {
  return WriteFileAtomically(path, ReportJson(record), reason);
}

bool WriteMetricsFile(const std::string& path, const TRunRecord& record, std::string& reason) {
  const std::optional<double> last_success =
      record.exit_status == 0 ? std::nullopt : LastSuccess(ReadPreviousMetrics(path), record.job);
  return WriteFileAtomically(path, MetricsText(record, last_success), reason);
}

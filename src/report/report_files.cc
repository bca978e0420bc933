#include "report/report_files.h"

#include "report/metrics_text.h"
#include "report/previous_metrics.h"
#include "report/report_json.h"

bool StageReportFile(TStagedFile& file, const std::string& path, const TRunRecord& record,
                     std::string& reason) {
  return file.Stage(path, ReportJson(record), kReportFileMode, reason);
}

bool StageMetricsFile(TStagedFile& file, const std::string& path, const TRunRecord& record,
                      std::string& reason) {
  const std::optional<double> last_success =
      record.exit_status == 0 ? std::nullopt : LastSuccess(ReadPreviousMetrics(path), record.job);
  return file.Stage(path, MetricsText(record, last_success), kMetricsFileMode, reason);
}

bool WriteReportFile(const std::string& path, const TRunRecord& record, std::string& reason) {
  TStagedFile file;
  return StageReportFile(file, path, record, reason) && file.Commit(reason);
}

bool WriteMetricsFile(const std::string& path, const TRunRecord& record, std::string& reason) {
  TStagedFile file;
  return StageMetricsFile(file, path, record, reason) && file.Commit(reason);
}

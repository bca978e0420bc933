#include "report/report_files.h"

#include <cerrno>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>
#include <utility>

#include "core/outcome.h"
#include "report/atomic_file.h"
#include "report/file_target.h"
#include "report/metrics_text.h"
#include "report/previous_metrics.h"
#include "report/report_json.h"

namespace {

// How every report velmorjob writes begins.
constexpr std::string_view kReportStart = "{\n  \"job\": ";

// Whether the file a report would replace is one: a mistyped --report=
// (search.conf, say) must not cost the file it names.
bool HoldsAReport(const TFileTarget& target) {
  const int fd = target.at.Open(O_RDONLY | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return true;  // what cannot be read is told when it is written
  char start[kReportStart.size()];
  ssize_t got;
  do {
    got = read(fd, start, sizeof start);
  } while (got < 0 && errno == EINTR);
  close(fd);
  return got <= 0 || std::string_view(start, static_cast<std::size_t>(got)) == kReportStart;
}

}  // namespace

// What is at the path is looked up once, and the file found is the one that
// is checked and written: nothing can be put in its place meanwhile.
bool WriteReportFile(const std::string& path, const TRunRecord& record, std::string& reason) {
  TFileTarget target;
  if (!FindFileTarget(path, target, reason)) return false;
  if (target.kind == TTargetKind::kReplace && target.at.exists && !HoldsAReport(target)) {
    reason = "it holds something other than a report of velmorjob's";
    return false;
  }
  return WriteFileAtomically(std::move(target), ReportJson(record), kReportFileMode, reason);
}

TMetricsWrite WriteMetricsFile(const std::string& path, const TRunRecord& record,
                               std::optional<TPreviousSamples>& before, std::string& reason) {
  if (record.exit_status == kExitLocked) return TMetricsWrite::kNotTouched;
  // What cannot be written at all is told as such, before what it holds.
  TFileTarget target;
  if (!FindFileTarget(path, target, reason)) return TMetricsWrite::kFailed;
  if (!before) {
    std::string previous;
    if (!ReadPreviousMetrics(target, previous, reason)) return TMetricsWrite::kRefused;
    const TPreviousSamples samples = PreviousSamples(previous, record.job);
    if (samples.other_job) {
      reason = "is job \"" + *samples.other_job + "\"'s, not \"" + record.job + "\"'s";
      return TMetricsWrite::kRefused;
    }
    // A mistyped --metrics= (search.conf, say) must not cost the file it
    // names.
    if (!samples.of_this_job && previous.find_first_not_of(" \t\r\n") != std::string::npos) {
      reason = "holds no metrics of velmorjob's";
      return TMetricsWrite::kRefused;
    }
    before = samples;
  }
  if (!WriteFileAtomically(std::move(target), MetricsText(record, before->last_success),
                           kMetricsFileMode, reason)) {
    return TMetricsWrite::kFailed;
  }
  return TMetricsWrite::kWritten;
}

TMetricsWrite WriteMetricsFile(const std::string& path, const TRunRecord& record,
                               std::string& reason) {
  std::optional<TPreviousSamples> before;
  return WriteMetricsFile(path, record, before, reason);
}

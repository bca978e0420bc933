#ifndef VELMORJOB_REPORT_PREVIOUS_METRICS_H_
#define VELMORJOB_REPORT_PREVIOUS_METRICS_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The metrics file a run replaces tells when the job last succeeded; a run
// that does not succeed carries that time over.

// At most this many bytes of the previous file are read: it is a few hundred
// bytes when velmorjob wrote it.
constexpr std::size_t kPreviousMetricsLimit = 64 * 1024;

// The start of the file at path, at most kPreviousMetricsLimit bytes, or ""
// when it is missing, is not a regular file or cannot be read. Never blocks
// on a FIFO or device named by path.
std::string ReadPreviousMetrics(const std::string& path);

// The value of the velmorjob_last_success_timestamp_seconds sample labelled
// with this job (compared as the metrics file writes it: as valid UTF-8) in
// the text of a metrics file, or none. Only whole lines, ended by a line
// feed, count; a line that is not a well-formed sample, a sample of another
// job and a value that is not a finite number are passed over. When several
// samples match, the last counts.
std::optional<double> LastSuccess(std::string_view text, std::string_view job);

#endif  // VELMORJOB_REPORT_PREVIOUS_METRICS_H_

#ifndef VELMORJOB_REPORT_PREVIOUS_METRICS_H_
#define VELMORJOB_REPORT_PREVIOUS_METRICS_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "report/file_target.h"

// The metrics file a run replaces tells whose it is and when the job last
// succeeded; a run that does not succeed carries that time over.

// A previous file larger than this is not read: velmorjob writes a few
// hundred bytes, and a few more for each step, so a file this large is not
// one it wrote, and is left alone like a file that cannot be read.
constexpr std::size_t kPreviousMetricsLimit = 4 * 1024 * 1024;

// Reads the whole file at path into text. True with text "" when there is
// no file, or when it is a FIFO, a device or a socket: those are never
// opened, as reading one could block or take what is meant for another
// reader. False when a file is there but cannot be read whole, with the
// reason, which completes "metrics file [PATH] ...": "cannot be read
// (Permission denied)", "cannot be read (Is a directory)", "is larger than
// 4 MiB".
bool ReadPreviousMetrics(const std::string& path, std::string& text, std::string& reason);

// The same for the file that FindFileTarget found, read where the walk of
// its path found it (the path is not looked up again): nothing when there
// is none, when it is written in place and is not a regular file, or when
// nothing can be written there anyway; "cannot be read (Permission denied)"
// when its directory cannot be searched.
bool ReadPreviousMetrics(const TFileTarget& target, std::string& text, std::string& reason);

// What the samples of a metrics file say about a job.
struct TPreviousSamples {
  // The value of the job's velmorjob_last_success_timestamp_seconds sample,
  // when it is a finite number >= 0; when several are, the last.
  std::optional<double> last_success;
  // The first job other than this one that a sample is labelled with.
  std::optional<std::string> other_job;
  // Whether a sample is labelled with this job.
  bool of_this_job = false;
};

// Reads the sample lines of the text of a metrics file. A sample's job is
// its job_name label, or its job label when it has no job_name, as files of
// earlier versions wrote it; it is compared as the metrics file writes the
// name: as valid UTF-8. Lines end with a line feed, a carriage return before
// it is passed over, and the last line needs none. Lines that are not
// well-formed samples, and samples labelled with no job, are passed over.
TPreviousSamples PreviousSamples(std::string_view text, std::string_view job);

#endif  // VELMORJOB_REPORT_PREVIOUS_METRICS_H_

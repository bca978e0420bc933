#ifndef VELMORJOB_REPORT_REPORT_FILES_H_
#define VELMORJOB_REPORT_REPORT_FILES_H_

#include <optional>
#include <string>
#include <sys/types.h>

#include "core/run_record.h"
#include "report/atomic_file.h"
#include "report/previous_metrics.h"

// Writing the run report and the metrics file at the end of a run, each as
// TStagedFile writes a file: a regular file is replaced atomically, a FIFO or
// device written in place, anything else left alone. On failure they return
// false with the reason.

// The report holds every step's whole command text, passwords in settings
// included: a new one is readable by its owner alone. The metrics file is
// for a collector to read.
constexpr mode_t kReportFileMode = 0600;
constexpr mode_t kMetricsFileMode = 0644;

bool WriteReportFile(const std::string& path, const TRunRecord& record, std::string& reason);

// What became of the metrics file.
enum class TMetricsWrite {
  kWritten,  // replaced by the run's metrics
  // Left alone: a run refused by the lock (status 75) does not replace the
  // metrics of the run that holds it.
  kNotTouched,
  // Left as it is, because it is another job's or cannot be read: reason
  // completes "metrics file [PATH] ...", e.g. "is job \"nightly\"'s, not
  // \"nightlyy\"'s" or "cannot be read (Permission denied)".
  kRefused,
  kFailed,  // could not be replaced: reason says why, as for the report
};

// The previous file is read whole first: when it holds samples of another
// job it is not replaced, nor when it cannot be read, as it may hold the
// time of the job's last success, which a run that does not succeed carries
// over from it. What it held is kept in `before` by the first write of a
// run, and a later write of the same run (once its status changed) carries
// over the last success from there, not from the file the first one wrote.
TMetricsWrite WriteMetricsFile(const std::string& path, const TRunRecord& record,
                               std::optional<TPreviousSamples>& before, std::string& reason);
// The same for the only write of a run.
TMetricsWrite WriteMetricsFile(const std::string& path, const TRunRecord& record,
                               std::string& reason);

#endif  // VELMORJOB_REPORT_REPORT_FILES_H_

#ifndef VELMORJOB_REPORT_REPORT_FILES_H_
#define VELMORJOB_REPORT_REPORT_FILES_H_

#include <string>

#include "core/run_record.h"

// Writing the run report and the metrics file at the end of a run. Each
// replaces the file at path atomically (see WriteFileAtomically) and on
// failure returns false with the reason.

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
// over from it.
TMetricsWrite WriteMetricsFile(const std::string& path, const TRunRecord& record,
                               std::string& reason);

#endif  // VELMORJOB_REPORT_REPORT_FILES_H_

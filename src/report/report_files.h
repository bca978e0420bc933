#ifndef VELMORJOB_REPORT_REPORT_FILES_H_
#define VELMORJOB_REPORT_REPORT_FILES_H_

#include <string>

#include "core/run_record.h"

// Writing the run report and the metrics file at the end of a run. Each
// replaces the file at path atomically (see WriteFileAtomically) and on
// failure returns false with the reason.

bool WriteReportFile(const std::string& path, const TRunRecord& record, std::string& reason);

// The time of the last success is carried over from the file being
// replaced, read before it is replaced.
bool WriteMetricsFile(const std::string& path, const TRunRecord& record, std::string& reason);

#endif  // VELMORJOB_REPORT_REPORT_FILES_H_

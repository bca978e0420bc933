#ifndef VELMORJOB_REPORT_REPORT_FILES_H_
#define VELMORJOB_REPORT_REPORT_FILES_H_

#include <string>
#include <sys/types.h>

#include "core/run_record.h"
#include "report/atomic_file.h"

// Writing the run report and the metrics file at the end of a run, each as
// TStagedFile writes a file: a regular file is replaced atomically, a FIFO or
// device written in place, anything else left alone. On failure they return
// false with the reason.

// The report holds every step's whole command text, passwords in settings
// included: a new one is readable by its owner alone. The metrics file is
// for a collector to read.
constexpr mode_t kReportFileMode = 0600;
constexpr mode_t kMetricsFileMode = 0644;

// Stage the file (see TStagedFile::Stage); the caller commits it.
bool StageReportFile(TStagedFile& file, const std::string& path, const TRunRecord& record,
                     std::string& reason);
// The time of the last success is carried over from the file being
// replaced, read before it is replaced.
bool StageMetricsFile(TStagedFile& file, const std::string& path, const TRunRecord& record,
                      std::string& reason);

// Stage and commit in one call.
bool WriteReportFile(const std::string& path, const TRunRecord& record, std::string& reason);
bool WriteMetricsFile(const std::string& path, const TRunRecord& record, std::string& reason);

#endif  // VELMORJOB_REPORT_REPORT_FILES_H_

#ifndef VELMORJOB_REPORT_REPORT_JSON_H_
#define VELMORJOB_REPORT_REPORT_JSON_H_

#include <string>
#include <string_view>

#include "core/run_record.h"

// The word the run report gives for an exit status: "ok" (0), "usage-error"
// (1), "config-error" (2), "step-failed" (3), "output-error" (4), "locked"
// (75), "stopped" (129 to 192: 128 + the number of the signal that ended the
// job), and "unknown" for any other status.
std::string_view ResultWord(int exit_status);

// The run report: one JSON object, laid out one field to a line and ended by
// a newline. Its form is described by schema/report.schema.json. Of the
// configuration errors, the first TRunRecord::kMaxConfigMessages are written
// and the rest counted with config_errors_not_kept.
std::string ReportJson(const TRunRecord& record);

#endif  // VELMORJOB_REPORT_REPORT_JSON_H_

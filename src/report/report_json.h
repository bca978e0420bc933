#ifndef VELMORJOB_REPORT_REPORT_JSON_H_
#define VELMORJOB_REPORT_REPORT_JSON_H_

#include <string>
#include <string_view>

#include "core/run_record.h"

// The run report: one JSON object, laid out one field to a line and ended by
// a newline. Its form is described by schema/report.schema.json. Of the
// configuration errors, the first TRunRecord::kMaxConfigMessages are written
// and the rest counted with config_errors_not_kept.
std::string ReportJson(const TRunRecord& record);

#endif  // VELMORJOB_REPORT_REPORT_JSON_H_

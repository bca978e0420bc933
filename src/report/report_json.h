#ifndef VELMORJOB_REPORT_REPORT_JSON_H_
#define VELMORJOB_REPORT_REPORT_JSON_H_

#include <string>
#include <string_view>

#include "core/run_record.h"

// The run report: one JSON object, laid out one field to a line and ended by
// a newline. Its form is described by schema/report.schema.json. Of the
// configuration errors, the first TRunRecord::kMaxConfigMessages are written
// and the rest counted with config_errors_not_kept.
//
// A run that has not ended has no end time, duration or exit status, and
// its result is null, or the word the history gives it ("running",
// "abandoned"); an attempt not ended has no duration.
enum class TJsonLayout {
  kLines,    // one field to a line, as the report file has it
  kOneLine,  // the whole object on one line, for a stream of runs (--runs --json)
};
std::string ReportJson(const TRunRecord& record, TJsonLayout layout = TJsonLayout::kLines);

#endif  // VELMORJOB_REPORT_REPORT_JSON_H_

#ifndef VELMORJOB_OPTIONS_ADD_COMMAD_H_
#define VELMORJOB_OPTIONS_ADD_COMMAD_H_

#include "core/server.h"
#include "options/setting_rules.h"

// Translates one setting line ("Key value") for the given step and appends
// the resulting " --option=value" text to the step's params. Returns 1 when a
// rule applied and its text was appended, 0 when the line is not a valid
// setting for that step kind or the text would not fit in kMaxParams.
// Prints nothing; the line is not changed. The rules are ApplySetting's.
int AddCommad(const char* line, TServer* server);

// The same, telling in `verdict` how the line fared (for --check's
// explanations and the run report's reasons).
int AddCommad(const char* line, TServer* server, TSettingVerdict* verdict);

#endif  // VELMORJOB_OPTIONS_ADD_COMMAD_H_

#ifndef VELMORJOB_APP_HISTORY_COMMANDS_H_
#define VELMORJOB_APP_HISTORY_COMMANDS_H_

#include "app/command_line.h"
#include "core/outcome.h"

// --runs and --status: what the history file says, printed on standard
// output as text or, with --json, as JSON lines. A history that cannot be
// read is told on standard error ("velmorjob: cannot read history FILE:
// REASON"), with the status of a configuration error.

// The last runs of the job named (--runs[=N] JOB).
TOutcome ShowRuns(const TCommandLine& command_line);

// What runs now and how each job, or the one named, last ran (--status).
TOutcome ShowStatus(const TCommandLine& command_line);

#endif  // VELMORJOB_APP_HISTORY_COMMANDS_H_

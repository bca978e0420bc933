#ifndef VELMORJOB_APP_RUN_JOB_H_
#define VELMORJOB_APP_RUN_JOB_H_

#include "core/outcome.h"
#include "job/run_settings.h"
#include "job/step_runner.h"

// One run of the job the settings name, from reading its section to the
// hook that tells how it went; also a dry run, which only prints the
// commands. Returns what happened, for the exit status.
TOutcome RunJob(const TRunSettings& settings, const TExecute& execute);

#endif  // VELMORJOB_APP_RUN_JOB_H_

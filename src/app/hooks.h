#ifndef VELMORJOB_APP_HOOKS_H_
#define VELMORJOB_APP_HOOKS_H_

#include <optional>

#include "job/run_settings.h"
#include "job/step_runner.h"

// The commands a run starts around its steps: --on-start once the job has
// been read and the lock taken, --on-success or --on-failure once the run's
// files have been written. Each runs as /bin/sh -c COMMAND, supervised as a
// step is, with a time limit of kHookTimeout seconds (then SIGTERM to its
// group, and SIGKILL kHookKillAfter seconds later). It gets the program's
// environment with the run's details added (VELMORJOB_JOB, _CONFIG,
// _RUN_ID, _STATUS, _RESULT, _FAILED_STEP, _REPORT), the run report as
// JSON on its standard input, and the program's standard output and error.
// A hook that fails gets one line on standard error and changes nothing
// else.

constexpr double kHookTimeout = 60;
constexpr double kHookKillAfter = 5;

enum class THook { kStart, kSuccess, kFailure };

// Runs the hook given for `which`, if any. The run record must be kept.
void RunHook(THook which, const TRunSettings& settings, const TExecute& execute);

// The hook that ends a run with this exit status: --on-success for 0, none
// for 75 (the run that holds the lock tells of itself), --on-failure for
// any other.
std::optional<THook> FinalHook(int exit_status);

#endif  // VELMORJOB_APP_HOOKS_H_

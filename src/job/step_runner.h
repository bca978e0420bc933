#ifndef VELMORJOB_JOB_STEP_RUNNER_H_
#define VELMORJOB_JOB_STEP_RUNNER_H_

#include <functional>

#include "core/server.h"
#include "job/run_context.h"
#include "job/run_settings.h"
#include "job/step_process.h"

// Runs a process of the run and waits for it: RunProcess, unless a test
// puts another in its place.
using TExecute = std::function<TStepResult(const TProcessSetup& setup)>;

// The steps from head on, counted; 0 for none.
long CountSteps(const TServer* head);

// Runs the steps from head on, from settings.from_step, one after another,
// each as its command text through the shell, telling run.events of each
// attempt and what went wrong in run.outcome. A failed step is run again as
// settings.retry allows, after a wait that doubles each time. No step,
// attempt or wait starts once a stop signal has come or the job's deadline
// (run.deadline) has passed; an interrupted step stops the job, and so does
// a failed step with exit_on_error. Each step gets the descriptor of the
// lock the run holds. In a dry run each step's command text is told
// instead.
void RunSteps(const TServer* head, const TRunSettings& settings, const TExecute& execute,
              TRunContext& run);

#endif  // VELMORJOB_JOB_STEP_RUNNER_H_

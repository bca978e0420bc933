#ifndef VELMORJOB_APP_RUN_OUTPUTS_H_
#define VELMORJOB_APP_RUN_OUTPUTS_H_

#include "app/command_line.h"

// The run report (--report=FILE) and the metrics file (--metrics=FILE) of a
// run of a job.

// When either is asked for, starts keeping the run record: the job, where
// it runs, when it started.
void StartRunOutputs(const TCommandLine& command_line);

// Ends the record with the run's exit status and writes each file asked
// for, atomically; a run that ends 75 (the lock was held) writes no metrics.
// A file that cannot be written is told on standard error and counted in
// the outcome.
void FinishRunOutputs(const TCommandLine& command_line);

#endif  // VELMORJOB_APP_RUN_OUTPUTS_H_

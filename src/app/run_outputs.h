#ifndef VELMORJOB_APP_RUN_OUTPUTS_H_
#define VELMORJOB_APP_RUN_OUTPUTS_H_

#include "job/run_settings.h"

// The record of a run and the files made of it: the run report
// (--report=FILE) and the metrics file (--metrics=FILE).

// When the record is needed, starts keeping it: the job, where it runs,
// when it started, the run's id.
void StartRunRecord(const TRunSettings& settings);

// Ends the record with the run's exit status and writes each file asked
// for, so that both tell the status the run ends with: when writing one
// fails (status 4) or a stop signal comes meanwhile, the files already
// written are written again with the new status. A file that cannot be
// written is told on standard error and counted in the outcome, and left
// as it was. A run refused by the lock (75) leaves the metrics file alone:
// the run that holds the lock writes it.
void WriteRunFiles(const TRunSettings& settings);

#endif  // VELMORJOB_APP_RUN_OUTPUTS_H_

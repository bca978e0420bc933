#ifndef VELMORJOB_JOB_STEP_RUNNER_H_
#define VELMORJOB_JOB_STEP_RUNNER_H_

#include "core/server.h"

// How the steps of a job are run; set once by the entry from the command line.
struct TRunSettings {
  // Print each step's command text instead of running it.
  bool dry_run = false;
  // Print each step's command text before it starts, and how it ended.
  bool verbose = false;
  // Runs a command text through the shell and waits for it, with the
  // result of system(3).
  int (*execute)(const char* command) = nullptr;
};

extern TRunSettings runsettings;

// The signal a step was interrupted by (SIGINT or SIGQUIT), or 0. The shell
// reports a child that died of signal N as exit status 128 + N, which counts
// the same as the signal itself.
int InterruptSignal(int status);

// Runs the steps from head on, one after another, recording failures and an
// interruption in the outcome. An interrupted step stops the job.
void RunSteps(const TServer* head);

#endif  // VELMORJOB_JOB_STEP_RUNNER_H_

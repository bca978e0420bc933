#ifndef VELMORJOB_JOB_STEP_RUNNER_H_
#define VELMORJOB_JOB_STEP_RUNNER_H_

#include <optional>
#include <string>

#include "core/server.h"
#include "job/step_process.h"

// How the steps of a job are run; set once by the entry from the command line.
struct TRunSettings {
  // The job's name, for messages.
  std::string job;
  // Print each step's command text instead of running it.
  bool dry_run = false;
  // Print each step's command text before it starts, and how it ended.
  bool verbose = false;
  // Run no further step after one failed.
  bool exit_on_error = false;
  // The time limits of each step, and the time limit as the operator wrote
  // it, for the message when a step reaches it.
  TStepLimits limits;
  std::string timeout_text;
  // The lock file to take before the first step, if any.
  std::optional<std::string> lock;
  // Runs a command text through the shell and waits for it.
  TStepEnd (*execute)(const std::string& command, const TStepLimits& limits) = nullptr;
};

extern TRunSettings runsettings;

// The signal a step was interrupted by (SIGINT or SIGQUIT), or 0. The shell
// reports a child that died of signal N as exit status 128 + N, which counts
// the same as the signal itself.
int InterruptSignal(int status);

// Runs the steps from head on, one after another, recording failures, an
// interruption and a stop signal in the outcome, and each step in the run
// record when it is kept. With a lock file, takes the lock first and runs
// nothing when another run holds it. An interrupted step or a stop signal
// stops the job, and so does a failed step with exit_on_error.
void RunSteps(const TServer* head);

#endif  // VELMORJOB_JOB_STEP_RUNNER_H_

#ifndef VELMORJOB_CORE_OUTCOME_H_
#define VELMORJOB_CORE_OUTCOME_H_

// What happened during one run, gathered for the exit status.
struct TOutcome {
  // Configuration errors reported: unreadable file, bad or malformed lines,
  // a job that is not in the file.
  long config_errors = 0;
  // A step could not be started, exited non-zero or died of a signal.
  bool step_failed = false;
  // SIGINT or SIGQUIT when a step was interrupted and the job stopped.
  int interrupt_signal = 0;
  // Writing standard output failed.
  bool output_failed = false;
};

extern TOutcome outcome;

// Exit statuses of the program.
constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitConfig = 2;
constexpr int kExitStepFailed = 3;
constexpr int kExitOutput = 4;

// The exit status that tells what happened: an interruption ends with
// 128 + its signal, a configuration error wins over a failed step, and a
// failed step over output that could not be written.
int ExitStatus(const TOutcome& result);

#endif  // VELMORJOB_CORE_OUTCOME_H_

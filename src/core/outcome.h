#ifndef VELMORJOB_CORE_OUTCOME_H_
#define VELMORJOB_CORE_OUTCOME_H_

// What happened during one run, gathered for the exit status.
struct TOutcome {
  // Configuration errors reported: unreadable file, bad or malformed lines,
  // a job that is not in the file, a lock file that cannot be opened.
  long config_errors = 0;
  // A step could not be started, exited non-zero, died of a signal or ran
  // out of time.
  bool step_failed = false;
  // SIGINT or SIGQUIT when a step was interrupted and the job stopped.
  int interrupt_signal = 0;
  // Writing standard output failed.
  bool output_failed = false;
  // The job was not run because another run holds its lock.
  bool locked = false;
  // The stop signal the program itself received (SIGTERM, SIGHUP, SIGINT,
  // SIGQUIT), which ended the run.
  int stop_signal = 0;
  // The run report or the metrics file could not be written.
  bool file_failed = false;
  // The command line could not be used.
  bool usage_error = false;
  // The job ran past its deadline (--job-timeout).
  bool job_timed_out = false;
};

// Exit statuses of the program; what each means, and which wins when
// several apply, is in the table of core/exit_status.h.
constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitConfig = 2;
constexpr int kExitStepFailed = 3;
constexpr int kExitOutput = 4;
constexpr int kExitLocked = 75;  // EX_TEMPFAIL: try again later
constexpr int kExitSignalBase = 128;

#endif  // VELMORJOB_CORE_OUTCOME_H_

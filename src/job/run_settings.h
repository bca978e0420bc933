#ifndef VELMORJOB_JOB_RUN_SETTINGS_H_
#define VELMORJOB_JOB_RUN_SETTINGS_H_

#include <cstddef>
#include <optional>
#include <string>

#include "job/retry_rule.h"
#include "job/step_process.h"

// How long a hook may run without --hook-timeout.
constexpr double kDefaultHookTimeout = 60;

// Which runs the history keeps without --keep-days and --keep-runs.
constexpr long kDefaultKeepDays = 90;
constexpr long kDefaultKeepRuns = 100;

// What --quiet keeps of each step's output without --keep-output.
constexpr std::size_t kQuietKeptOutput = 64 * 1024;

// How one run of a job goes, as the command line asked: made once from it
// (RunSettingsFrom) and handed, unchanged, to everything that runs the job.
struct TRunSettings {
  std::string job;     // the job's name
  std::string config;  // the configuration file's path, as given
  // Print each step's command text instead of running it.
  bool dry_run = false;
  // Print each step's command text before it starts, and how it ended.
  bool verbose = false;
  // Run no further step after one failed.
  bool exit_on_error = false;
  // Print nothing unless the run fails; then everything, and the output
  // of each failed step.
  bool quiet = false;
  // The time limits of each step (the deadline is the run's, set when it
  // starts), and the time limit as the operator wrote it, for messages.
  TStepLimits limits;
  std::string timeout_text;
  // The deadline of the whole run, counted from its start, as written.
  std::optional<double> job_timeout;
  std::string job_timeout_text;
  TRetryRule retry;
  // The first step to run (1: all of them).
  long from_step = 1;
  // The lock file to take before the first step, and how long to wait for
  // it when another run holds it.
  std::optional<std::string> lock;
  std::optional<double> lock_wait;
  // How much of each step's output to keep, when it is kept.
  std::optional<std::size_t> keep_output;
  std::optional<std::string> report;
  std::optional<std::string> metrics;
  std::optional<std::string> on_start;
  std::optional<std::string> on_success;
  std::optional<std::string> on_failure;
  // How long a hook may run before its group is told to stop.
  double hook_timeout = kDefaultHookTimeout;
  // The history file the run is recorded in, and which runs it keeps: those
  // that ended less than keep_days ago, and at least the keep_runs newest
  // of each job.
  std::optional<std::string> history;
  long keep_days = kDefaultKeepDays;
  long keep_runs = kDefaultKeepRuns;

  // Whether each step's output goes through velmorjob, and how much of it
  // is kept: --keep-output, or 64K when --quiet alone asks for it.
  std::optional<std::size_t> KeptOutput() const;
  // Whether the record of the run is needed: for the report, the metrics,
  // the hooks or --quiet.
  bool KeepsRecord() const;
};

#endif  // VELMORJOB_JOB_RUN_SETTINGS_H_

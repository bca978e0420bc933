#include "app/run_settings.h"

TRunSettings RunSettingsFrom(const TCommandLine& command_line) {
  TRunSettings settings;
  settings.job = command_line.job.value_or("");
  settings.config = ConfigPath(command_line);
  settings.dry_run = command_line.dry_run;
  settings.verbose = command_line.verbose;
  settings.exit_on_error = command_line.exit_on_error;
  // A dry run prints the commands alone, whatever else was asked.
  settings.quiet = command_line.quiet && !command_line.dry_run;
  if (command_line.timeout) {
    settings.limits.timeout = command_line.timeout->seconds;
    settings.timeout_text = command_line.timeout->text;
  }
  if (command_line.kill_after) settings.limits.kill_after = command_line.kill_after->seconds;
  if (command_line.job_timeout) {
    settings.job_timeout = command_line.job_timeout->seconds;
    settings.job_timeout_text = command_line.job_timeout->text;
  }
  settings.retry.retries = command_line.retries.value_or(0);
  if (command_line.retry_delay) settings.retry.delay = command_line.retry_delay->seconds;
  settings.retry.only = command_line.retry_on;
  settings.from_step = command_line.from_step.value_or(1);
  settings.lock = command_line.lock;
  if (command_line.lock_wait) settings.lock_wait = command_line.lock_wait->seconds;
  settings.keep_output = command_line.keep_output;
  settings.report = command_line.report;
  settings.metrics = command_line.metrics;
  settings.on_start = command_line.on_start;
  settings.on_success = command_line.on_success;
  settings.on_failure = command_line.on_failure;
  if (command_line.hook_timeout) settings.hook_timeout = command_line.hook_timeout->seconds;
  settings.history = command_line.history;
  settings.keep_days = command_line.keep_days.value_or(kDefaultKeepDays);
  settings.keep_runs = command_line.keep_runs.value_or(kDefaultKeepRuns);
  return settings;
}

#include "app/run_job.h"

#include <string>

#include "app/console.h"
#include "app/hooks.h"
#include "app/lookup.h"
#include "app/run_outputs.h"
#include "core/output.h"
#include "core/run_events.h"
#include "core/stop_signal.h"
#include "history/history_recorder.h"
#include "job/record_keeper.h"
#include "job/run_context.h"

namespace {

std::string Plural(long count, const char* word) {
  return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

// --from-step names a step of the job. A configuration error otherwise.
bool NamesAStep(const TRunSettings& settings, long steps, TRunContext& run) {
  if (settings.from_step <= 1 || settings.from_step <= steps) return true;
  run.ConfigError("Job \"" + settings.job + "\" has " + Plural(steps, "step") +
                  "; --from-step=" + std::to_string(settings.from_step) + " names none\n");
  return false;
}

// Takes the run's lock, if one was asked for. Returns whether the steps may
// run.
bool TakeLock(const TRunSettings& settings, TRunContext& run) {
  if (!settings.lock) return true;
  const std::string& path = *settings.lock;
  std::string reason;
  std::string notice;
  const TLockResult result = run.lock.Take(
      path, settings.lock_wait, [&] { run.events.LockWaiting(path); }, reason, notice);
  if (!notice.empty()) run.events.Warning(notice);
  switch (result) {
    case TLockResult::kTaken: run.events.LockTaken(path); return true;
    case TLockResult::kHeld:
      run.events.LockHeld(path);
      run.outcome.locked = true;
      return false;
    // Stopped while it waited: the run says so as it ends.
    case TLockResult::kStopped: return false;
    case TLockResult::kFailed: break;
  }
  run.ConfigError("Lock file [" + path + "] could not be opened: " + reason + "\n");
  return false;
}

// The steps of the job, read without error: the lock, the run's start
// (--on-start), and the steps themselves.
void RunTheSteps(const TServer* steps, const TRunSettings& settings, const TExecute& execute,
                 TRunContext& run) {
  const long count = CountSteps(steps);
  run.events.JobRead(count);
  if (!NamesAStep(settings, count, run) || count == 0) return;
  if (!settings.dry_run) {
    if (!TakeLock(settings, run)) return;
    run.events.RunStarted(run.record);
  }
  RunSteps(steps, settings, execute, run);
}

}  // namespace

TOutcome RunJob(const TRunSettings& settings, const TExecute& execute) {
  // Who hears of what the run does: each listener is added here, in the
  // order in which it hears of each event.
  TRunListeners listeners;
  TRunContext run(listeners);
  TRecordKeeper keeper(run.record, settings);
  THistoryRecorder history(settings, run);
  TConsole console(settings);
  THooks hooks(settings, execute);
  listeners.Add(keeper);
  listeners.Add(history);
  listeners.Add(console);
  listeners.Add(hooks);

  StartRunRecord(settings, run.record);
  if (settings.job_timeout) run.deadline = TSteadyClock::now() + Seconds(*settings.job_timeout);

  // The job's section, read to its end without error, hands over its steps.
  LookUpJob(settings.config, settings.job, run,
            [&](const TServer* steps) { RunTheSteps(steps, settings, execute, run); });
  if (const int signal_number = StopSignal()) listeners.Stopped(signal_number);
  if (settings.dry_run) return run.outcome;

  // The report and the metrics, then the hook that tells how it went.
  FlushOutput();
  TRunFiles files(settings);
  files.Write(run);
  listeners.FilesWritten(run.record);
  FlushOutput();
  // A stop signal during the hook, or output that failed after the files
  // were written: they are written again to say so.
  if (run.Status() != run.record.exit_status) files.Write(run);
  listeners.RunEnded(run.record);
  return run.outcome;
}

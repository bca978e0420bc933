#include "app/run_job.h"

#include <string>

#include "app/hooks.h"
#include "app/lookup.h"
#include "app/run_outputs.h"
#include "core/duration_text.h"
#include "core/exit_status.h"
#include "core/outcome.h"
#include "core/output.h"
#include "core/run_record.h"
#include "core/stop_signal.h"
#include "job/run_lock.h"

namespace {

std::string Plural(long count, const char* word) {
  return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

// --from-step names a step of the job. A configuration error otherwise.
bool NamesAStep(const TRunSettings& settings, const TServer* steps) {
  const long count = CountSteps(steps);
  if (settings.from_step <= 1 || settings.from_step <= count) return true;
  ReportConfigError(std::nullopt, "Job \"" + settings.job + "\" has " + Plural(count, "step") +
                                      "; --from-step=" + std::to_string(settings.from_step) +
                                      " names none\n");
  return false;
}

// Takes the run's lock, if one was asked for. Returns whether the steps may
// run.
bool TakeLock(const TRunSettings& settings) {
  if (!settings.lock) return true;
  const std::string& path = *settings.lock;
  std::string reason;
  // What was said so far shows while it waits.
  if (settings.lock_wait) FlushOutput();
  switch (TakeRunLock(path, reason, settings.lock_wait)) {
    case TLockResult::kTaken: return true;
    case TLockResult::kHeld:
      Say("Job \"" + settings.job + "\" not run: lock file [" + path +
          "] is held by another run\n");
      outcome.locked = true;
      return false;
    // Stopped while it waited: the run says so as it ends.
    case TLockResult::kStopped: return false;
    case TLockResult::kFailed: break;
  }
  ReportConfigError(std::nullopt, "Lock file [" + path + "] could not be opened: " + reason + "\n");
  return false;
}

// The steps of the job, read without error: the lock, --on-start, and the
// steps themselves.
void RunTheSteps(const TServer* steps, const TRunSettings& settings, const TExecute& execute,
                 const TStepsContext& context) {
  if (!NamesAStep(settings, steps) || steps == nullptr) return;
  if (settings.dry_run) {
    RunSteps(steps, settings, execute, context);
    return;
  }
  if (!TakeLock(settings)) return;
  TStepsContext held = context;
  held.lock_fd = RunLockDescriptor();
  RunHook(THook::kStart, settings, execute);
  RunSteps(steps, settings, execute, held);
}

std::string Bytes(std::uint64_t count) {
  return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

// For --quiet: how each step whose last attempt failed ended, and what it
// wrote last.
void SayFailedSteps(const TRunRecord& record) {
  for (const TStepRecord* step : LastAttempts(record)) {
    if (!step->result.Failed()) continue;
    const std::string which = StepLabel(step->number, step->program);
    Say("Step " + which + " failed: " + step->result.Cause() + " after " +
        DurationWords(step->seconds) + "\n");
    if (!step->output_tail) continue;
    const std::uint64_t bytes = step->output_bytes.value_or(0);
    const std::string& tail = *step->output_tail;
    const std::string size = tail.size() < bytes
                                 ? "last " + std::to_string(tail.size()) + " of " + Bytes(bytes)
                                 : Bytes(bytes);
    Say("--- output of step " + which + " (" + size + ") ---\n");
    Say(tail);
    if (!tail.empty() && tail.back() != '\n') Say("\n");
  }
}

}  // namespace

int RunJob(const TRunSettings& settings, const TExecute& execute) {
  StartRunRecord(settings);
  TStepsContext context;
  if (settings.job_timeout) context.deadline = TSteadyClock::now() + Seconds(*settings.job_timeout);

  // The job's section, read to its end without error, hands over its steps.
  LookUpJob(settings.config, settings.job,
            [&](const TServer* steps) { RunTheSteps(steps, settings, execute, context); });
  if (const int signal_number = StopSignal()) {
    Say("Job \"" + settings.job + "\" stopped by " + StopSignalName(signal_number) + "\n");
  }
  if (settings.dry_run) return ExitStatus(outcome);

  // The report and the metrics, then the hook that tells how it went.
  FlushOutput();
  WriteRunFiles(settings);
  const int status = ExitStatus(outcome);
  if (settings.quiet) {
    ReleaseKeptMessages(status != kExitOk);
    if (status != kExitOk) SayFailedSteps(*runrecord);
  }
  if (const std::optional<THook> hook = FinalHook(status)) RunHook(*hook, settings, execute);
  FlushOutput();
  outcome.stop_signal = StopSignal();
  // A stop signal during the hook, or output that failed after the files
  // were written: they are written again to say so.
  if (runrecord && ExitStatus(outcome) != runrecord->exit_status) WriteRunFiles(settings);
  return ExitStatus(outcome);
}

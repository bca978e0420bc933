#include "job/step_runner.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/wait.h>

#include "core/outcome.h"
#include "core/output.h"
#include "core/run_record.h"
#include "core/stop_signal.h"
#include "job/command_text.h"
#include "job/run_lock.h"

TRunSettings runsettings;

namespace {

bool IsInterrupt(int signal_number) { return signal_number == SIGINT || signal_number == SIGQUIT; }

void PrintHowItEnded(const TServer& step, int status, double seconds) {
  if (status == -1) {
    std::printf("Step %s could not be started\n", step.program.c_str());
  } else if (WIFSIGNALED(status)) {
    std::printf("Step %s was killed by signal %d (%s) after %.3f s\n", step.program.c_str(),
                WTERMSIG(status), strsignal(WTERMSIG(status)), seconds);
  } else {
    std::printf("Step %s ended with exit status %d after %.3f s\n", step.program.c_str(),
                WIFEXITED(status) ? WEXITSTATUS(status) : status, seconds);
  }
}

// Takes the run's lock, if one was asked for. Returns whether the steps may
// run.
bool TakeLock() {
  if (!runsettings.lock) return true;
  const std::string& path = *runsettings.lock;
  std::string reason;
  switch (TakeRunLock(path, reason)) {
    case TLockResult::kTaken: return true;
    case TLockResult::kHeld:
      std::printf("Job \"%s\" not run: lock file [%s] is held by another run\n",
                  runsettings.job.c_str(), path.c_str());
      outcome.locked = true;
      return false;
    case TLockResult::kStopped: return false;
    case TLockResult::kFailed: break;
  }
  ReportConfigError(std::nullopt, "Lock file [" + path + "] could not be opened: " + reason + "\n");
  return false;
}

TStepRecord Record(const TServer& step, const std::string& command, TWallClock::time_point start,
                   double seconds, const TStepEnd& end) {
  TStepRecord record;
  record.kind = step.name;
  record.program = step.program;
  record.command = command;
  record.start = start;
  record.seconds = seconds;
  if (end.status != -1 && WIFEXITED(end.status)) record.exit_status = WEXITSTATUS(end.status);
  if (end.status != -1 && WIFSIGNALED(end.status)) record.signal = WTERMSIG(end.status);
  record.timed_out = end.timed_out;
  return record;
}

}  // namespace

int InterruptSignal(int status) {
  if (status == -1) return 0;
  if (WIFSIGNALED(status) && IsInterrupt(WTERMSIG(status))) return WTERMSIG(status);
  if (WIFEXITED(status) && WEXITSTATUS(status) > 128 && IsInterrupt(WEXITSTATUS(status) - 128)) {
    return WEXITSTATUS(status) - 128;
  }
  return 0;
}

void RunSteps(const TServer* head) {
  if (head == nullptr) return;
  const auto execute = runsettings.execute ? runsettings.execute : RunStepProcess;
  if (!runsettings.dry_run && !TakeLock()) return;
  for (const TServer* step = head; step != nullptr; step = step->next.get()) {
    const std::string command = CommandText(*step);
    if (runsettings.dry_run) {
      std::printf("%s\n", command.c_str());
      continue;
    }
    // A stop signal between two steps: the next one does not start.
    if (StopSignal() != 0) return;
    if (runsettings.verbose) std::printf("%s\n", command.c_str());
    // The step writes to the same standard output: what was printed so far
    // must come before what it prints.
    FlushOutput();
    const TWallClock::time_point wall_start = TWallClock::now();
    const auto start = std::chrono::steady_clock::now();
    const TStepEnd end = execute(command, runsettings.limits);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (end.status == -1) std::printf("Error executing \"%s\"\n", step->program.c_str());
    if (end.timed_out) {
      std::printf("Step \"%s\" timed out after %s\n", step->program.c_str(),
                  runsettings.timeout_text.c_str());
    }
    if (runsettings.verbose) PrintHowItEnded(*step, end.status, took.count());
    TStepRecord record = Record(*step, command, wall_start, took.count(), end);
    const bool failed = StepFailed(record);
    if (runrecord) runrecord->steps.push_back(std::move(record));
    if (StopSignal() != 0) return;
    if (const int signal_number = InterruptSignal(end.status)) {
      outcome.interrupt_signal = signal_number;
      return;
    }
    if (failed) {
      outcome.step_failed = true;
      if (runsettings.exit_on_error) return;
    }
  }
}

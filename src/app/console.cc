#include "app/console.h"

#include <cstdint>
#include <string>

#include "core/duration_text.h"
#include "core/output.h"
#include "core/signal_names.h"

namespace {

// "Step 3 "./indexer"": how every line about one step names it.
std::string StepName(const TStepRecord& step) {
  return "Step " + StepLabel(step.number, step.program);
}

std::string Bytes(std::uint64_t count) {
  return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

void SayHowItEnded(const TStepRecord& step) {
  const std::string name = StepName(step);
  const std::string after = " after " + DurationWords(step.seconds) + "\n";
  const TPriority priority = step.result.Failed() ? TPriority::kError : TPriority::kInfo;
  switch (step.result.end) {
    case TStepResult::TEnd::kNotStarted: Say(priority, name + " could not be started\n"); return;
    case TStepResult::TEnd::kKilled:
      Say(priority, name + " was killed by signal " + std::to_string(step.result.code) + " (" +
                        SignalMeaning(step.result.code) + ")" + after);
      return;
    case TStepResult::TEnd::kExited: break;
  }
  Say(priority, name + " ended with exit status " + std::to_string(step.result.code) + after);
}

// For --quiet: how each step whose last attempt failed ended, and what it
// wrote last.
void SayFailedSteps(const TRunRecord& record) {
  for (const TStepRecord* step : LastAttempts(record)) {
    if (!step->result.Failed()) continue;
    const std::string which = StepLabel(step->number, step->program);
    Say(TPriority::kError, "Step " + which + " failed: " + step->result.Cause() + " after " +
                               DurationWords(step->seconds) + "\n");
    if (!step->output_tail) continue;
    const std::uint64_t bytes = step->output_bytes.value_or(0);
    const std::string& tail = *step->output_tail;
    const std::string size = tail.size() < bytes
                                 ? "last " + std::to_string(tail.size()) + " of " + Bytes(bytes)
                                 : Bytes(bytes);
    // What it wrote is part of the error.
    Say(TPriority::kError, "--- output of step " + which + " (" + size + ") ---\n");
    Say(TPriority::kError, tail);
    if (!tail.empty() && tail.back() != '\n') Say(TPriority::kError, "\n");
  }
}

}  // namespace

void TConsole::ConfigError(const TConfigMessage& message) { Say(TPriority::kError, message.text); }

// What was said so far shows while the run waits.
void TConsole::LockWaiting(const std::string&) { FlushOutput(); }

void TConsole::LockHeld(const std::string& path) {
  Say(TPriority::kWarning,
      "Job \"" + settings_.job + "\" not run: lock file [" + path + "] is held by another run\n");
}

void TConsole::Warning(const std::string& line) { SayError(TPriority::kWarning, line); }

void TConsole::AttemptStarted(const TStepRecord& attempt, int attempts) {
  if (!settings_.verbose) return;
  const std::string which = attempt.attempt == 1
                                ? std::string(" starts: ")
                                : " starts again (attempt " + std::to_string(attempt.attempt) +
                                      " of " + std::to_string(attempts) + "): ";
  Say(TPriority::kInfo, StepName(attempt) + which + attempt.command + "\n");
}

void TConsole::AttemptEnded(const TStepRecord& attempt) {
  if (attempt.result.end == TStepResult::TEnd::kNotStarted) {
    Say(TPriority::kError, "Error executing \"" + attempt.program + "\"\n");
  }
  if (attempt.result.stopped == TStepResult::TStop::kTimeout) {
    Say(TPriority::kError, StepName(attempt) + " timed out after " + settings_.timeout_text + "\n");
  }
  if (settings_.verbose) SayHowItEnded(attempt);
}

void TConsole::RetryWaiting(const TStepRecord& failed, int attempts, double delay) {
  // A failed attempt is an error, even when the next one may succeed.
  Say(TPriority::kError, StepName(failed) + " failed (" + failed.result.Cause() + "); attempt " +
                             std::to_string(failed.attempt + 1) + " of " +
                             std::to_string(attempts) + " in " + DurationWords(delay) + "\n");
}

void TConsole::DeadlinePassed() {
  Say(TPriority::kError,
      "Job \"" + settings_.job + "\" timed out after " + settings_.job_timeout_text + "\n");
}

void TConsole::StepCommand(const std::string& command) { Print(command + "\n"); }

void TConsole::Stopped(int signal_number) {
  Say(TPriority::kError,
      "Job \"" + settings_.job + "\" stopped by " + SignalName(signal_number) + "\n");
}

void TConsole::FileNotWritten(const std::string& what, const std::string& path,
                              const std::string& reason, bool refused) {
  if (refused) {
    SayError(TPriority::kError,
             "velmorjob: " + what + " file [" + path + "] " + reason + ": not written\n");
  } else {
    SayError(TPriority::kError,
             "velmorjob: cannot write " + what + " " + path + ": " + reason + "\n");
  }
}

void TConsole::FilesWritten(const TRunRecord& record) {
  if (!settings_.quiet) return;
  const bool failed = record.exit_status != 0;
  ReleaseKeptMessages(failed);
  if (failed) SayFailedSteps(record);
}

#include "job/step_runner.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/duration_text.h"
#include "core/outcome.h"
#include "core/output.h"
#include "core/run_record.h"
#include "core/stop_signal.h"
#include "job/command_text.h"
#include "job/output_tail.h"

namespace {

// "Step 3 "./indexer"": how every line about one step names it.
std::string StepName(long number, const TServer& step) {
  return "Step " + StepLabel(number, step.program);
}

std::string Seconds3(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", seconds);
  return text;
}

void SayHowItEnded(const std::string& name, const TStepResult& result, double seconds) {
  switch (result.end) {
    case TStepResult::TEnd::kNotStarted: Say(name + " could not be started\n"); return;
    case TStepResult::TEnd::kKilled:
      Say(name + " was killed by signal " + std::to_string(result.code) + " (" +
          strsignal(result.code) + ") after " + Seconds3(seconds) + " s\n");
      return;
    case TStepResult::TEnd::kExited: break;
  }
  Say(name + " ended with exit status " + std::to_string(result.code) + " after " +
      Seconds3(seconds) + " s\n");
}

// A run past its deadline ends with the status of a failed step, whatever
// the step it stopped was doing.
void SayJobTimedOut(const TRunSettings& settings) {
  Say("Job \"" + settings.job + "\" timed out after " + settings.job_timeout_text + "\n");
  outcome.job_timed_out = true;
}

bool DeadlinePassed(const TStepsContext& context) {
  return context.deadline && TSteadyClock::now() >= *context.deadline;
}

class TStepLoop {
 public:
  TStepLoop(const TRunSettings& settings, const TExecute& execute, const TStepsContext& context)
      : settings_(settings), execute_(execute), context_(context) {}

  // Runs one step, with its retries. Returns whether the job goes on.
  bool Step(long number, const TServer& step) {
    const std::string command = CommandText(step);
    const std::string name = StepName(number, step);
    const int attempts = settings_.retry.retries + 1;
    double delay = settings_.retry.delay;
    for (int attempt = 1;; ++attempt) {
      if (StopSignal() != 0) return false;
      if (DeadlinePassed(context_)) {
        SayJobTimedOut(settings_);
        return false;
      }
      const std::optional<TStepResult> attempted =
          Attempt(number, attempt, attempts, step, name, command);
      if (!attempted || StopSignal() != 0) return false;
      const TStepResult& result = *attempted;
      if (result.stopped == TStepResult::TStop::kDeadline) {
        SayJobTimedOut(settings_);
        return false;
      }
      if (const int signal_number = result.Interrupt()) {
        outcome.interrupt_signal = signal_number;
        return false;
      }
      if (!result.Failed()) return true;
      if (attempt == attempts || !settings_.retry.Retries(result)) break;
      // A wait that would end past the deadline is not started.
      if (context_.deadline && TSteadyClock::now() + Seconds(delay) >= *context_.deadline) {
        SayJobTimedOut(settings_);
        return false;
      }
      Say(name + " failed (" + result.Cause() + "); attempt " + std::to_string(attempt + 1) +
          " of " + std::to_string(attempts) + " in " + DurationWords(delay) + "\n");
      FlushOutput();
      if (Pause(delay) == TPauseEnd::kStopSignal) return false;
      delay *= 2;
    }
    outcome.step_failed = true;
    return !settings_.exit_on_error;
  }

 private:
  // Runs one attempt; nothing when a stop signal came before it started.
  std::optional<TStepResult> Attempt(long number, int attempt, int attempts, const TServer& step,
                                     const std::string& name, const std::string& command) {
    if (settings_.verbose) {
      const std::string which = attempt == 1 ? std::string(" starts: ")
                                             : " starts again (attempt " + std::to_string(attempt) +
                                                   " of " + std::to_string(attempts) + "): ";
      Say(name + which + command + "\n");
    }
    // The step writes to the same standard output: what was printed so far
    // must come before what it prints. The write may have waited, for a
    // stop signal even.
    FlushOutput();
    if (StopSignal() != 0) return std::nullopt;
    TProcessSetup setup;
    setup.command = command;
    setup.limits = settings_.limits;
    setup.limits.deadline = context_.deadline;
    setup.lock_fd = context_.lock_fd;
    std::optional<TOutputTail> tail;
    if (const std::optional<std::size_t> kept = settings_.KeptOutput()) {
      tail.emplace(*kept);
      setup.keep = &*tail;
      setup.pass_on = !settings_.quiet;
    }
    const TWallClock::time_point wall_start = TWallClock::now();
    const auto start = std::chrono::steady_clock::now();
    const TStepResult result = execute_(setup);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;

    if (result.end == TStepResult::TEnd::kNotStarted) {
      Say("Error executing \"" + step.program + "\"\n");
    }
    if (result.stopped == TStepResult::TStop::kTimeout) {
      Say(name + " timed out after " + settings_.timeout_text + "\n");
    }
    if (settings_.verbose) SayHowItEnded(name, result, took.count());
    if (runrecord) {
      TStepRecord record;
      record.number = static_cast<int>(number);
      record.attempt = attempt;
      record.kind = step.name;
      record.program = step.program;
      record.command = command;
      record.start = wall_start;
      record.seconds = took.count();
      record.result = result;
      // Only a failed attempt's output is needed when no report or hook
      // reads them all.
      if (tail && (result.Failed() || !settings_.quiet || settings_.report || settings_.on_start ||
                   settings_.on_success || settings_.on_failure)) {
        record.output_tail = tail->Text();
        record.output_bytes = tail->Bytes();
      }
      runrecord->steps.push_back(std::move(record));
    }
    return result;
  }

  const TRunSettings& settings_;
  const TExecute& execute_;
  const TStepsContext& context_;
};

}  // namespace

long CountSteps(const TServer* head) {
  long count = 0;
  for (const TServer* step = head; step != nullptr; step = step->next.get()) ++count;
  return count;
}

void RunSteps(const TServer* head, const TRunSettings& settings, const TExecute& execute,
              const TStepsContext& context) {
  long number = 0;
  if (settings.dry_run) {
    // Nothing of a file with errors goes to a shell.
    if (outcome.config_errors > 0) return;
    for (const TServer* step = head; step != nullptr; step = step->next.get()) {
      if (++number >= settings.from_step) Print(CommandText(*step) + "\n");
    }
    return;
  }
  TStepLoop loop(settings, execute, context);
  for (const TServer* step = head; step != nullptr; step = step->next.get()) {
    if (++number < settings.from_step) continue;
    if (!loop.Step(number, *step)) return;
  }
}

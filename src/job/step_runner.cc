#include "job/step_runner.h"

#include <chrono>
#include <optional>
#include <string>

#include "core/output.h"
#include "core/run_record.h"
#include "core/stop_signal.h"
#include "job/command_text.h"
#include "job/output_tail.h"

namespace {

class TStepLoop {
 public:
  TStepLoop(const TRunSettings& settings, const TExecute& execute, TRunContext& run)
      : settings_(settings), execute_(execute), run_(run) {}

  // Runs one step, with its retries. Returns whether the job goes on.
  bool Step(long number, const TServer& step) {
    const std::string command = CommandText(step);
    const int attempts = settings_.retry.retries + 1;
    double delay = settings_.retry.delay;
    for (int attempt = 1;; ++attempt) {
      if (StopSignal() != 0) return false;
      if (DeadlinePassed()) return TimedOut();
      const std::optional<TStepRecord> attempted =
          Attempt(number, attempt, attempts, step, command);
      if (!attempted || StopSignal() != 0) return false;
      const TStepResult& result = attempted->result;
      if (result.stopped == TStepResult::TStop::kDeadline) return TimedOut();
      if (const int signal_number = result.Interrupt()) {
        run_.outcome.interrupt_signal = signal_number;
        return false;
      }
      if (!result.Failed()) return true;
      if (attempt == attempts || !settings_.retry.Retries(result)) break;
      // A wait that would end past the deadline is not started.
      if (run_.deadline && TSteadyClock::now() + Seconds(delay) >= *run_.deadline) {
        return TimedOut();
      }
      run_.events.RetryWaiting(*attempted, attempts, delay);
      FlushOutput();
      if (Pause(delay) == TPauseEnd::kStopSignal) return false;
      delay *= 2;
    }
    run_.outcome.step_failed = true;
    return !settings_.exit_on_error;
  }

 private:
  bool DeadlinePassed() const { return run_.deadline && TSteadyClock::now() >= *run_.deadline; }

  // A run past its deadline ends with the status of a failed step, whatever
  // the step it stopped was doing. Returns that the job does not go on.
  bool TimedOut() {
    run_.outcome.job_timed_out = true;
    run_.events.DeadlinePassed();
    return false;
  }

  // Runs one attempt; nothing when a stop signal came before it started.
  std::optional<TStepRecord> Attempt(long number, int attempt, int attempts, const TServer& step,
                                     const std::string& command) {
    TStepRecord record;
    record.number = static_cast<int>(number);
    record.attempt = attempt;
    record.kind = step.name;
    record.program = step.program;
    record.command = command;
    record.start = TWallClock::now();
    run_.events.AttemptStarted(record, attempts);
    // The step writes to the same standard output: what was said so far
    // must come before what it prints. The write may have waited, for a
    // stop signal even.
    FlushOutput();
    if (StopSignal() != 0) return std::nullopt;
    TProcessSetup setup;
    setup.command = command;
    setup.limits = settings_.limits;
    setup.limits.deadline = run_.deadline;
    setup.lock_fd = run_.lock.fd();
    std::optional<TOutputTail> tail;
    if (const std::optional<std::size_t> kept = settings_.KeptOutput()) {
      tail.emplace(*kept);
      setup.keep = &*tail;
      setup.pass_on = !settings_.quiet;
    }
    const auto start = std::chrono::steady_clock::now();
    record.result = execute_(setup);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    record.seconds = took.count();
    if (tail) {
      record.output_tail = tail->Text();
      record.output_bytes = tail->Bytes();
    }
    run_.events.AttemptEnded(record);
    return record;
  }

  const TRunSettings& settings_;
  const TExecute& execute_;
  TRunContext& run_;
};

}  // namespace

long CountSteps(const TServer* head) {
  long count = 0;
  for (const TServer* step = head; step != nullptr; step = step->next.get()) ++count;
  return count;
}

void RunSteps(const TServer* head, const TRunSettings& settings, const TExecute& execute,
              TRunContext& run) {
  long number = 0;
  if (settings.dry_run) {
    // Nothing of a file with errors goes to a shell.
    if (run.outcome.config_errors > 0) return;
    for (const TServer* step = head; step != nullptr; step = step->next.get()) {
      if (++number >= settings.from_step) run.events.StepCommand(CommandText(*step));
    }
    return;
  }
  TStepLoop loop(settings, execute, run);
  for (const TServer* step = head; step != nullptr; step = step->next.get()) {
    if (++number < settings.from_step) continue;
    if (!loop.Step(number, *step)) return;
  }
}

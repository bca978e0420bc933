#include "app/status_view.h"

#include <chrono>

#include "app/local_time.h"
#include "core/duration_text.h"
#include "history/run_figures.h"
#include "report/text_escape.h"
#include "report/time_text.h"

namespace {

// In floating point: a time of the file and the clock's may lie further
// apart than the clock's count holds.
double SecondsBetween(TWallClock::time_point from, TWallClock::time_point to) {
  using TSeconds = std::chrono::duration<double>;
  return (TSeconds(to.time_since_epoch()) - TSeconds(from.time_since_epoch())).count();
}

std::string Ago(TWallClock::time_point time, TWallClock::time_point now) {
  return DurationWords(SecondsBetween(time, now)) + " ago";
}

// The run the job's line is about: the one that runs now, or else its
// newest.
const TRecordedRun* Shown(const TJobRuns& job) {
  if (job.running) return &*job.running;
  if (job.latest) return &*job.latest;
  return nullptr;
}

std::string RunningText(const TJobRuns& job, TWallClock::time_point now) {
  const TRunRecord& record = job.running->record;
  const TProgress progress = ProgressOf(job, now);
  std::string text = "running on " + TerminalText(record.host) + " (pid " +
                     std::to_string(job.running->process.pid) + "): step " +
                     std::to_string(progress.step);
  if (job.running->steps) text += " of " + std::to_string(*job.running->steps);
  if (!progress.program.empty()) text += " \"" + TerminalText(progress.program) + "\"";
  text += ", since " + LocalTime(record.start) + " (" + DurationWords(progress.elapsed) + ")";
  if (progress.overrunning) {
    text += "; overrunning: its slowest success took " + DurationWords(*job.slowest_success);
  } else if (progress.expected_end) {
    text += "; expected end " + LocalTime(*progress.expected_end);
  } else {
    text += "; expected end unknown: no successful run to go by";
  }
  return text;
}

std::string EndedText(const TJobRuns& job, TWallClock::time_point now) {
  const TRunRecord& record = job.latest->record;
  std::string text = TerminalText(record.result) + " ";
  text += record.ended ? Ago(record.end, now) : "(started " + Ago(record.start, now) + ")";
  text += job.last_success ? "; last success " + Ago(*job.last_success, now) : "; never succeeded";
  return text;
}

std::string JsonTime(const std::optional<TWallClock::time_point>& time) {
  return time ? "\"" + Rfc3339(*time) + "\"" : "null";
}

std::string JsonNumber(const std::optional<long long>& number) {
  return number ? std::to_string(*number) : "null";
}

}  // namespace

std::string StatusLine(const TJobRuns& job, TWallClock::time_point now, std::size_t name_width) {
  if (Shown(job) == nullptr) return "";
  const std::string name = TerminalText(job.job);
  const std::size_t width = DisplayWidth(name);
  return name + std::string(width < name_width ? name_width - width : 0, ' ') + "  " +
         (job.running ? RunningText(job, now) : EndedText(job, now)) + "\n";
}

std::string StatusJsonLine(const TJobRuns& job, TWallClock::time_point now) {
  const TRecordedRun* shown = Shown(job);
  if (shown == nullptr) return "";
  const TRunRecord& record = shown->record;
  std::optional<TProgress> progress;
  if (job.running) progress = ProgressOf(job, now);
  std::optional<long long> steps;
  if (job.running && job.running->steps) steps = *job.running->steps;
  return "{\"job\": " + JsonString(job.job) + ", \"state\": " + JsonString(record.result) +
         ", \"host\": " + JsonString(record.host) +
         ", \"pid\": " + std::to_string(shown->process.pid) +
         ", \"run_id\": " + JsonString(record.run_id) +
         ", \"start_time\": " + JsonTime(record.start) + ", \"step\": " +
         JsonNumber(progress ? std::optional<long long>(progress->step) : std::nullopt) +
         ", \"steps\": " + JsonNumber(steps) +
         ", \"expected_end\": " + JsonTime(progress ? progress->expected_end : std::nullopt) +
         ", \"overrunning\": " + (progress && progress->overrunning ? "true" : "false") +
         ", \"last_end_time\": " + JsonTime(job.last_end) +
         ", \"last_success_time\": " + JsonTime(job.last_success) + "}\n";
}

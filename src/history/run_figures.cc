#include "history/run_figures.h"

#include <algorithm>
#include <chrono>
#include <set>

namespace {

// About thirty years.
constexpr double kMaxSecondsLeft = 1e9;

// In floating point: a time of the file and the clock's may lie further
// apart than the clock's count holds.
double SecondsBetween(TWallClock::time_point from, TWallClock::time_point to) {
  using TSeconds = std::chrono::duration<double>;
  return std::max(0.0,
                  (TSeconds(to.time_since_epoch()) - TSeconds(from.time_since_epoch())).count());
}

}  // namespace

std::map<int, double> StepSeconds(const TRunRecord& record) {
  std::map<int, double> seconds;
  for (const TStepRecord& attempt : record.steps) {
    if (!attempt.running) seconds[attempt.number] += attempt.seconds;
  }
  return seconds;
}

long RetriesOf(const TRunRecord& record) {
  std::set<int> steps;
  for (const TStepRecord& attempt : record.steps) steps.insert(attempt.number);
  return static_cast<long>(record.steps.size() - steps.size());
}

std::optional<double> Median(std::vector<double> values) {
  if (values.empty()) return std::nullopt;
  const std::size_t middle = values.size() / 2;
  std::nth_element(values.begin(), values.begin() + middle, values.end());
  const double upper = values[middle];
  if (values.size() % 2 == 1) return upper;
  const double lower = *std::max_element(values.begin(), values.begin() + middle);
  return lower + (upper - lower) / 2;
}

TProgress ProgressOf(const TJobRuns& runs, TWallClock::time_point now) {
  const TRecordedRun& running = *runs.running;
  const TRunRecord& record = running.record;
  TProgress progress;
  progress.elapsed = SecondsBetween(record.start, now);
  progress.step = static_cast<int>(std::min<long>(record.from_step, 1'000'000'000));
  // The step of the last attempt started, and when its first attempt began.
  std::optional<TWallClock::time_point> step_start;
  for (const TStepRecord& attempt : record.steps) {
    if (!step_start || attempt.number > progress.step) {
      progress.step = attempt.number;
      step_start = attempt.start;
    }
    if (attempt.number == progress.step) progress.program = attempt.program;
  }
  progress.overrunning = runs.slowest_success && progress.elapsed > *runs.slowest_success;
  if (runs.successes.empty()) return progress;

  // Each step's durations in the successful runs.
  std::map<int, std::vector<double>> samples;
  int last_step = static_cast<int>(std::min<long>(running.steps.value_or(0), 1'000'000'000));
  for (const TRecordedRun& success : runs.successes) {
    for (const auto& [number, seconds] : StepSeconds(success.record)) {
      samples[number].push_back(seconds);
      last_step = std::max(last_step, number);
    }
  }
  double left = 0;
  for (auto sample = samples.lower_bound(progress.step); sample != samples.end(); ++sample) {
    const double median = Median(sample->second).value_or(0);
    if (sample->first > last_step) break;
    if (sample->first == progress.step) {
      const double so_far = step_start ? SecondsBetween(*step_start, now) : 0;
      left += std::max(0.0, median - so_far);
    } else {
      left += median;
    }
  }
  // Within what the clock holds, whatever the file says and whatever time
  // it is.
  const TWallClock::duration ahead = std::chrono::duration_cast<TWallClock::duration>(
      std::chrono::duration<double>(std::min(left, kMaxSecondsLeft)));
  const TWallClock::time_point last = TWallClock::time_point::max();
  progress.expected_end = now < last - ahead ? now + ahead : last;
  return progress;
}

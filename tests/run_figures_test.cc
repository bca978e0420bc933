#include "history/run_figures.h"

#include <chrono>
#include <cstdint>

#include <gtest/gtest.h>

#include "wall_time.h"

namespace {

constexpr std::int64_t kNow = 1796869800000;  // 2026-12-10T02:30:00Z

TStepRecord Attempt(int number, int attempt, std::int64_t start, double seconds) {
  TStepRecord step;
  step.number = number;
  step.attempt = attempt;
  step.program = number % 2 == 1 ? "./indexer" : "./runner";
  step.start = At(start);
  step.seconds = seconds;
  return step;
}

// A successful run whose steps took these many seconds.
TRecordedRun Success(std::vector<double> seconds) {
  TRecordedRun run;
  run.record.result = "ok";
  run.record.ended = true;
  int number = 0;
  for (const double took : seconds) run.record.steps.push_back(Attempt(++number, 1, 0, took));
  return run;
}

TEST(RunFiguresTest, MedianOfOddAndEvenCounts) {
  EXPECT_EQ(std::nullopt, Median({}));
  EXPECT_EQ(5, Median({5}));
  EXPECT_EQ(3, Median({9, 1, 3}));
  EXPECT_EQ(4, Median({9, 1, 3, 5}));
  EXPECT_EQ(2.5, Median({1, 4, 2, 3}));
}

TEST(RunFiguresTest, StepTimesAndRetriesCountEveryAttemptThatEnded) {
  TRunRecord record;
  record.steps = {Attempt(1, 1, 0, 2), Attempt(2, 1, 0, 3), Attempt(2, 2, 0, 4),
                  Attempt(3, 1, 0, 0)};
  record.steps.back().running = true;
  const std::map<int, double> expected = {{1, 2}, {2, 7}};
  EXPECT_EQ(expected, StepSeconds(record));
  EXPECT_EQ(1, RetriesOf(record));
}

// A job of three steps whose successful runs took 10, 20 and 30 s a step
// (and one 10, 40, 60): at step 2 for 5 s, it has 20 - 5 and 30 to go.
TEST(RunFiguresTest, ExpectsTheEndFromTheMediansOfTheStepsLeft) {
  TJobRuns runs;
  runs.successes = {Success({10, 20, 30}), Success({10, 40, 60}), Success({12, 20, 30})};
  runs.slowest_success = 110;
  TRecordedRun running;
  running.steps = 3;
  running.record.start = At(kNow - 15'000);
  running.record.steps = {Attempt(1, 1, kNow - 15'000, 10), Attempt(2, 1, kNow - 5'000, 0)};
  running.record.steps.back().running = true;
  runs.running = running;

  const TProgress progress = ProgressOf(runs, At(kNow));
  EXPECT_EQ(2, progress.step);
  EXPECT_EQ("./runner", progress.program);
  EXPECT_DOUBLE_EQ(15, progress.elapsed);
  ASSERT_TRUE(progress.expected_end.has_value());
  EXPECT_EQ(At(kNow + 45'000), *progress.expected_end);
  EXPECT_FALSE(progress.overrunning);

  // Past its median, the step is expected to end now; past the slowest
  // success, the run is overrunning.
  runs.running->record.start = At(kNow - 200'000);
  runs.running->record.steps.back().start = At(kNow - 100'000);
  const TProgress late = ProgressOf(runs, At(kNow));
  EXPECT_EQ(At(kNow + 30'000), *late.expected_end);
  EXPECT_TRUE(late.overrunning);

  // A retry of the step counts from its first attempt.
  runs.running->record.steps.back().running = false;
  runs.running->record.steps.back().start = At(kNow - 8'000);
  runs.running->record.steps.push_back(Attempt(2, 2, kNow - 1'000, 0));
  EXPECT_EQ(At(kNow + 42'000), *ProgressOf(runs, At(kNow)).expected_end);

  runs.successes.clear();
  EXPECT_EQ(std::nullopt, ProgressOf(runs, At(kNow)).expected_end);
}

TEST(RunFiguresTest, ExpectedEndIsTheClocksLastTimeWhenNowIsNearIt) {
  TJobRuns job;
  job.job = "nightly";
  TRecordedRun running;
  running.record.start = At(kNow);
  running.record.result = "running";
  job.running = running;
  TRecordedRun success = Success({30});
  job.successes.push_back(success);

  const TWallClock::time_point last = TWallClock::time_point::max();
  const TProgress progress = ProgressOf(job, last - std::chrono::seconds(10));
  ASSERT_TRUE(progress.expected_end.has_value());
  EXPECT_EQ(last, *progress.expected_end);
  // And at an ordinary time, what is left of the step's median.
  EXPECT_EQ(At(kNow + 30'000), *ProgressOf(job, At(kNow)).expected_end);
}

}  // namespace

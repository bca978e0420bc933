// The views of the history (--runs, --status) and the figures they show,
// at the ends of what the clock holds: the history is a file anyone may
// edit, and its times reach as far as the reader reads them.

#include <chrono>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/runs_view.h"
#include "app/status_view.h"
#include "history/history_reader.h"
#include "history/run_figures.h"
#include "wall_time.h"

namespace {

using ::testing::HasSubstr;

// The earliest and the latest times the reader gives.
constexpr std::int64_t kFirstMilliseconds = -9'000'000'000'000;
constexpr std::int64_t kLastMilliseconds = 9'000'000'000'000;
// 2027-01-15.
constexpr std::int64_t kNowMilliseconds = 1'800'000'000'000;

TRecordedRun EndedRun(std::int64_t start, std::int64_t end) {
  TRecordedRun run;
  run.record.job = "nightly";
  run.record.result = "ok";
  run.record.ended = true;
  run.record.start = TimeFromMilliseconds(start);
  run.record.end = TimeFromMilliseconds(end);
  return run;
}

TEST(HistoryViewsTest, RunsTellTheDurationOfARunFromTheFirstTimeToTheLast) {
  // 1.8e10 seconds apart, more nanoseconds than 63 bits hold.
  const std::vector<TRecordedRun> runs = {EndedRun(kFirstMilliseconds, kLastMilliseconds)};
  EXPECT_THAT(RunsText("nightly", runs, TChartStyle()), HasSubstr("  208333d 8h  ok  "));
}

TEST(HistoryViewsTest, StatusTellsHowLongAgoARunEndedAtTheFirstTime) {
  TJobRuns job;
  job.job = "nightly";
  job.latest = EndedRun(kFirstMilliseconds, kFirstMilliseconds);
  // 1.08e10 seconds ago, more nanoseconds than 63 bits hold.
  EXPECT_EQ("nightly  ok 125000d ago; never succeeded\n", StatusText({job}, At(kNowMilliseconds)));
}

TEST(HistoryViewsTest, ExpectedEndIsTheClocksLastTimeWhenNowIsNearIt) {
  TJobRuns job;
  job.job = "nightly";
  TRecordedRun running;
  running.record.start = At(kNowMilliseconds);
  running.record.result = "running";
  job.running = running;
  TRecordedRun success = EndedRun(kNowMilliseconds - 60'000, kNowMilliseconds - 30'000);
  TStepRecord step;
  step.number = 1;
  step.seconds = 30;
  success.record.steps.push_back(step);
  job.successes.push_back(success);

  const TWallClock::time_point last = TWallClock::time_point::max();
  const TProgress progress = ProgressOf(job, last - std::chrono::seconds(10));
  ASSERT_TRUE(progress.expected_end.has_value());
  EXPECT_EQ(last, *progress.expected_end);
  // And at an ordinary time, what is left of the step's median.
  EXPECT_EQ(At(kNowMilliseconds + 30'000), *ProgressOf(job, At(kNowMilliseconds)).expected_end);
}

}  // namespace

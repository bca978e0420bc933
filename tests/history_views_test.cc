// The views of the history (--runs, --status): what they print of runs,
// and at the ends of what the clock holds, as a file anyone may edit can
// give them.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/runs_view.h"
#include "app/status_view.h"
#include "history/history_reader.h"
#include "wall_time.h"

namespace {

using ::testing::HasSubstr;

constexpr std::int64_t kStart = 1796869800000;  // 2026-12-10T02:30:00Z
constexpr std::int64_t kDay = 86'400'000;
// The earliest and the latest times the reader gives.
constexpr std::int64_t kFirstMilliseconds = -9'000'000'000'000;
constexpr std::int64_t kLastMilliseconds = 9'000'000'000'000;

TStepRecord Attempt(int number, int attempt, std::int64_t start, double seconds, int status) {
  TStepRecord step;
  step.number = number;
  step.attempt = attempt;
  step.kind = number == 1 ? "Index" : "Runner";
  step.program = number == 1 ? "./indexer" : "./runner";
  step.command = step.program + " ";
  step.start = At(start);
  step.seconds = seconds;
  step.result = TStepResult::FromWaitStatus(status << 8);
  return step;
}

TRecordedRun Recorded(std::int64_t start, std::int64_t end, int exit_status, const char* result) {
  TRecordedRun run;
  run.steps = 2;
  run.process.pid = 4242;
  TRunRecord& record = run.record;
  record.job = "nightly";
  record.run_id = "1b4e28ba-2fa1-41d2-883f-0016d3cca427";
  record.config = "/srv/search/search.conf";
  record.directory = "/srv/search";
  record.host = "idx1";
  record.start = At(start);
  record.end = At(end);
  record.ended = end != 0;
  record.exit_status = exit_status;
  record.result = result;
  return run;
}

// The views write local times: here, UTC.
class HistoryViewsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    if (tz != nullptr) tz_ = tz;
    setenv("TZ", "UTC", 1);
    tzset();
  }
  void TearDown() override {
    if (tz_) {
      setenv("TZ", tz_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

  // Three nights: a failed one with a retry, and two successes, the newest
  // first.
  static std::vector<TRecordedRun> Nights() {
    TRecordedRun failed = Recorded(kStart, kStart + 700'000, 3, "step-failed");
    failed.record.steps = {Attempt(1, 1, kStart, 400, 0), Attempt(2, 1, kStart + 400'000, 100, 1),
                           Attempt(2, 2, kStart + 530'000, 170, 1)};
    TRecordedRun ok = Recorded(kStart - kDay, kStart - kDay + 300'000, 0, "ok");
    ok.record.steps = {Attempt(1, 1, kStart - kDay, 200, 0),
                       Attempt(2, 1, kStart - kDay + 200'000, 100, 0)};
    TRecordedRun older = Recorded(kStart - 2 * kDay, kStart - 2 * kDay + 360'000, 0, "ok");
    older.record.steps = {Attempt(1, 1, kStart - 2 * kDay, 240, 0),
                          Attempt(2, 1, kStart - 2 * kDay + 240'000, 120, 0)};
    return {failed, ok, older};
  }

  std::optional<std::string> tz_;
};

// The chart's bar takes 80 - (16 + 2 + 2 + 7) = 53 columns for the longest
// run's 670 s of steps.
TEST_F(HistoryViewsTest, RunsAreListedWithTheFiguresOfTheStepsAndAChart) {
  EXPECT_EQ(
      "Job \"nightly\": the last 3 runs, newest first\n"
      "START                DURATION  RESULT       FAILED STEP  RETRIES\n"
      "2026-12-10 02:30:00  11m 40s   step-failed  2            1\n"
      "2026-12-09 02:30:00  5m        ok           -            0\n"
      "2026-12-08 02:30:00  6m        ok           -            0\n"
      "\n"
      "Steps over the 2 successful runs among these:\n"
      "STEP         MIN     MEDIAN  MAX  LAST RUN\n"
      "1 ./indexer  3m 20s  3m 40s  4m   6m 40s (+82%)\n"
      "2 ./runner   1m 40s  1m 50s  2m   4m 30s (+145%)\n"
      "\n"
      "2026-12-10 02:30  ################################=====================  11m 40s\n"
      "2026-12-09 02:30  ################========                               5m\n"
      "2026-12-08 02:30  ###################=========                           6m\n"
      "# 1 ./indexer  = 2 ./runner\n",
      RunsText("nightly", Nights(), TChartStyle{false, 80}));
}

TEST_F(HistoryViewsTest, RunsThatHaveNotEndedAndNoSuccessAreSaidSo) {
  TRecordedRun running = Recorded(kStart, 0, 0, "running");
  running.record.steps = {Attempt(1, 1, kStart, 0, 0)};
  running.record.steps.back().running = true;
  TRecordedRun abandoned = Recorded(kStart - kDay, 0, 0, "abandoned");
  EXPECT_EQ(
      "Job \"night\\x0aly\": the last 2 runs, newest first\n"
      "START                DURATION  RESULT     FAILED STEP  RETRIES\n"
      "2026-12-10 02:30:00  -         running    -            0\n"
      "2026-12-09 02:30:00  -         abandoned  -            0\n"
      "\n"
      "No successful run among these: no figures of the steps.\n"
      "\n"
      "2026-12-10 02:30                                                       running\n"
      "2026-12-09 02:30                                                       abandoned\n"
      "# 1 ./indexer\n",
      RunsText("night\nly", {running, abandoned}, TChartStyle{false, 80}));
  EXPECT_EQ("Job \"nightly\" has no runs in the history.\n",
            RunsText("nightly", {}, TChartStyle{false, 80}));
}

TEST_F(HistoryViewsTest, RunsAsJsonAreOneReportALineNewestFirst) {
  std::vector<TRecordedRun> runs = Nights();
  runs.resize(2);
  runs[1].record.result = "abandoned";
  runs[1].record.ended = false;
  runs[1].record.steps.back().running = true;
  const std::string json = RunsJson(runs);
  ASSERT_EQ(2, std::count(json.begin(), json.end(), '\n')) << json;
  const std::string first = json.substr(0, json.find('\n') + 1);
  EXPECT_EQ(0u, first.find("{\"job\": \"nightly\", \"run_id\": "));
  EXPECT_NE(std::string::npos, first.find("\"exit_status\": 3, \"result\": \"step-failed\""));
  const std::string second = json.substr(first.size());
  EXPECT_NE(std::string::npos,
            second.find("\"end_time\": null, \"duration_seconds\": null, \"exit_status\": null, "
                        "\"result\": \"abandoned\""));
  EXPECT_NE(std::string::npos,
            second.find("\"duration_seconds\": null, \"exit_status\": null, \"signal\": null"));
}

TEST_F(HistoryViewsTest, StatusTellsWhatRunsWhereAndWhenItEnds) {
  const std::vector<TRecordedRun> nights = Nights();
  TJobRuns nightly;
  nightly.job = "nightly";
  nightly.latest = Recorded(kStart + kDay, 0, 0, "running");
  nightly.latest->record.steps = {Attempt(1, 1, kStart + kDay, 200, 0),
                                  Attempt(2, 1, kStart + kDay + 200'000, 0, 0)};
  nightly.latest->record.steps.back().running = true;
  nightly.running = nightly.latest;
  nightly.successes = {nights[1], nights[2]};
  nightly.last_success = nights[1].record.end;
  nightly.last_end = nights[0].record.end;
  nightly.slowest_success = 360;
  TJobRuns weekly;
  weekly.job = "weekly";
  weekly.latest = nights[0];
  weekly.latest->record.job = "weekly";
  weekly.last_end = nights[0].record.end;
  TJobRuns gone;
  gone.job = "gone";
  gone.latest = Recorded(kStart, 0, 0, "abandoned");
  gone.last_success = At(kStart - 3 * kDay);
  // At step 2 for 60 s: its median of 110 s leaves 50.
  const TWallClock::time_point now = At(kStart + kDay + 260'000);
  EXPECT_EQ(
      "nightly  running on idx1 (pid 4242): step 2 of 2 \"./runner\", since 2026-12-11 "
      "02:30:00 (4m 20s); expected end 2026-12-11 02:35:10\n"
      "weekly   step-failed 23h 52m ago; never succeeded\n"
      "gone     abandoned (started 1d ago); last success 4d ago\n",
      StatusLine(nightly, now, 7) + StatusLine(weekly, now, 7) + StatusLine(gone, now, 7));
  EXPECT_EQ(
      "{\"job\": \"nightly\", \"state\": \"running\", \"host\": \"idx1\", \"pid\": 4242, "
      "\"run_id\": \"1b4e28ba-2fa1-41d2-883f-0016d3cca427\", \"start_time\": "
      "\"2026-12-11T02:30:00.000Z\", \"step\": 2, \"steps\": 2, \"expected_end\": "
      "\"2026-12-11T02:35:10.000Z\", \"overrunning\": false, \"last_end_time\": "
      "\"2026-12-10T02:41:40.000Z\", \"last_success_time\": \"2026-12-09T02:35:00.000Z\"}\n"
      "{\"job\": \"weekly\", \"state\": \"step-failed\", \"host\": \"idx1\", \"pid\": 4242, "
      "\"run_id\": \"1b4e28ba-2fa1-41d2-883f-0016d3cca427\", \"start_time\": "
      "\"2026-12-10T02:30:00.000Z\", \"step\": null, \"steps\": null, \"expected_end\": null, "
      "\"overrunning\": false, \"last_end_time\": \"2026-12-10T02:41:40.000Z\", "
      "\"last_success_time\": null}\n"
      "{\"job\": \"gone\", \"state\": \"abandoned\", \"host\": \"idx1\", \"pid\": 4242, "
      "\"run_id\": \"1b4e28ba-2fa1-41d2-883f-0016d3cca427\", \"start_time\": "
      "\"2026-12-10T02:30:00.000Z\", \"step\": null, \"steps\": null, \"expected_end\": null, "
      "\"overrunning\": false, \"last_end_time\": null, \"last_success_time\": "
      "\"2026-12-07T02:30:00.000Z\"}\n",
      StatusJsonLine(nightly, now) + StatusJsonLine(weekly, now) + StatusJsonLine(gone, now));

  // Past its slowest success (6m), the run is overrunning.
  const TWallClock::time_point late = At(kStart + kDay + 400'000);
  EXPECT_EQ(
      "nightly  running on idx1 (pid 4242): step 2 of 2 \"./runner\", since 2026-12-11 "
      "02:30:00 (6m 40s); overrunning: its slowest success took 6m\n",
      StatusLine(nightly, late, 7));
  EXPECT_EQ("", StatusLine(TJobRuns(), late, 7)) << "a job without runs has no line";
}

TRecordedRun EndedRun(std::int64_t start, std::int64_t end) {
  TRecordedRun run;
  run.record.job = "nightly";
  run.record.result = "ok";
  run.record.ended = true;
  run.record.start = TimeFromMilliseconds(start);
  run.record.end = TimeFromMilliseconds(end);
  return run;
}

TEST_F(HistoryViewsTest, RunsTellTheDurationOfARunFromTheFirstTimeToTheLast) {
  // 1.8e10 seconds apart, more nanoseconds than 63 bits hold.
  const std::vector<TRecordedRun> runs = {EndedRun(kFirstMilliseconds, kLastMilliseconds)};
  EXPECT_THAT(RunsText("nightly", runs, TChartStyle()), HasSubstr("  208333d 8h  ok  "));
}

TEST_F(HistoryViewsTest, StatusTellsHowLongAgoARunEndedAtTheFirstTime) {
  TJobRuns job;
  job.job = "nightly";
  job.latest = EndedRun(kFirstMilliseconds, kFirstMilliseconds);
  // 1.08e10 seconds ago, more nanoseconds than 63 bits hold.
  EXPECT_EQ("nightly  ok 125000d ago; never succeeded\n",
            StatusLine(job, At(1'800'000'000'000), 7));
}

}  // namespace

#include "report/metrics_text.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "status_word.h"

#include "wall_time.h"

namespace {

constexpr std::int64_t kStart = 1796869800123;  // 2026-12-10T02:30:00.123Z

TStepRecord Step(std::optional<int> exit_status, std::optional<int> signal, bool timed_out) {
  TStepRecord step;
  step.kind = "Index";
  step.program = "./indexer";
  step.command = "./indexer ";
  step.exit_status = exit_status;
  step.signal = signal;
  step.timed_out = timed_out;
  return step;
}

TRunRecord Record(int exit_status) {
  TRunRecord record;
  record.job = "nightly";
  record.start = At(kStart);
  record.end = At(kStart + 61500);
  record.exit_status = exit_status;
  record.result = StatusWord(record.exit_status);
  return record;
}

TEST(MetricsTextTest, ASuccessfulRunSetsTheLastSuccessToItsEnd) {
  TRunRecord record = Record(0);
  record.steps = {Step(0, std::nullopt, false), Step(0, std::nullopt, false)};
  // An older success handed in does not count against this one.
  EXPECT_EQ(
      R"(# HELP velmorjob_last_run_timestamp_seconds When the last run of the job ended, in seconds since the epoch.
# TYPE velmorjob_last_run_timestamp_seconds gauge
velmorjob_last_run_timestamp_seconds{job_name="nightly"} 1796869861.623
# HELP velmorjob_last_run_duration_seconds How long the last run of the job took, in seconds.
# TYPE velmorjob_last_run_duration_seconds gauge
velmorjob_last_run_duration_seconds{job_name="nightly"} 61.500
# HELP velmorjob_last_run_exit_status The exit status of the last run of the job.
# TYPE velmorjob_last_run_exit_status gauge
velmorjob_last_run_exit_status{job_name="nightly"} 0
# HELP velmorjob_last_run_failed_steps How many steps of the last run of the job failed.
# TYPE velmorjob_last_run_failed_steps gauge
velmorjob_last_run_failed_steps{job_name="nightly"} 0
# HELP velmorjob_last_success_timestamp_seconds When the last run of the job with exit status 0 ended, in seconds since the epoch.
# TYPE velmorjob_last_success_timestamp_seconds gauge
velmorjob_last_success_timestamp_seconds{job_name="nightly"} 1796869861.623
)",
      MetricsText(record, 1700000000.0));
}

TEST(MetricsTextTest, AFailedRunCarriesTheLastSuccessOverUnchanged) {
  // Written as velmorjob writes times when that keeps the value, as the
  // shortest decimal that does otherwise.
  const struct {
    double last_success;
    const char* text;
  } cases[] = {
      {1796800000.123, "1796800000.123"},
      {1796800000.5, "1796800000.500"},
      {1.5e9, "1500000000.000"},
      {0.1, "0.100"},
      {1796800000.1234, "1796800000.1234"},
      {1e300, "1e+300"},
  };
  for (const auto& c : cases) {
    const std::string text = MetricsText(Record(3), c.last_success);
    EXPECT_NE(std::string::npos,
              text.find("\nvelmorjob_last_success_timestamp_seconds{job_name=\"nightly\"} " +
                        std::string(c.text) + "\n"))
        << text;
    EXPECT_NE(std::string::npos,
              text.find("velmorjob_last_run_exit_status{job_name=\"nightly\"} 3\n"));
  }
}

TEST(MetricsTextTest, WithoutAnySuccessTheLastSuccessIsZero) {
  for (const int status : {2, 3, 4, 143}) {
    for (const std::optional<double> carried : {std::optional<double>(), std::optional(0.0)}) {
      const std::string text = MetricsText(Record(status), carried);
      EXPECT_NE(std::string::npos,
                text.find("\nvelmorjob_last_success_timestamp_seconds{job_name=\"nightly\"} 0\n"))
          << text;
      EXPECT_NE(std::string::npos,
                text.find("velmorjob_last_run_exit_status{job_name=\"nightly\"} " +
                          std::to_string(status) + "\n"))
          << text;
    }
  }
}

TEST(MetricsTextTest, CountsEveryWayAStepCanFail) {
  const struct {
    const char* what;
    TStepRecord step;
    bool failed;
  } cases[] = {
      {"exit status 0", Step(0, std::nullopt, false), false},
      {"exit status 1", Step(1, std::nullopt, false), true},
      {"exit status 255", Step(255, std::nullopt, false), true},
      {"killed", Step(std::nullopt, 9, false), true},
      {"timed out, then exited 0", Step(0, std::nullopt, true), true},
      {"timed out and killed", Step(std::nullopt, 15, true), true},
      {"could not be started", Step(std::nullopt, std::nullopt, false), true},
  };
  TRunRecord record = Record(3);
  long failed = 0;
  for (const auto& c : cases) {
    EXPECT_EQ(c.failed, StepFailed(c.step)) << c.what;
    record.steps.push_back(c.step);
    failed += c.failed ? 1 : 0;
  }
  EXPECT_NE(std::string::npos, MetricsText(record, std::nullopt)
                                   .find("velmorjob_last_run_failed_steps{job_name=\"nightly\"} " +
                                         std::to_string(failed) + "\n"));
}

TEST(MetricsTextTest, EveryGaugeCarriesTheEscapedJobLabel) {
  TRunRecord record = Record(0);
  record.job = "a\"b\\c\nd\xFF";
  const std::string text = MetricsText(record, std::nullopt);
  const std::string label = "{job_name=\"a\\\"b\\\\c\\nd\xEF\xBF\xBD\"} ";
  std::size_t samples = 0;
  for (std::size_t at = text.find("{job_name="); at != std::string::npos;
       at = text.find("{job_name=", at + 1)) {
    EXPECT_EQ(0u, text.compare(at, label.size(), label)) << text;
    ++samples;
  }
  EXPECT_EQ(5u, samples);
  // Each sample is one line: the line feed in the name did not split one.
  std::size_t lines = 0;
  for (const char c : text) lines += c == '\n' ? 1 : 0;
  EXPECT_EQ(15u, lines);
}

}  // namespace

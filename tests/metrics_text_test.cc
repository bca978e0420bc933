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

TStepRecord Step(int number, std::optional<int> exit_status, std::optional<int> signal,
                 bool timed_out) {
  TStepRecord step;
  step.number = number;
  step.kind = "Index";
  step.program = "./indexer";
  step.command = "./indexer ";
  if (exit_status) {
    step.result.end = TStepResult::TEnd::kExited;
    step.result.code = *exit_status;
  } else if (signal) {
    step.result.end = TStepResult::TEnd::kKilled;
    step.result.code = *signal;
  }
  if (timed_out) step.result.stopped = TStepResult::TStop::kTimeout;
  return step;
}

TStepRecord Attempt(int number, int attempt, const char* program, double seconds,
                    std::optional<int> exit_status, std::optional<int> signal = std::nullopt) {
  TStepRecord step = Step(number, exit_status, signal, false);
  step.attempt = attempt;
  step.program = program;
  step.seconds = seconds;
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

// The line of the sample that begins with head, without its line feed, or
// "" when there is none.
std::string Line(const std::string& text, const std::string& head) {
  const std::size_t at = text.find("\n" + head);
  if (at == std::string::npos) return "";
  return text.substr(at + 1, text.find('\n', at + 1) - at - 1);
}

TEST(MetricsTextTest, ASuccessfulRunSetsTheLastSuccessToItsEnd) {
  TRunRecord record = Record(0);
  record.steps = {Attempt(1, 1, "./indexer", 60.25, 0), Attempt(2, 1, "./runner", 1.0004, 0)};
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
# HELP velmorjob_last_run_retries How many times steps of the last run of the job were retried.
# TYPE velmorjob_last_run_retries gauge
velmorjob_last_run_retries{job_name="nightly"} 0
# HELP velmorjob_last_success_timestamp_seconds When the last run of the job with exit status 0 ended, in seconds since the epoch; 0 until the first.
# TYPE velmorjob_last_success_timestamp_seconds gauge
velmorjob_last_success_timestamp_seconds{job_name="nightly"} 1796869861.623
# HELP velmorjob_last_run_step_duration_seconds How long each step of the last run of the job ran, all its attempts together, in seconds.
# TYPE velmorjob_last_run_step_duration_seconds gauge
velmorjob_last_run_step_duration_seconds{job_name="nightly",step="1",program="./indexer"} 60.250
velmorjob_last_run_step_duration_seconds{job_name="nightly",step="2",program="./runner"} 1.000
# HELP velmorjob_last_run_step_exit_status The exit status of the last attempt of each step of the last run of the job: 128+N when killed by signal N, -1 when it could not be started.
# TYPE velmorjob_last_run_step_exit_status gauge
velmorjob_last_run_step_exit_status{job_name="nightly",step="1",program="./indexer"} 0
velmorjob_last_run_step_exit_status{job_name="nightly",step="2",program="./runner"} 0
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
      {0, "0.000"},
      {1796800000.1234, "1796800000.1234"},
      {1e300, "1e+300"},
  };
  for (const auto& c : cases) {
    const std::string text = MetricsText(Record(3), c.last_success);
    EXPECT_EQ(
        "velmorjob_last_success_timestamp_seconds{job_name=\"nightly\"} " + std::string(c.text),
        Line(text, "velmorjob_last_success_timestamp_seconds{"))
        << text;
    EXPECT_EQ("velmorjob_last_run_exit_status{job_name=\"nightly\"} 3",
              Line(text, "velmorjob_last_run_exit_status{"));
  }
}

TEST(MetricsTextTest, WithoutAnySuccessTheLastSuccessIsZero) {
  for (const int status : {2, 3, 4, 143}) {
    const std::string text = MetricsText(Record(status), std::nullopt);
    EXPECT_EQ("velmorjob_last_success_timestamp_seconds{job_name=\"nightly\"} 0",
              Line(text, "velmorjob_last_success_timestamp_seconds{"))
        << text;
    EXPECT_EQ("velmorjob_last_run_exit_status{job_name=\"nightly\"} " + std::to_string(status),
              Line(text, "velmorjob_last_run_exit_status{"));
    // No step ran: the gauges of the steps are left out, HELP and TYPE too.
    EXPECT_EQ(std::string::npos, text.find("velmorjob_last_run_step_")) << text;
    EXPECT_EQ("velmorjob_last_run_retries{job_name=\"nightly\"} 0",
              Line(text, "velmorjob_last_run_retries{"));
  }
}

TEST(MetricsTextTest, CountsEveryWayAStepCanFail) {
  const struct {
    const char* what;
    TStepRecord step;
    bool failed;
  } cases[] = {
      {"exit status 0", Step(0, 0, std::nullopt, false), false},
      {"exit status 1", Step(0, 1, std::nullopt, false), true},
      {"exit status 255", Step(0, 255, std::nullopt, false), true},
      {"killed", Step(0, std::nullopt, 9, false), true},
      {"timed out, then exited 0", Step(0, 0, std::nullopt, true), true},
      {"timed out and killed", Step(0, std::nullopt, 15, true), true},
      {"could not be started", Step(0, std::nullopt, std::nullopt, false), true},
  };
  TRunRecord record = Record(3);
  long failed = 0;
  for (const auto& c : cases) {
    EXPECT_EQ(c.failed, c.step.result.Failed()) << c.what;
    record.steps.push_back(c.step);
    record.steps.back().number = static_cast<int>(record.steps.size());
    failed += c.failed ? 1 : 0;
  }
  EXPECT_EQ("velmorjob_last_run_failed_steps{job_name=\"nightly\"} " + std::to_string(failed),
            Line(MetricsText(record, std::nullopt), "velmorjob_last_run_failed_steps{"));
}

TEST(MetricsTextTest, EachStepThatRanHasItsDurationAndLastExitStatus) {
  TRunRecord record = Record(3);
  record.steps = {
      // Failed, then succeeded on its retry: it did not fail, and ran for
      // both attempts; rounding each attempt would give 2.000.
      Attempt(1, 1, "./indexer", 1.0004, 1),
      Attempt(1, 2, "./indexer", 1.0004, 0),
      // Killed by SIGTERM twice: the shell was killed, then the command.
      Attempt(2, 1, "./runner", 0.5, std::nullopt, 15),
      Attempt(2, 2, "./runner", 0.25, 143),
      Attempt(2, 3, "./runner", 0.125, std::nullopt, 15),
      // Could not be started.
      Attempt(3, 1, "./indexer", 0, std::nullopt),
      // Step 4 did not run; step 5 did.
      Attempt(5, 1, "./runner", 7200.5, 2),
  };
  const std::string text = MetricsText(record, std::nullopt);
  const std::string steps = text.substr(text.find("# HELP velmorjob_last_run_step_duration"));
  EXPECT_EQ(
      R"(# HELP velmorjob_last_run_step_duration_seconds How long each step of the last run of the job ran, all its attempts together, in seconds.
# TYPE velmorjob_last_run_step_duration_seconds gauge
velmorjob_last_run_step_duration_seconds{job_name="nightly",step="1",program="./indexer"} 2.001
velmorjob_last_run_step_duration_seconds{job_name="nightly",step="2",program="./runner"} 0.875
velmorjob_last_run_step_duration_seconds{job_name="nightly",step="3",program="./indexer"} 0.000
velmorjob_last_run_step_duration_seconds{job_name="nightly",step="5",program="./runner"} 7200.500
# HELP velmorjob_last_run_step_exit_status The exit status of the last attempt of each step of the last run of the job: 128+N when killed by signal N, -1 when it could not be started.
# TYPE velmorjob_last_run_step_exit_status gauge
velmorjob_last_run_step_exit_status{job_name="nightly",step="1",program="./indexer"} 0
velmorjob_last_run_step_exit_status{job_name="nightly",step="2",program="./runner"} 143
velmorjob_last_run_step_exit_status{job_name="nightly",step="3",program="./indexer"} -1
velmorjob_last_run_step_exit_status{job_name="nightly",step="5",program="./runner"} 2
)",
      steps);
  EXPECT_EQ("velmorjob_last_run_retries{job_name=\"nightly\"} 3",
            Line(text, "velmorjob_last_run_retries{"));
  EXPECT_EQ("velmorjob_last_run_failed_steps{job_name=\"nightly\"} 3",
            Line(text, "velmorjob_last_run_failed_steps{"));
}

TEST(MetricsTextTest, StepsAreWrittenInTheOrderOfTheirNumbers) {
  // Whatever order the attempts are in, each step is one sample, by number.
  TRunRecord record = Record(0);
  record.steps = {Attempt(10, 1, "./runner", 1, 0), Attempt(2, 1, "./indexer", 2, 0),
                  Attempt(10, 2, "./runner", 3, 0)};
  const std::string text = MetricsText(record, std::nullopt);
  const std::string head = "velmorjob_last_run_step_duration_seconds{job_name=\"nightly\",step=";
  EXPECT_NE(std::string::npos, text.find(head + "\"2\",program=\"./indexer\"} 2.000\n" + head +
                                         "\"10\",program=\"./runner\"} 4.000\n# HELP"))
      << text;
}

TEST(MetricsTextTest, EverySampleCarriesTheEscapedLabels) {
  TRunRecord record = Record(0);
  record.job = "a\"b\\c\nd\xFF";
  TStepRecord step = Attempt(1, 1, "./in\"dex\\er\n\xFF", 1, 0);
  record.steps = {step};
  const std::string text = MetricsText(record, std::nullopt);
  const std::string label = "{job_name=\"a\\\"b\\\\c\\nd\xEF\xBF\xBD\"";
  std::size_t samples = 0;
  for (std::size_t at = text.find("{job_name="); at != std::string::npos;
       at = text.find("{job_name=", at + 1)) {
    EXPECT_EQ(0u, text.compare(at, label.size(), label)) << text;
    ++samples;
  }
  EXPECT_EQ(8u, samples);
  EXPECT_NE(std::string::npos,
            text.find(label + ",step=\"1\",program=\"./in\\\"dex\\\\er\\n\xEF\xBF\xBD\"} 0\n"))
      << text;
  // Each sample is one line: the line feeds in the names did not split one.
  std::size_t lines = 0;
  for (const char c : text) lines += c == '\n' ? 1 : 0;
  EXPECT_EQ(24u, lines);
}

}  // namespace

#include "report/metrics_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <map>
#include <string_view>
#include <vector>

#include "report/text_escape.h"
#include "report/time_text.h"

namespace {

// One sample: its labels, as they stand between the braces, and its value.
struct TGaugeSample {
  std::string labels;
  std::string value;
};

// A gauge written with its HELP and TYPE lines, then all its samples; one
// without samples is left out. The help texts are the same in every file,
// as a collector reading the files of several jobs requires.
void AppendGauge(std::string& text, std::string_view name, std::string_view help,
                 const std::vector<TGaugeSample>& samples) {
  if (samples.empty()) return;
  text.append("# HELP ").append(name).append(" ").append(help).append("\n");
  text.append("# TYPE ").append(name).append(" gauge\n");
  for (const TGaugeSample& sample : samples) {
    text.append(name).append("{").append(sample.labels).append("} ").append(sample.value);
    text.append("\n");
  }
}

// A time carried over from the previous file, written as it was read: with
// three decimals when that reads back as the same value, as it does for the
// times velmorjob writes, and otherwise as the shortest decimal that does.
std::string CarriedOverText(double value) {
  constexpr double kLimit = 9.2e15;  // milliseconds that fit in 63 bits
  if (std::fabs(value * 1000) < kLimit) {
    const std::string text = MillisecondsAsSeconds(std::llround(value * 1000));
    double read = 0;
    std::from_chars(text.data(), text.data() + text.size(), read);
    if (read == value) return text;
  }
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

// Whether the attempt was a retry of its step.
bool IsRetry(const TStepRecord& step) { return step.attempt > 1; }

// A step of the run with all its attempts.
struct TStepSummary {
  std::string program;
  double seconds = 0;                 // all its attempts together
  const TStepRecord* last = nullptr;  // its last attempt
};

// The steps that ran, by number.
std::map<int, TStepSummary> StepsThatRan(const TRunRecord& record) {
  std::map<int, TStepSummary> steps;
  for (const TStepRecord& attempt : record.steps) {
    TStepSummary& step = steps[attempt.number];
    step.program = attempt.program;
    step.seconds += attempt.seconds;
    step.last = &attempt;
  }
  return steps;
}

}  // namespace

std::string MetricsText(const TRunRecord& record, std::optional<double> last_success) {
  const std::string job = "job_name=" + LabelString(record.job);
  const std::string end_text = MillisecondsAsSeconds(EpochMilliseconds(record.end));
  const std::map<int, TStepSummary> steps = StepsThatRan(record);
  const long failed = FailedSteps(record);
  const auto retries = std::count_if(record.steps.begin(), record.steps.end(), IsRetry);
  std::string success_text = "0";
  if (record.exit_status == 0) {
    success_text = end_text;
  } else if (last_success) {
    success_text = CarriedOverText(*last_success);
  }
  std::vector<TGaugeSample> step_durations;
  std::vector<TGaugeSample> step_statuses;
  for (const auto& [number, step] : steps) {
    const std::string labels =
        job + ",step=\"" + std::to_string(number) + "\",program=" + LabelString(step.program);
    step_durations.push_back({labels, DurationText(step.seconds)});
    step_statuses.push_back({labels, std::to_string(step.last->result.StatusNumber())});
  }

  std::string text;
  AppendGauge(text, "velmorjob_last_run_timestamp_seconds",
              "When the last run of the job ended, in seconds since the epoch.", {{job, end_text}});
  AppendGauge(text, "velmorjob_last_run_duration_seconds",
              "How long the last run of the job took, in seconds.",
              {{job, RunDurationText(record)}});
  AppendGauge(text, "velmorjob_last_run_exit_status", "The exit status of the last run of the job.",
              {{job, std::to_string(record.exit_status)}});
  AppendGauge(text, "velmorjob_last_run_failed_steps",
              "How many steps of the last run of the job failed.", {{job, std::to_string(failed)}});
  AppendGauge(text, "velmorjob_last_run_retries",
              "How many times steps of the last run of the job were retried.",
              {{job, std::to_string(retries)}});
  AppendGauge(text, kLastSuccessGauge,
              "When the last run of the job with exit status 0 ended, in seconds since the "
              "epoch; 0 until the first.",
              {{job, success_text}});
  AppendGauge(text, "velmorjob_last_run_step_duration_seconds",
              "How long each step of the last run of the job ran, all its attempts together, in "
              "seconds.",
              step_durations);
  AppendGauge(text, "velmorjob_last_run_step_exit_status",
              "The exit status of the last attempt of each step of the last run of the job: "
              "128+N when killed by signal N, -1 when it could not be started.",
              step_statuses);
  return text;
}

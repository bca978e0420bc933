#include "report/metrics_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>

#include "report/text_escape.h"
#include "report/time_text.h"

namespace {

// A gauge written with its HELP and TYPE lines. The help texts are the same
// in every file, as a collector reading the files of several jobs requires.
void AppendGauge(std::string& text, std::string_view name, std::string_view help,
                 const std::string& label, const std::string& value) {
  text.append("# HELP ").append(name).append(" ").append(help).append("\n");
  text.append("# TYPE ").append(name).append(" gauge\n");
  text.append(name).append("{job_name=").append(label).append("} ").append(value).append("\n");
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

}  // namespace

std::string MetricsText(const TRunRecord& record, std::optional<double> last_success) {
  const std::string label = LabelString(record.job);
  const std::string end_text = MillisecondsAsSeconds(EpochMilliseconds(record.end));
  const auto failed = std::count_if(record.steps.begin(), record.steps.end(), StepFailed);

  std::string text;
  AppendGauge(text, "velmorjob_last_run_timestamp_seconds",
              "When the last run of the job ended, in seconds since the epoch.", label, end_text);
  AppendGauge(text, "velmorjob_last_run_duration_seconds",
              "How long the last run of the job took, in seconds.", label, RunDurationText(record));
  AppendGauge(text, "velmorjob_last_run_exit_status", "The exit status of the last run of the job.",
              label, std::to_string(record.exit_status));
  AppendGauge(text, "velmorjob_last_run_failed_steps",
              "How many steps of the last run of the job failed.", label, std::to_string(failed));
  // 0 until the job's first success: a time older than any threshold.
  std::string success_text = "0";
  if (record.exit_status == 0) {
    success_text = end_text;
  } else if (last_success && std::isfinite(*last_success) && *last_success != 0) {
    success_text = CarriedOverText(*last_success);
  }
  AppendGauge(text, "velmorjob_last_success_timestamp_seconds",
              "When the last run of the job with exit status 0 ended, in seconds since the "
              "epoch.",
              label, success_text);
  return text;
}

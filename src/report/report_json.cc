#include "report/report_json.h"

#include <algorithm>
#include <cstddef>
#include <optional>

#include "report/text_escape.h"
#include "report/time_text.h"

namespace {

// How the members of objects and arrays are set apart: each on a line of
// its own, indented by its depth, or all on one line.
class TLayout {
 public:
  explicit TLayout(TJsonLayout layout) : lines_(layout == TJsonLayout::kLines) {}
  // What comes before a member at this depth: the first one, or another.
  std::string Before(bool first, int depth) const {
    if (!lines_) return first ? "" : ", ";
    return (first ? "\n" : ",\n") + std::string(2 * depth, ' ');
  }
  // What comes before the closing bracket of a container at this depth.
  std::string Close(int depth) const { return lines_ ? "\n" + std::string(2 * depth, ' ') : ""; }

 private:
  bool lines_;
};

// Writes the members of one object.
class TObjectWriter {
 public:
  TObjectWriter(std::string& out, const TLayout& layout, int depth)
      : out_(out), layout_(layout), depth_(depth) {
    out_ += "{";
  }
  void Field(std::string_view name, std::string_view value_text) {
    out_ += layout_.Before(first_, depth_ + 1);
    first_ = false;
    out_ += "\"";
    out_ += name;
    out_ += "\": ";
    out_ += value_text;
  }
  void End() { out_ += first_ ? "}" : layout_.Close(depth_) + "}"; }

 private:
  std::string& out_;
  const TLayout& layout_;
  int depth_;
  bool first_ = true;
};

std::string NumberOrNull(std::optional<long> value) {
  return value ? std::to_string(*value) : "null";
}

// At most kMaxConfigMessages are written, however many the record holds.
std::size_t ConfigErrorsKept(const TRunRecord& record) {
  return std::min(record.config_errors.size(), TRunRecord::kMaxConfigMessages);
}

std::string ConfigErrors(const TRunRecord& record, const TLayout& layout) {
  if (record.config_errors.empty()) return "[]";
  std::string text = "[";
  for (std::size_t i = 0; i < ConfigErrorsKept(record); ++i) {
    const TConfigMessage& message = record.config_errors[i];
    text += layout.Before(i == 0, 2);
    TObjectWriter object(text, layout, 2);
    object.Field("line", NumberOrNull(message.line));
    object.Field("message", JsonString(message.text));
    object.Field("reason", message.reason ? JsonString(*message.reason) : "null");
    object.End();
  }
  return text + layout.Close(1) + "]";
}

std::string Steps(const TRunRecord& record, const TLayout& layout) {
  if (record.steps.empty()) return "[]";
  std::string text = "[";
  for (std::size_t i = 0; i < record.steps.size(); ++i) {
    const TStepRecord& step = record.steps[i];
    // An attempt not ended has no duration or result yet.
    const bool ended = !step.running;
    text += layout.Before(i == 0, 2);
    TObjectWriter object(text, layout, 2);
    object.Field("number", std::to_string(step.number));
    object.Field("attempt", std::to_string(step.attempt));
    object.Field("kind", JsonString(step.kind));
    object.Field("program", JsonString(step.program));
    object.Field("command", JsonString(step.command));
    object.Field("start_time", JsonString(Rfc3339(step.start)));
    object.Field("duration_seconds", ended ? DurationText(step.seconds) : "null");
    object.Field("exit_status", NumberOrNull(ended ? step.result.ExitStatus() : std::nullopt));
    object.Field("signal", NumberOrNull(ended ? step.result.Signal() : std::nullopt));
    object.Field("timed_out", ended && step.result.TimedOut() ? "true" : "false");
    object.Field("output_tail", step.output_tail ? JsonString(*step.output_tail) : "null");
    object.Field("output_bytes", step.output_bytes ? std::to_string(*step.output_bytes) : "null");
    object.End();
  }
  return text + layout.Close(1) + "]";
}

}  // namespace

std::string ReportJson(const TRunRecord& record, TJsonLayout json_layout) {
  const TLayout layout(json_layout);
  std::string text;
  TObjectWriter object(text, layout, 0);
  object.Field("job", JsonString(record.job));
  object.Field("run_id", JsonString(record.run_id));
  object.Field("config_file", JsonString(record.config));
  object.Field("working_directory", JsonString(record.directory));
  object.Field("host", JsonString(record.host));
  object.Field("start_time", JsonString(Rfc3339(record.start)));
  // A run that has not ended yet (for --on-start) has none of these.
  const bool ended = record.ended;
  object.Field("end_time", ended ? JsonString(Rfc3339(record.end)) : "null");
  object.Field("duration_seconds", ended ? RunDurationText(record) : "null");
  object.Field("exit_status", ended ? std::to_string(record.exit_status) : "null");
  object.Field("result", ended || !record.result.empty() ? JsonString(record.result) : "null");
  object.Field("from_step", std::to_string(record.from_step));
  const std::optional<int> first_failed = FirstFailedStep(record);
  object.Field("first_failed_step", first_failed ? std::to_string(*first_failed) : "null");
  object.Field("config_errors", ConfigErrors(record, layout));
  object.Field(
      "config_errors_not_kept",
      std::to_string(record.config_errors_not_kept +
                     static_cast<long>(record.config_errors.size() - ConfigErrorsKept(record))));
  object.Field("steps", Steps(record, layout));
  object.End();
  return text + "\n";
}

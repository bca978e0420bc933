#include "app/runs_view.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>

#include "app/local_time.h"
#include "app/text_table.h"
#include "core/duration_text.h"
#include "history/history_writer.h"
#include "history/run_figures.h"
#include "report/report_json.h"
#include "report/text_escape.h"

namespace {

constexpr char kNone[] = "-";

std::string Plural(std::size_t count, const char* word) {
  return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

// How long an ended run took; "-" for one that has not ended. In floating
// point: the file's start and end may lie further apart than the clock's
// count holds.
std::string RunDuration(const TRunRecord& record) {
  if (!record.ended) return kNone;
  using TSeconds = std::chrono::duration<double>;
  return DurationWords(
      (TSeconds(record.end.time_since_epoch()) - TSeconds(record.start.time_since_epoch()))
          .count());
}

// "+35%": how much longer (or shorter) than the median.
std::string Compared(double seconds, double median) {
  if (median <= 0) return "";
  const double percent = std::clamp((seconds - median) / median * 100, -1e9, 1e9);
  const long long rounded = std::llround(percent);
  return std::string(rounded < 0 ? "" : "+") + std::to_string(rounded) + "%";
}

// The program of each step, as the newest run that ran it names it.
std::map<int, std::string> StepNames(const std::vector<TRecordedRun>& runs) {
  std::map<int, std::string> names;
  for (const TRecordedRun& run : runs) {
    for (const TStepRecord& attempt : run.record.steps) {
      names.emplace(attempt.number,
                    std::to_string(attempt.number) + " " + TerminalText(attempt.program));
    }
  }
  return names;
}

std::string RunLines(const std::vector<TRecordedRun>& runs) {
  std::vector<std::vector<std::string>> rows = {
      {"START", "DURATION", "RESULT", "FAILED STEP", "RETRIES"}};
  for (const TRecordedRun& run : runs) {
    const TRunRecord& record = run.record;
    const std::optional<int> failed = FirstFailedStep(record);
    rows.push_back({LocalTime(record.start), RunDuration(record), TerminalText(record.result),
                    failed ? std::to_string(*failed) : kNone, std::to_string(RetriesOf(record))});
  }
  return TextTable(rows);
}

std::string StepLines(const std::vector<TRecordedRun>& runs) {
  std::map<int, std::vector<double>> samples;
  std::size_t successes = 0;
  for (const TRecordedRun& run : runs) {
    if (!run.record.ended || run.record.result != SucceededResult()) continue;
    ++successes;
    for (const auto& [number, seconds] : StepSeconds(run.record))
      samples[number].push_back(seconds);
  }
  if (samples.empty()) return "No successful run among these: no figures of the steps.\n";
  // The newest run that ended, which the medians are compared with.
  std::map<int, double> newest;
  for (const TRecordedRun& run : runs) {
    if (!run.record.ended) continue;
    newest = StepSeconds(run.record);
    break;
  }
  const std::map<int, std::string> names = StepNames(runs);
  std::vector<std::vector<std::string>> rows = {{"STEP", "MIN", "MEDIAN", "MAX", "LAST RUN"}};
  for (const auto& [number, values] : samples) {
    const double median = Median(values).value_or(0);
    std::string last = kNone;
    if (const auto found = newest.find(number); found != newest.end()) {
      last = DurationWords(found->second);
      const std::string compared = Compared(found->second, median);
      if (!compared.empty()) last += " (" + compared + ")";
    }
    const auto name = names.find(number);
    rows.push_back({name != names.end() ? name->second : std::to_string(number),
                    DurationWords(*std::min_element(values.begin(), values.end())),
                    DurationWords(median),
                    DurationWords(*std::max_element(values.begin(), values.end())), last});
  }
  return "Steps over the " + Plural(successes, "successful run") + " among these:\n" +
         TextTable(rows);
}

std::string Chart(const std::vector<TRecordedRun>& runs, const TChartStyle& style) {
  std::vector<TChartRow> rows;
  for (const TRecordedRun& run : runs) {
    const TRunRecord& record = run.record;
    TChartRow row;
    row.label = LocalMinute(record.start);
    row.segments = StepSeconds(record);
    row.after = record.ended ? RunDuration(record) : TerminalText(record.result);
    rows.push_back(std::move(row));
  }
  return BarChart(rows, StepNames(runs), style);
}

}  // namespace

std::string RunsText(const std::string& job, const std::vector<TRecordedRun>& runs,
                     const TChartStyle& style) {
  const std::string name = "Job \"" + TerminalText(job) + "\"";
  if (runs.empty()) return name + " has no runs in the history.\n";
  return name + ": the last " + Plural(runs.size(), "run") + ", newest first\n" + RunLines(runs) +
         "\n" + StepLines(runs) + "\n" + Chart(runs, style);
}

std::string RunsJson(const std::vector<TRecordedRun>& runs) {
  std::string lines;
  for (const TRecordedRun& run : runs) lines += ReportJson(run.record, TJsonLayout::kOneLine);
  return lines;
}

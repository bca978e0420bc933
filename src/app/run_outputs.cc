#include "app/run_outputs.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <limits.h>
#include <unistd.h>

#include "core/exit_status.h"
#include "core/outcome.h"
#include "core/run_record.h"
#include "report/report_files.h"

namespace {

std::string HostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "";
  return name;
}

std::string Absolute(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

std::string WorkingDirectory() {
  std::error_code error;
  const std::filesystem::path current = std::filesystem::current_path(error);
  return error ? "" : current.string();
}

// Writes one of the files asked for. When it cannot be written, says why on
// standard error and counts it in the outcome.
bool WriteOrTell(const char* what, const std::optional<std::string>& path,
                 bool (*write)(const std::string&, const TRunRecord&, std::string&)) {
  std::string reason;
  if (!path || write(*path, *runrecord, reason)) return true;
  std::fprintf(stderr, "velmorjob: cannot write %s %s: %s\n", what, path->c_str(), reason.c_str());
  outcome.file_failed = true;
  return false;
}

// The metrics writer as WriteOrTell calls it. A file left as it is because
// it is another job's or cannot be read is told here, and counted as a file
// that could not be written.
bool WriteMetrics(const std::string& path, const TRunRecord& record, std::string& reason) {
  const TMetricsWrite written = WriteMetricsFile(path, record, reason);
  if (written == TMetricsWrite::kRefused) {
    std::fprintf(stderr, "velmorjob: metrics file [%s] %s: not written\n", path.c_str(),
                 reason.c_str());
    outcome.file_failed = true;
  }
  return written != TMetricsWrite::kFailed;
}

}  // namespace

void StartRunOutputs(const TCommandLine& command_line) {
  if (!command_line.report && !command_line.metrics) return;
  runrecord.emplace();
  runrecord->start = TWallClock::now();
  runrecord->job = command_line.job.value_or("");
  runrecord->config = Absolute(ConfigPath(command_line));
  runrecord->directory = WorkingDirectory();
  runrecord->host = HostName();
}

void FinishRunOutputs(const TCommandLine& command_line) {
  runrecord->end = TWallClock::now();
  runrecord->exit_status = ExitStatus(outcome);
  runrecord->result = ResultWord(outcome);
  // The metrics tell the status the run ends with, a report that could
  // not be written included.
  if (!WriteOrTell("report", command_line.report, WriteReportFile)) {
    runrecord->exit_status = ExitStatus(outcome);
    runrecord->result = ResultWord(outcome);
  }
  // Until the run numbers its steps, they are numbered in the order they
  // ran, each once.
  for (std::size_t i = 0; i < runrecord->steps.size(); ++i) {
    if (runrecord->steps[i].number == 0) runrecord->steps[i].number = static_cast<int>(i + 1);
  }
  WriteOrTell("metrics", command_line.metrics, WriteMetrics);
}

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
  // A run the lock refused leaves the metrics of the run that holds it,
  // and the file's time, as they were.
  if (runrecord->exit_status == kExitLocked) return;
  WriteOrTell("metrics", command_line.metrics, WriteMetricsFile);
}

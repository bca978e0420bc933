#include "app/run_outputs.h"

#include <filesystem>
#include <limits.h>
#include <optional>
#include <string>
#include <unistd.h>

#include "app/run_id.h"
#include "core/exit_status.h"
#include "core/outcome.h"
#include "core/output.h"
#include "core/run_record.h"
#include "core/stop_signal.h"
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

using TWrite = bool (*)(const std::string&, const TRunRecord&, std::string&);

// One of the files asked for, and whether it could be written.
struct TRunFile {
  const char* what;
  const std::optional<std::string>& path;
  TWrite write;
  bool failed = false;
};

// Writes the file. When it cannot be written, says why on standard error
// and counts it in the outcome; it is not tried again in this run.
void WriteOrTell(TRunFile& file) {
  std::string reason;
  if (file.write(*file.path, *runrecord, reason)) return;
  SayError(std::string("velmorjob: cannot write ") + file.what + " " + *file.path + ": " + reason +
           "\n");
  outcome.file_failed = true;
  file.failed = true;
}

}  // namespace

void StartRunRecord(const TRunSettings& settings) {
  if (!settings.KeepsRecord()) return;
  runrecord.emplace();
  runrecord->start = TWallClock::now();
  runrecord->job = settings.job;
  runrecord->config = Absolute(settings.config);
  runrecord->directory = WorkingDirectory();
  runrecord->host = HostName();
  runrecord->run_id = NewRunId();
  runrecord->from_step = settings.from_step;
}

void WriteRunFiles(const TRunSettings& settings) {
  if (!runrecord) return;
  outcome.stop_signal = StopSignal();
  runrecord->ended = true;
  runrecord->end = TWallClock::now();
  TRunFile files[] = {{"report", settings.report, WriteReportFile},
                      {"metrics", settings.metrics, WriteMetricsFile}};
  // Each pass writes with the status as it stands; a pass that changes it
  // (a file that failed, a stop signal) is followed by one more, at most
  // once for each thing that can change it.
  for (int pass = 0; pass < 3; ++pass) {
    const int status = ExitStatus(outcome);
    runrecord->exit_status = status;
    runrecord->result = ResultWord(outcome);
    for (TRunFile& file : files) {
      if (!file.path || file.failed) continue;
      if (file.write == WriteMetricsFile && status == kExitLocked) continue;
      WriteOrTell(file);
    }
    outcome.stop_signal = StopSignal();
    if (ExitStatus(outcome) == status) return;
  }
}

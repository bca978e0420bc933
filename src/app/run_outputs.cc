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

using TWrite = TMetricsWrite (*)(const std::string&, const TRunRecord&, std::string&);

TMetricsWrite WriteReport(const std::string& path, const TRunRecord& record, std::string& reason) {
  return WriteReportFile(path, record, reason) ? TMetricsWrite::kWritten : TMetricsWrite::kFailed;
}

// One of the files asked for, and whether it is done with: written again
// when the status changes, unless it failed or was left alone as it was.
struct TRunFile {
  const char* what;
  const std::optional<std::string>& path;
  TWrite write;
  bool settled = false;
};

// Writes the file. When it cannot be written, or is left as it was (a
// metrics file of another job, or one that cannot be read), says why on
// standard error and counts it in the outcome; it is not tried again in
// this run.
void WriteOrTell(TRunFile& file) {
  std::string reason;
  switch (file.write(*file.path, *runrecord, reason)) {
    case TMetricsWrite::kWritten:
    case TMetricsWrite::kNotTouched: return;
    case TMetricsWrite::kRefused:
      SayError("velmorjob: metrics file [" + *file.path + "] " + reason + ": not written\n");
      break;
    case TMetricsWrite::kFailed:
      SayError(std::string("velmorjob: cannot write ") + file.what + " " + *file.path + ": " +
               reason + "\n");
      break;
  }
  outcome.file_failed = true;
  file.settled = true;
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
  TRunFile files[] = {{"report", settings.report, WriteReport},
                      {"metrics", settings.metrics, WriteMetricsFile}};
  // Each pass writes with the status as it stands; a pass that changes it
  // (a file that failed, a stop signal) is followed by one more, at most
  // once for each thing that can change it.
  for (int pass = 0; pass < 3; ++pass) {
    const int status = ExitStatus(outcome);
    runrecord->exit_status = status;
    runrecord->result = ResultWord(outcome);
    for (TRunFile& file : files) {
      if (file.path && !file.settled) WriteOrTell(file);
    }
    outcome.stop_signal = StopSignal();
    if (ExitStatus(outcome) == status) return;
  }
}

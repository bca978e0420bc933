#include "app/run_outputs.h"

#include <filesystem>
#include <optional>
#include <string>

#include "app/run_id.h"
#include "core/exit_status.h"
#include "history/process_identity.h"
#include "report/report_files.h"

namespace {

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

}  // namespace

void StartRunRecord(const TRunSettings& settings, TRunRecord& record) {
  record.start = TWallClock::now();
  record.job = settings.job;
  record.config = Absolute(settings.config);
  record.directory = WorkingDirectory();
  record.host = OwnHostName();
  record.run_id = NewRunId();
  record.from_step = settings.from_step;
}

bool TRunFiles::WriteOne(const TFile& file, const TRunRecord& record, std::string& reason,
                         bool& refused) {
  refused = false;
  if (&file == &report_) return WriteReportFile(*file.path, record, reason);
  switch (WriteMetricsFile(*file.path, record, metrics_before_, reason)) {
    case TMetricsWrite::kWritten:
    case TMetricsWrite::kNotTouched: return true;
    case TMetricsWrite::kRefused: refused = true; return false;
    case TMetricsWrite::kFailed: break;
  }
  return false;
}

void TRunFiles::Write(TRunContext& run) {
  TRunRecord& record = run.record;
  record.ended = true;
  record.end = TWallClock::now();
  // Each pass writes with the status as it stands; a pass that changes it
  // (a file that failed, a stop signal) is followed by one more, at most
  // once for each thing that can change it.
  for (int pass = 0; pass < 3; ++pass) {
    const int status = run.Status();
    record.exit_status = status;
    record.result = ResultWord(run.outcome);
    for (TFile* file : {&report_, &metrics_}) {
      if (!file->path || file->settled) continue;
      std::string reason;
      bool refused = false;
      if (WriteOne(*file, record, reason, refused)) continue;
      run.events.FileNotWritten(file->what, *file->path, reason, refused);
      run.outcome.file_failed = true;
      file->settled = true;
    }
    run.events.RunEnding(record);
    if (run.Status() == status) return;
  }
}

#ifndef VELMORJOB_APP_RUN_OUTPUTS_H_
#define VELMORJOB_APP_RUN_OUTPUTS_H_

#include <optional>
#include <string>

#include "job/run_context.h"
#include "job/run_settings.h"
#include "report/previous_metrics.h"

// The record of a run and the files made of it: the run report
// (--report=FILE) and the metrics file (--metrics=FILE).

// Starts the record: the job, where it runs, when it started, the run's id.
void StartRunRecord(const TRunSettings& settings, TRunRecord& record);

// The files of one run, written at its end and written again when its
// status changes afterwards.
class TRunFiles {
 public:
  explicit TRunFiles(const TRunSettings& settings) : settings_(settings) {}

  // Ends the record with the run's exit status and writes each file asked
  // for, then tells run.events that the run is ending (the history keeps
  // it), so that all tell the status the run ends with: when writing one
  // fails (status 4) or a stop signal comes meanwhile, the files already
  // written are written again with the new status. A file that cannot be
  // written is told to run.events, counted in the outcome, left as it was
  // and not tried again. A run refused by the lock (75) leaves the metrics
  // file alone: the run that holds the lock writes it.
  void Write(TRunContext& run);

 private:
  // One of the files asked for, and whether it is done with.
  struct TFile {
    const char* what;
    const std::optional<std::string>& path;
    bool settled = false;
  };

  bool WriteOne(const TFile& file, const TRunRecord& record, std::string& reason, bool& refused);

  const TRunSettings& settings_;
  TFile report_{"report", settings_.report};
  TFile metrics_{"metrics", settings_.metrics};
  // What the metrics file held before the run: its last success is carried
  // over from there by every write of the run.
  std::optional<TPreviousSamples> metrics_before_;
};

#endif  // VELMORJOB_APP_RUN_OUTPUTS_H_

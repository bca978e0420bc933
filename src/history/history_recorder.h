#ifndef VELMORJOB_HISTORY_HISTORY_RECORDER_H_
#define VELMORJOB_HISTORY_HISTORY_RECORDER_H_

#include <optional>
#include <string>

#include "core/run_events.h"
#include "history/history_writer.h"
#include "history/sqlite.h"
#include "job/run_context.h"
#include "job/run_settings.h"

// The listener that keeps a run in the history file (--history=FILE), each
// moment as it happens: the run as running once the job is read and its lock
// taken (marking runs of the job on this host whose process is gone as
// abandoned), each attempt at its start and its end, and the run's end with
// its status, when its files are written. A run refused by the lock and a
// dry run are not kept; a run that ended before it started (a configuration
// error) is kept whole at its end.
//
// A history never costs a night: the first time the file cannot be opened
// or written, one line on standard error says why ("velmorjob: cannot
// write history FILE: REASON"), the run goes on as without it, and it ends
// with status 4 unless worse happened.
class THistoryRecorder : public TRunEvents {
 public:
  THistoryRecorder(const TRunSettings& settings, TRunContext& run);

  void JobRead(long steps) override { setup_.steps = steps; }
  void RunStarted(const TRunRecord& record) override;
  void AttemptStarted(const TStepRecord& attempt, int attempts) override;
  void AttemptEnded(const TStepRecord& attempt) override;
  void RunEnding(const TRunRecord& record) override;
  void RunEnded(const TRunRecord& record) override;

 private:
  // Opens the file the first time; false when there is none or it failed.
  bool Ready();
  // Tells why the last write failed, once, and writes no more.
  void Failed(std::string reason);
  // Writes the run's end; at most once for each status it ends with.
  void End(const TRunRecord& record);

  const TRunSettings& settings_;
  TRunContext& run_;
  TRunSetup setup_;
  TDatabase db_;
  THistoryWriter writer_{db_};
  bool failed_ = false;
  // The status the file says the run ended with, once it says one.
  std::optional<int> written_status_;
};

#endif  // VELMORJOB_HISTORY_HISTORY_RECORDER_H_

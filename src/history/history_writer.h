#ifndef VELMORJOB_HISTORY_HISTORY_WRITER_H_
#define VELMORJOB_HISTORY_HISTORY_WRITER_H_

#include <cstdint>
#include <optional>
#include <string>

#include "core/exit_status.h"
#include "core/outcome.h"
#include "core/run_record.h"
#include "history/process_identity.h"
#include "history/sqlite.h"

// The result words of a run in the history that has not ended: still
// running, or its process gone without ending it. The others are the run
// report's, from the table of exit statuses.
inline constexpr char kRunningResult[] = "running";
inline constexpr char kAbandonedResult[] = "abandoned";
// The word of a run that succeeded, from the table of exit statuses.
inline const char* SucceededResult() { return ResultWord(TOutcome()); }

// What the history keeps of a run beside its record: whose process it is,
// how many steps its job has, and what it was told of retries and time.
struct TRunSetup {
  TProcessIdentity process;
  std::optional<long> steps;  // none when the job's section was not read
  std::optional<double> timeout;
  std::optional<double> job_timeout;
  int retries = 0;
  double retry_delay = 0;
  std::optional<std::string> retry_on;
};

// Which ended runs the history keeps: those that ended less than days ago,
// and at least the newest `runs` of each job whatever their age.
struct TRetention {
  long days = 90;
  long runs = 100;
};

// Writes one run into an open history file, each moment in a transaction of
// its own. Every call returns whether it was written; the database holds
// the reason when it was not.
class THistoryWriter {
 public:
  explicit THistoryWriter(TDatabase& db) : db_(db) {}

  // The run starts: runs of the same job on this host whose process is gone
  // are marked abandoned, and this one is written as running.
  bool Start(const TRunRecord& record, const TRunSetup& setup);
  // An attempt starts, or ends; the end of its output is kept when
  // keep_output (--keep-output: not the tail that --quiet alone keeps for
  // itself).
  bool StartAttempt(const TStepRecord& attempt);
  bool EndAttempt(const TStepRecord& attempt, bool keep_output);
  // The run ends with the record's status and result (written whole when
  // Start was not called), and the runs past the retention are deleted.
  // Written to the disk before it returns, to last a power cut.
  bool End(const TRunRecord& record, const TRunSetup& setup, const TRetention& retention);

  bool Started() const { return id_.has_value(); }

 private:
  bool InsertRun(const TRunRecord& record, const TRunSetup& setup, const char* result);
  bool MarkAbandoned(const TRunRecord& record);
  bool WriteConfigErrors(const TRunRecord& record);
  bool Forget(const TRetention& retention, TWallClock::time_point now);

  TDatabase& db_;
  std::optional<std::int64_t> id_;  // the run's row
};

#endif  // VELMORJOB_HISTORY_HISTORY_WRITER_H_

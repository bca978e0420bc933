#ifndef VELMORJOB_HISTORY_HISTORY_READER_H_
#define VELMORJOB_HISTORY_HISTORY_READER_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/run_record.h"
#include "history/process_identity.h"
#include "history/sqlite.h"

// Reading the runs of the history back, for --runs and --status. The file
// is input like the configuration: any row may hold a value of any type,
// or none. A value that is not what its column should hold reads as
// missing: a text for a number, a negative or non-finite duration; a time
// past what the report's form can hold reads as the nearest it can.

// A run as the history holds it, in the form of the run report.
struct TRecordedRun {
  std::int64_t id = 0;
  // record.result is a result word of the run report's, or "running" or
  // "abandoned" (then record.ended is false); an attempt that has not ended
  // has running set.
  TRunRecord record;
  TProcessIdentity process;
  std::optional<long> steps;  // how many steps the job had
};

// The runs of a job that --status goes by.
struct TJobRuns {
  std::string job;
  // The newest run, and the newest of those that run now (on this host, or
  // as recorded on another), with their attempts.
  std::optional<TRecordedRun> latest;
  std::optional<TRecordedRun> running;
  // When its newest run that ended ended, and its newest success.
  std::optional<TWallClock::time_point> last_end;
  std::optional<TWallClock::time_point> last_success;
  // The job's last successful runs, newest first, with their attempts: the
  // samples of the expected end.
  std::vector<TRecordedRun> successes;
  // How long its slowest successful run took, in seconds.
  std::optional<double> slowest_success;
};

// How many successful runs the expected end goes by.
constexpr int kExpectedEndSamples = 5;

class THistoryReader {
 public:
  // host: this host's name; a run of this host recorded as running whose
  // process is gone reads as abandoned.
  THistoryReader(TDatabase& db, std::string host) : db_(db), host_(std::move(host)) {}

  // The newest `limit` runs of the job, newest first, each with its
  // attempts and configuration errors.
  bool Runs(const std::string& job, long limit, std::vector<TRecordedRun>& runs);
  // The names of the jobs the history holds, in byte order.
  bool Jobs(std::vector<std::string>& jobs);
  // What --status shows of the job.
  bool JobRuns(const std::string& job, TJobRuns& runs);

 private:
  // The runs a statement selects (their columns as kRunColumns gives them),
  // in its order, without their attempts.
  bool ReadRuns(TStatement& statement, std::vector<TRecordedRun>& runs);
  bool ReadAttempts(TRecordedRun& run);
  bool ReadAttempts(std::vector<TRecordedRun>& runs);
  bool ReadConfigErrors(TRecordedRun& run);

  TDatabase& db_;
  std::string host_;
};

// Milliseconds since the epoch as a time, within what the clock holds.
TWallClock::time_point TimeFromMilliseconds(std::int64_t milliseconds);

#endif  // VELMORJOB_HISTORY_HISTORY_READER_H_

#include "history/history_reader.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "history/history_writer.h"

namespace {

// The columns of a run, in the order RunFrom reads them.
constexpr char kRunColumns[] =
    "id, run_id, job, config_file, working_directory, host, pid, boot_id, process_start, "
    "from_step, steps, start_time, end_time, exit_status, result, config_errors_not_kept";

// The clock counts nanoseconds in 64 bits: about 292 years either side of
// 1970.
constexpr std::int64_t kMaxMilliseconds = 9'000'000'000'000;

// A count within [low, high], or fallback when it is missing.
long Count(const std::optional<std::int64_t>& value, long low, long high, long fallback) {
  if (!value) return fallback;
  return static_cast<long>(std::clamp<std::int64_t>(*value, low, high));
}

// A duration in seconds: missing for one that is negative or not a number.
std::optional<double> Seconds(const std::optional<double>& value) {
  if (!value || !std::isfinite(*value) || *value < 0) return std::nullopt;
  return std::min(*value, 1e15);
}

TStepResult::TStop StopFromWord(const std::optional<std::string>& word, bool timed_out) {
  using TStop = TStepResult::TStop;
  for (const TStop stop : {TStop::kTimeout, TStop::kDeadline, TStop::kStopSignal}) {
    if (word && *word == StopWord(stop)) return stop;
  }
  return timed_out ? TStop::kTimeout : TStop::kNone;
}

TRecordedRun RunFrom(const TStatement& row) {
  TRecordedRun run;
  TRunRecord& record = run.record;
  run.id = row.Integer(0).value_or(0);
  record.run_id = row.Text(1).value_or("");
  record.job = row.Text(2).value_or("");
  record.config = row.Text(3).value_or("");
  record.directory = row.Text(4).value_or("");
  record.host = row.Text(5).value_or("");
  run.process.pid = static_cast<pid_t>(Count(row.Integer(6), 0, INT_MAX, 0));
  run.process.boot_id = row.Text(7).value_or("");
  run.process.start = row.Integer(8).value_or(0);
  record.from_step = Count(row.Integer(9), 1, LONG_MAX, 1);
  if (const std::optional<std::int64_t> steps = row.Integer(10)) {
    run.steps = Count(steps, 0, LONG_MAX, 0);
  }
  record.start = TimeFromMilliseconds(row.Integer(11).value_or(0));
  const std::optional<std::int64_t> end = row.Integer(12);
  const std::optional<std::int64_t> status = row.Integer(13);
  record.result = row.Text(14).value_or("");
  record.config_errors_not_kept = Count(row.Integer(15), 0, LONG_MAX, 0);
  record.ended = end && status && record.result != kRunningResult &&
                 record.result != kAbandonedResult && !record.result.empty();
  if (record.ended) {
    record.end = TimeFromMilliseconds(*end);
    record.exit_status = static_cast<int>(Count(status, INT_MIN, INT_MAX, 0));
  } else if (record.result != kAbandonedResult) {
    // Neither an end nor a word of one: as good as running.
    record.result = kRunningResult;
  }
  return run;
}

TStepRecord AttemptFrom(const TStatement& row) {
  TStepRecord attempt;
  attempt.number = static_cast<int>(Count(row.Integer(0), 0, INT_MAX, 0));
  attempt.attempt = static_cast<int>(Count(row.Integer(1), 0, INT_MAX, 0));
  attempt.kind = row.Text(2).value_or("");
  attempt.program = row.Text(3).value_or("");
  attempt.command = row.Text(4).value_or("");
  attempt.start = TimeFromMilliseconds(row.Integer(5).value_or(0));
  const std::optional<double> seconds = Seconds(row.Real(6));
  attempt.running = !row.Real(6).has_value();
  attempt.seconds = seconds.value_or(0);
  if (!attempt.running) {
    TStepResult& result = attempt.result;
    if (const std::optional<std::int64_t> status = row.Integer(7)) {
      result.end = TStepResult::TEnd::kExited;
      result.code = static_cast<int>(Count(status, INT_MIN, INT_MAX, 0));
    } else if (const std::optional<std::int64_t> signal = row.Integer(8)) {
      result.end = TStepResult::TEnd::kKilled;
      result.code = static_cast<int>(Count(signal, INT_MIN, INT_MAX, 0));
    }
    result.stopped = StopFromWord(row.Text(10), row.Integer(9).value_or(0) != 0);
  }
  attempt.output_tail = row.Text(11);
  if (const std::optional<std::int64_t> bytes = row.Integer(12)) {
    if (*bytes >= 0) attempt.output_bytes = static_cast<std::uint64_t>(*bytes);
  }
  return attempt;
}

}  // namespace

TWallClock::time_point TimeFromMilliseconds(std::int64_t milliseconds) {
  const std::int64_t within = std::clamp(milliseconds, -kMaxMilliseconds, kMaxMilliseconds);
  return TWallClock::time_point(
      std::chrono::duration_cast<TWallClock::duration>(std::chrono::milliseconds(within)));
}

bool THistoryReader::ReadAttempts(TRecordedRun& run) {
  TStatement attempts(db_,
                      "SELECT number, attempt, kind, program, command, start_time, duration, "
                      "exit_status, signal, timed_out, stopped, output_tail, output_bytes "
                      "FROM velmorjob_attempts WHERE run = ? ORDER BY number, attempt");
  attempts.Bind(1, run.id);
  while (attempts.Next()) run.record.steps.push_back(AttemptFrom(attempts));
  return !attempts.Failed();
}

bool THistoryReader::ReadConfigErrors(TRecordedRun& run) {
  TStatement errors(db_,
                    "SELECT line, message, reason FROM velmorjob_config_errors "
                    "WHERE run = ? ORDER BY position LIMIT ?");
  errors.Bind(1, run.id).Bind(2, static_cast<std::int64_t>(TRunRecord::kMaxConfigMessages));
  while (errors.Next()) {
    TConfigMessage message;
    if (const std::optional<std::int64_t> line = errors.Integer(0)) {
      if (*line >= 1) message.line = Count(line, 1, LONG_MAX, 1);
    }
    message.text = errors.Text(1).value_or("");
    message.reason = errors.Text(2);
    run.record.config_errors.push_back(std::move(message));
  }
  return !errors.Failed();
}

bool THistoryReader::ReadRuns(TStatement& statement, std::vector<TRecordedRun>& runs) {
  while (statement.Next()) {
    TRecordedRun run = RunFrom(statement);
    // A run of this host whose process is gone did not end: abandoned.
    if (run.record.result == kRunningResult && run.record.host == host_ &&
        !StillRuns(run.process)) {
      run.record.result = kAbandonedResult;
    }
    runs.push_back(std::move(run));
  }
  return !statement.Failed();
}

bool THistoryReader::ReadAttempts(std::vector<TRecordedRun>& runs) {
  for (TRecordedRun& run : runs) {
    if (!ReadAttempts(run)) return false;
  }
  return true;
}

bool THistoryReader::Runs(const std::string& job, long limit, std::vector<TRecordedRun>& runs) {
  runs.clear();
  const std::string sql = std::string("SELECT ") + kRunColumns +
                          " FROM velmorjob_runs WHERE job = ? "
                          "ORDER BY start_time DESC, id DESC LIMIT ?";
  TStatement statement(db_, sql.c_str());
  statement.Bind(1, std::string_view(job)).Bind(2, std::int64_t{limit});
  if (!ReadRuns(statement, runs) || !ReadAttempts(runs)) return false;
  for (TRecordedRun& run : runs) {
    if (!ReadConfigErrors(run)) return false;
  }
  return true;
}

bool THistoryReader::Jobs(std::vector<std::string>& jobs) {
  jobs.clear();
  // From one name to the next along the index, rather than over every run.
  // A name the file holds as another type than text is not a job's: a blob
  // sorts after every text, and may hold the bytes of one.
  TStatement names(db_,
                   "WITH RECURSIVE name (job) AS ("
                   "  SELECT min(job) FROM velmorjob_runs"
                   "  UNION ALL"
                   "  SELECT (SELECT min(job) FROM velmorjob_runs WHERE job > name.job)"
                   "  FROM name WHERE name.job IS NOT NULL)"
                   "SELECT job FROM name WHERE typeof(job) = 'text'");
  while (names.Next()) jobs.push_back(names.Text(0).value_or(""));
  return !names.Failed();
}

bool THistoryReader::JobRuns(const std::string& job, TJobRuns& runs) {
  runs = TJobRuns();
  runs.job = job;
  const std::string select = std::string("SELECT ") + kRunColumns + " FROM velmorjob_runs ";
  const std::string newest = " ORDER BY start_time DESC, id DESC LIMIT ?";
  std::vector<TRecordedRun> found;

  TStatement latest(db_, (select + "WHERE job = ?" + newest).c_str());
  latest.Bind(1, std::string_view(job)).Bind(2, std::int64_t{1});
  if (!ReadRuns(latest, found) || !ReadAttempts(found)) return false;
  if (!found.empty()) runs.latest = std::move(found.front());

  // Runs recorded as running, newest first, until one still runs.
  TStatement running(db_, (select + "WHERE job = ? AND result = ?" + newest).c_str());
  running.Bind(1, std::string_view(job))
      .Bind(2, std::string_view(kRunningResult))
      .Bind(3, std::int64_t{INT_MAX});
  found.clear();
  if (!ReadRuns(running, found)) return false;
  for (TRecordedRun& run : found) {
    if (run.record.result != kRunningResult) continue;
    if (!ReadAttempts(run)) return false;
    runs.running = std::move(run);
    break;
  }

  TStatement ended(db_,
                   "SELECT end_time FROM velmorjob_runs WHERE job = ? AND end_time IS NOT NULL "
                   "ORDER BY start_time DESC, id DESC LIMIT 1");
  ended.Bind(1, std::string_view(job));
  if (ended.Next()) {
    if (const std::optional<std::int64_t> end = ended.Integer(0)) {
      runs.last_end = TimeFromMilliseconds(*end);
    }
  }
  if (ended.Failed()) return false;

  TStatement successes(db_, (select + "WHERE job = ? AND result = ?" + newest).c_str());
  successes.Bind(1, std::string_view(job))
      .Bind(2, std::string_view(SucceededResult()))
      .Bind(3, std::int64_t{kExpectedEndSamples});
  if (!ReadRuns(successes, runs.successes) || !ReadAttempts(runs.successes)) return false;
  for (const TRecordedRun& success : runs.successes) {
    if (!success.record.ended) continue;
    runs.last_success = success.record.end;
    break;
  }

  if (runs.running) {
    TStatement slowest(db_,
                       "SELECT max(end_time - start_time) FROM velmorjob_runs "
                       "WHERE job = ? AND result = ?");
    slowest.Bind(1, std::string_view(job)).Bind(2, std::string_view(SucceededResult()));
    if (slowest.Next()) {
      if (const std::optional<double> milliseconds = slowest.Real(0)) {
        runs.slowest_success = Seconds(*milliseconds / 1000);
      }
    }
    if (slowest.Failed()) return false;
  }
  return true;
}

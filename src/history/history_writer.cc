#include "history/history_writer.h"

#include <algorithm>
#include <vector>

#include "report/time_text.h"

namespace {

std::optional<std::int64_t> Number(const std::optional<int>& value) {
  if (!value) return std::nullopt;
  return *value;
}

std::optional<std::string> Word(const char* word) {
  if (word == nullptr) return std::nullopt;
  return std::string(word);
}

}  // namespace

bool THistoryWriter::InsertRun(const TRunRecord& record, const TRunSetup& setup,
                               const char* result) {
  TStatement insert(db_,
                    "INSERT INTO velmorjob_runs (run_id, job, config_file, working_directory, "
                    "host, pid, boot_id, process_start, from_step, steps, timeout, job_timeout, "
                    "retries, retry_delay, retry_on, start_time, result) "
                    "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  insert.Bind(1, std::string_view(record.run_id))
      .Bind(2, std::string_view(record.job))
      .Bind(3, std::string_view(record.config))
      .Bind(4, std::string_view(record.directory))
      .Bind(5, std::string_view(record.host))
      .Bind(6, std::int64_t{setup.process.pid})
      .Bind(7, std::string_view(setup.process.boot_id))
      .Bind(8, setup.process.start)
      .Bind(9, std::int64_t{record.from_step})
      .Bind(10, setup.steps ? std::optional<std::int64_t>(*setup.steps) : std::nullopt)
      .Bind(11, setup.timeout)
      .Bind(12, setup.job_timeout)
      .Bind(13, std::int64_t{setup.retries})
      .Bind(14, setup.retry_delay)
      .Bind(15, setup.retry_on)
      .Bind(16, EpochMilliseconds(record.start))
      .Bind(17, std::string_view(result));
  if (!insert.Run()) return false;
  id_ = db_.LastInsertId();
  return true;
}

bool THistoryWriter::MarkAbandoned(const TRunRecord& record) {
  TStatement running(db_,
                     "SELECT id, pid, boot_id, process_start FROM velmorjob_runs "
                     "WHERE job = ? AND host = ? AND result = ?");
  running.Bind(1, std::string_view(record.job))
      .Bind(2, std::string_view(record.host))
      .Bind(3, std::string_view(kRunningResult));
  std::vector<std::int64_t> gone;
  while (running.Next()) {
    TProcessIdentity process;
    process.pid = static_cast<pid_t>(running.Integer(1).value_or(0));
    process.boot_id = running.Text(2).value_or("");
    process.start = running.Integer(3).value_or(0);
    if (!StillRuns(process)) gone.push_back(running.Integer(0).value_or(0));
  }
  if (running.Failed()) return false;
  TStatement mark(db_, "UPDATE velmorjob_runs SET result = ? WHERE id = ?");
  for (const std::int64_t id : gone) {
    mark.Reset();
    if (!mark.Bind(1, std::string_view(kAbandonedResult)).Bind(2, id).Run()) return false;
  }
  return true;
}

bool THistoryWriter::Start(const TRunRecord& record, const TRunSetup& setup) {
  TTransaction transaction(db_);
  if (transaction.Began() && MarkAbandoned(record) && InsertRun(record, setup, kRunningResult) &&
      transaction.Commit()) {
    return true;
  }
  id_.reset();
  return false;
}

bool THistoryWriter::StartAttempt(const TStepRecord& attempt) {
  if (!id_) return true;
  TStatement insert(db_,
                    "INSERT INTO velmorjob_attempts (run, number, attempt, kind, program, "
                    "command, start_time) VALUES (?, ?, ?, ?, ?, ?, ?)");
  insert.Bind(1, *id_)
      .Bind(2, std::int64_t{attempt.number})
      .Bind(3, std::int64_t{attempt.attempt})
      .Bind(4, std::string_view(attempt.kind))
      .Bind(5, std::string_view(attempt.program))
      .Bind(6, std::string_view(attempt.command))
      .Bind(7, EpochMilliseconds(attempt.start));
  // One statement is a transaction of its own.
  return insert.Run();
}

bool THistoryWriter::EndAttempt(const TStepRecord& attempt, bool keep_output) {
  if (!id_) return true;
  TStatement update(db_,
                    "UPDATE velmorjob_attempts SET duration = ?, exit_status = ?, signal = ?, "
                    "timed_out = ?, stopped = ?, output_tail = ?, output_bytes = ? "
                    "WHERE run = ? AND number = ? AND attempt = ?");
  update.Bind(1, attempt.seconds)
      .Bind(2, Number(attempt.result.ExitStatus()))
      .Bind(3, Number(attempt.result.Signal()))
      .Bind(4, std::int64_t{attempt.result.TimedOut() ? 1 : 0})
      .Bind(5, Word(StopWord(attempt.result.stopped)))
      .Bind(6, keep_output ? attempt.output_tail : std::nullopt)
      .Bind(7, keep_output && attempt.output_bytes
                   ? std::optional<std::int64_t>(static_cast<std::int64_t>(*attempt.output_bytes))
                   : std::nullopt)
      .Bind(8, *id_)
      .Bind(9, std::int64_t{attempt.number})
      .Bind(10, std::int64_t{attempt.attempt});
  return update.Run();
}

bool THistoryWriter::WriteConfigErrors(const TRunRecord& record) {
  TStatement clear(db_, "DELETE FROM velmorjob_config_errors WHERE run = ?");
  if (!clear.Bind(1, *id_).Run()) return false;
  TStatement insert(db_,
                    "INSERT INTO velmorjob_config_errors (run, position, line, message, reason) "
                    "VALUES (?, ?, ?, ?, ?)");
  std::int64_t position = 0;
  for (const TConfigMessage& message : record.config_errors) {
    if (position == static_cast<std::int64_t>(TRunRecord::kMaxConfigMessages)) break;
    insert.Reset();
    insert.Bind(1, *id_)
        .Bind(2, ++position)
        .Bind(3, message.line ? std::optional<std::int64_t>(*message.line) : std::nullopt)
        .Bind(4, std::string_view(message.text))
        .Bind(5, message.reason);
    if (!insert.Run()) return false;
  }
  return true;
}

bool THistoryWriter::Forget(const TRetention& retention, TWallClock::time_point now) {
  // Days past any clock's reach keep every run.
  const std::int64_t days = std::min<std::int64_t>(retention.days, 100'000'000);
  const std::int64_t cutoff = EpochMilliseconds(now) - days * 86'400'000;
  TStatement forget(
      db_,
      "DELETE FROM velmorjob_runs WHERE id IN ("
      "  SELECT id FROM velmorjob_runs AS old"
      "  WHERE old.start_time < ?1 AND coalesce(old.end_time, old.start_time) < ?1"
      "    AND old.result <> ?4 AND old.id <> ?3"
      "    AND (SELECT count(*) FROM velmorjob_runs AS newer WHERE newer.job = old.job"
      "         AND (newer.start_time > old.start_time"
      "              OR (newer.start_time = old.start_time AND newer.id > old.id))) >= ?2)");
  return forget.Bind(1, cutoff)
      .Bind(2, std::int64_t{retention.runs})
      .Bind(3, *id_)
      .Bind(4, std::string_view(kRunningResult))
      .Run();
}

bool THistoryWriter::End(const TRunRecord& record, const TRunSetup& setup,
                         const TRetention& retention) {
  // The run's end is synced to the disk as it commits.
  if (!db_.Execute("PRAGMA synchronous = FULL")) return false;
  bool written = false;
  const bool inserts = !id_;
  {
    TTransaction transaction(db_);
    if (transaction.Began() && (id_ || InsertRun(record, setup, kRunningResult))) {
      const std::optional<int> failed = FirstFailedStep(record);
      TStatement update(db_,
                        "UPDATE velmorjob_runs SET end_time = ?, exit_status = ?, result = ?, "
                        "first_failed_step = ?, config_errors_not_kept = ? WHERE id = ?");
      update.Bind(1, EpochMilliseconds(record.end))
          .Bind(2, std::int64_t{record.exit_status})
          .Bind(3, std::string_view(record.result))
          .Bind(4, Number(failed))
          .Bind(5, std::int64_t{record.config_errors_not_kept} +
                       std::int64_t(record.config_errors.size()) -
                       std::int64_t(
                           std::min(record.config_errors.size(), TRunRecord::kMaxConfigMessages)))
          .Bind(6, *id_);
      written = update.Run() && WriteConfigErrors(record) && Forget(retention, TWallClock::now()) &&
                transaction.Commit();
    }
  }
  // A row inserted by a transaction that was rolled back is not there.
  if (!written && inserts) id_.reset();
  const bool normal = db_.Execute("PRAGMA synchronous = NORMAL");
  return written && normal;
}

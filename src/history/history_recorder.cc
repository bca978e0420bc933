#include "history/history_recorder.h"

#include "history/history_file.h"

THistoryRecorder::THistoryRecorder(const TRunSettings& settings, TRunContext& run)
    : settings_(settings), run_(run) {
  setup_.timeout = settings.limits.timeout;
  setup_.job_timeout = settings.job_timeout;
  setup_.retries = settings.retry.retries;
  setup_.retry_delay = settings.retry.delay;
  if (settings.retry.only) setup_.retry_on = RetryOnText(*settings.retry.only);
}

bool THistoryRecorder::Ready() {
  if (!settings_.history || failed_) return false;
  if (db_.IsOpen()) return true;
  std::string reason;
  if (OpenHistory(*settings_.history, THistoryAccess::kWrite, db_, reason)) {
    setup_.process = OwnProcess();
    return true;
  }
  Failed(reason);
  return false;
}

void THistoryRecorder::Failed(std::string reason) {
  failed_ = true;
  db_.Close();
  run_.outcome.file_failed = true;
  run_.events.FileNotWritten("history", *settings_.history, reason, false);
}

void THistoryRecorder::RunStarted(const TRunRecord& record) {
  if (Ready() && !writer_.Start(record, setup_)) Failed(db_.Error());
}

void THistoryRecorder::AttemptStarted(const TStepRecord& attempt, int) {
  if (Ready() && !writer_.StartAttempt(attempt)) Failed(db_.Error());
}

void THistoryRecorder::AttemptEnded(const TStepRecord& attempt) {
  if (Ready() && !writer_.EndAttempt(attempt, settings_.keep_output.has_value())) {
    Failed(db_.Error());
  }
}

void THistoryRecorder::End(const TRunRecord& record) {
  // Not run: the run that holds the lock is the job's.
  if (run_.outcome.locked) return;
  if (written_status_ == record.exit_status || !Ready()) return;
  if (!writer_.End(record, setup_, TRetention{settings_.keep_days, settings_.keep_runs})) {
    Failed(db_.Error());
    return;
  }
  written_status_ = record.exit_status;
}

void THistoryRecorder::RunEnding(const TRunRecord& record) { End(record); }

void THistoryRecorder::RunEnded(const TRunRecord& record) { End(record); }

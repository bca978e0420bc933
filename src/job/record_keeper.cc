#include "job/record_keeper.h"

void TRecordKeeper::ConfigError(const TConfigMessage& message) {
  if (record_.config_errors.size() < TRunRecord::kMaxConfigMessages) {
    record_.config_errors.push_back(message);
  } else {
    ++record_.config_errors_not_kept;
  }
}

void TRecordKeeper::AttemptEnded(const TStepRecord& attempt) {
  if (!settings_.KeepsRecord()) return;
  record_.steps.push_back(attempt);
  // --quiet alone reads only the output of a failed attempt; a report and
  // the hooks read it all.
  const bool all_output = !settings_.quiet || settings_.report || settings_.on_start ||
                          settings_.on_success || settings_.on_failure;
  if (!attempt.result.Failed() && !all_output) {
    record_.steps.back().output_tail.reset();
    record_.steps.back().output_bytes.reset();
  }
}

#include "core/run_record.h"

std::optional<TRunRecord> runrecord;

bool StepFailed(const TStepRecord& step) {
  if (step.timed_out || step.signal) return true;
  return !step.exit_status || *step.exit_status != 0;
}

void NoteConfigError(std::optional<long> line, const std::string& text) {
  if (!runrecord) return;
  if (runrecord->config_errors.size() < TRunRecord::kMaxConfigMessages) {
    runrecord->config_errors.push_back(TConfigMessage{line, text});
  } else {
    ++runrecord->config_errors_not_kept;
  }
}

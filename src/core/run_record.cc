#include "core/run_record.h"

std::optional<TRunRecord> runrecord;

void NoteConfigError(std::optional<long> line, const std::string& text) {
  if (!runrecord) return;
  if (runrecord->config_errors.size() < TRunRecord::kMaxConfigMessages) {
    runrecord->config_errors.push_back(TConfigMessage{line, text});
  } else {
    ++runrecord->config_errors_not_kept;
  }
}

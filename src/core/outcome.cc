#include "core/outcome.h"

#include <cstdio>

#include "core/run_record.h"

TOutcome outcome;

int ExitStatus(const TOutcome& result) {
  if (result.stop_signal != 0) return kExitSignalBase + result.stop_signal;
  if (result.interrupt_signal != 0) return kExitSignalBase + result.interrupt_signal;
  if (result.config_errors > 0) return kExitConfig;
  if (result.locked) return kExitLocked;
  if (result.step_failed) return kExitStepFailed;
  if (result.output_failed || result.file_failed) return kExitOutput;
  return kExitOk;
}

void ReportConfigError(std::optional<long> line, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  ++outcome.config_errors;
  NoteConfigError(line, text);
}

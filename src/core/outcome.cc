#include "core/outcome.h"

TOutcome outcome;

int ExitStatus(const TOutcome& result) {
  if (result.interrupt_signal != 0) return 128 + result.interrupt_signal;
  if (result.config_errors > 0) return kExitConfig;
  if (result.step_failed) return kExitStepFailed;
  if (result.output_failed) return kExitOutput;
  return kExitOk;
}

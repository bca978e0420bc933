#include "job/run_context.h"

#include "core/exit_status.h"
#include "core/output.h"
#include "core/stop_signal.h"

void TRunContext::ConfigError(const TConfigMessage& message) {
  ++outcome.config_errors;
  events.ConfigError(message);
}

void TRunContext::ConfigError(const std::string& text) {
  ConfigError(TConfigMessage{std::nullopt, text, std::nullopt});
}

int TRunContext::Status() {
  outcome.stop_signal = StopSignal();
  outcome.output_failed = outcome.output_failed || OutputFailed();
  return ExitStatus(outcome);
}

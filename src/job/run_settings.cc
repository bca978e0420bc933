#include "job/run_settings.h"

std::optional<std::size_t> TRunSettings::KeptOutput() const {
  if (keep_output) return keep_output;
  if (quiet) return kQuietKeptOutput;
  return std::nullopt;
}

bool TRunSettings::KeepsRecord() const {
  return report || metrics || on_start || on_success || on_failure || quiet;
}

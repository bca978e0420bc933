#include "core/outcome.h"

#include <cstdio>

#include "core/run_record.h"

TOutcome outcome;

void ReportConfigError(std::optional<long> line, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  ++outcome.config_errors;
  NoteConfigError(line, text);
}

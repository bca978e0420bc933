#include "core/outcome.h"

#include "core/output.h"
#include "core/run_record.h"

TOutcome outcome;

void ReportConfigError(std::optional<long> line, const std::string& text,
                       std::optional<std::string> reason) {
  Say(text);
  ++outcome.config_errors;
  NoteConfigError(line, text, std::move(reason));
}

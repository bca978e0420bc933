#include "core/exit_status.h"

#include <algorithm>
#include <vector>

namespace {

bool Stopped(const TOutcome& o) { return o.stop_signal != 0 || o.interrupt_signal != 0; }
bool Usage(const TOutcome& o) { return o.usage_error; }
bool ConfigError(const TOutcome& o) { return o.config_errors > 0; }
bool Locked(const TOutcome& o) { return o.locked; }
bool JobTimedOut(const TOutcome& o) { return o.job_timed_out; }
bool StepFailed(const TOutcome& o) { return o.step_failed; }
bool OutputFailed(const TOutcome& o) { return o.output_failed || o.file_failed; }
bool Always(const TOutcome&) { return true; }

}  // namespace

const TExitStatus kExitStatuses[] = {
    {kExitSignalBase, "stopped", "stopped by signal N (SIGTERM, SIGHUP, SIGINT, SIGQUIT)", false,
     Stopped},
    {kExitUsage, "usage-error", "usage error: a bad option or no job name", true, Usage},
    {kExitConfig, "config-error", "configuration error: a bad line or job header, no such job",
     true, ConfigError},
    {kExitLocked, "locked", "not run: another run holds the lock; try again later", false, Locked},
    {kExitStepFailed, "timed-out", "the job ran past its deadline (--job-timeout)", false,
     JobTimedOut},
    {kExitStepFailed, "step-failed", "a step failed or timed out", false, StepFailed},
    {kExitOutput, "output-error",
     "output, the report, the metrics or the history could not be written", false, OutputFailed},
    {kExitOk, "ok", "the job ran and every step succeeded", false, Always},
    {0, nullptr, nullptr, false, nullptr},
};

const TExitStatus& StatusOf(const TOutcome& result) {
  const TExitStatus* row = kExitStatuses;
  while (!row->applies(result)) ++row;
  return *row;
}

int ExitStatus(const TOutcome& result) {
  const TExitStatus& row = StatusOf(result);
  if (row.code != kExitSignalBase) return row.code;
  return kExitSignalBase + (result.stop_signal != 0 ? result.stop_signal : result.interrupt_signal);
}

const char* ResultWord(const TOutcome& result) { return StatusOf(result).result; }

std::string ExitStatusHelp() {
  std::vector<const TExitStatus*> rows;
  for (const TExitStatus* row = kExitStatuses; row->result != nullptr; ++row) rows.push_back(row);
  std::stable_sort(rows.begin(), rows.end(),
                   [](const TExitStatus* a, const TExitStatus* b) { return a->code < b->code; });
  std::string text = "Exit status:\n";
  for (const TExitStatus* row : rows) {
    std::string code = row->code == kExitSignalBase ? "128+N" : std::to_string(row->code);
    code.resize(7, ' ');
    text += "  " + code + row->meaning + "\n";
  }
  return text;
}

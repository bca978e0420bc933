#include "app/hooks.h"

#include <string>
#include <vector>

#include "core/exit_status.h"
#include "core/output.h"
#include "core/stop_signal.h"
#include "report/report_json.h"

namespace {

struct THookKind {
  THook which;
  const char* option;
  const std::optional<std::string> TRunSettings::*command;
};

const THookKind kHooks[] = {
    {THook::kStart, "--on-start", &TRunSettings::on_start},
    {THook::kSuccess, "--on-success", &TRunSettings::on_success},
    {THook::kFailure, "--on-failure", &TRunSettings::on_failure},
};

std::vector<std::string> HookEnvironment(const TRunRecord& record, const TRunSettings& settings) {
  const std::optional<int> failed = FirstFailedStep(record);
  return {
      "VELMORJOB_JOB=" + record.job,
      "VELMORJOB_CONFIG=" + record.config,
      "VELMORJOB_RUN_ID=" + record.run_id,
      "VELMORJOB_STATUS=" + (record.ended ? std::to_string(record.exit_status) : ""),
      "VELMORJOB_RESULT=" + (record.ended ? record.result : ""),
      "VELMORJOB_FAILED_STEP=" + (failed ? std::to_string(*failed) : ""),
      "VELMORJOB_REPORT=" + settings.report.value_or(""),
  };
}

}  // namespace

void THooks::RunStarted(const TRunRecord& record) { Run(THook::kStart, record); }

void THooks::FilesWritten(const TRunRecord& record) {
  if (without_steps_) return;
  if (const std::optional<THook> hook = FinalHook(record.exit_status)) Run(*hook, record);
}

void THooks::Run(THook which, const TRunRecord& record) {
  for (const THookKind& hook : kHooks) {
    if (hook.which != which || !(settings_.*hook.command)) continue;
    TProcessSetup setup;
    setup.command = *(settings_.*hook.command);
    setup.limits.timeout = settings_.hook_timeout;
    setup.limits.kill_after = kHookKillAfter;
    setup.environment = HookEnvironment(record, settings_);
    setup.input = ReportJson(record);
    FlushOutput();
    // Once a stop signal has come, nothing more starts but the hook that
    // tells of it.
    if (which == THook::kStart && StopSignal() != 0) return;
    const TStepResult result = execute_(setup);
    if (result.Failed()) {
      SayError(TPriority::kError, std::string("velmorjob: ") + hook.option +
                                      " command failed: " + result.Cause() + "\n");
    }
  }
}

std::optional<THook> FinalHook(int exit_status) {
  if (exit_status == kExitLocked) return std::nullopt;
  return exit_status == kExitOk ? THook::kSuccess : THook::kFailure;
}

#ifndef VELMORJOB_APP_HOOKS_H_
#define VELMORJOB_APP_HOOKS_H_

#include <optional>

#include "core/run_events.h"
#include "job/run_settings.h"
#include "job/step_runner.h"

// The listener that runs the commands of a run's moments: --on-start once
// the job has been read and the lock taken, --on-success or --on-failure
// once the run's files have been written. Each runs as /bin/sh -c COMMAND,
// supervised as a step is, with a time limit of settings.hook_timeout
// seconds (then SIGTERM to its group, and SIGKILL kHookKillAfter seconds
// later). It gets the program's environment with the run's details added
// (VELMORJOB_JOB, _CONFIG, _RUN_ID, _STATUS, _RESULT, _FAILED_STEP,
// _REPORT), the run report as JSON on its standard input, and the program's
// standard output and error. A hook that fails gets one line on standard
// error and changes nothing else. A job without steps runs no hooks.

constexpr double kHookKillAfter = 5;

enum class THook { kStart, kSuccess, kFailure };

class THooks : public TRunEvents {
 public:
  THooks(const TRunSettings& settings, const TExecute& execute)
      : settings_(settings), execute_(execute) {}

  void JobRead(long steps) override { without_steps_ = steps == 0; }
  void RunStarted(const TRunRecord& record) override;
  void FilesWritten(const TRunRecord& record) override;

 private:
  // Runs the hook given for `which`, if any.
  void Run(THook which, const TRunRecord& record);

  const TRunSettings& settings_;
  const TExecute& execute_;
  bool without_steps_ = false;
};

// The hook that ends a run with this exit status: --on-success for 0, none
// for 75 (the run that holds the lock tells of itself), --on-failure for
// any other.
std::optional<THook> FinalHook(int exit_status);

#endif  // VELMORJOB_APP_HOOKS_H_

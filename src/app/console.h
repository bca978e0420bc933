#ifndef VELMORJOB_APP_CONSOLE_H_
#define VELMORJOB_APP_CONSOLE_H_

#include "core/run_events.h"
#include "job/run_settings.h"

// The listener that says what happens, as the operator reads it: every
// message of a run, in its plain form, with --verbose's lines about each
// attempt, --dry-run's commands, and --quiet's failed steps with the end of
// their output once the run has failed. Where the messages go (standard
// output, standard error for a dry run, kept for --quiet) is the output's
// business.
class TConsole : public TRunEvents {
 public:
  explicit TConsole(const TRunSettings& settings) : settings_(settings) {}

  void ConfigError(const TConfigMessage& message) override;
  void LockWaiting(const std::string& path) override;
  void LockHeld(const std::string& path) override;
  void Warning(const std::string& line) override;
  void AttemptStarted(const TStepRecord& attempt, int attempts) override;
  void AttemptEnded(const TStepRecord& attempt) override;
  void RetryWaiting(const TStepRecord& failed, int attempts, double delay) override;
  void DeadlinePassed() override;
  void StepCommand(const std::string& command) override;
  void Stopped(int signal_number) override;
  void FileNotWritten(const std::string& what, const std::string& path, const std::string& reason,
                      bool refused) override;
  void FilesWritten(const TRunRecord& record) override;

 private:
  const TRunSettings& settings_;
};

#endif  // VELMORJOB_APP_CONSOLE_H_

#ifndef VELMORJOB_TESTS_FAKE_LISTENER_H_
#define VELMORJOB_TESTS_FAKE_LISTENER_H_

#include <string>
#include <vector>

#include "core/run_events.h"

// Listens to a run as the console, the record keeper, the hooks and the
// history would, and writes down each event as a line: "start 2.1 ./runner
// 3" (step 2, attempt 1 of 3), "end 2.1 exit status 4", "retry 2.1 0.5",
// "deadline", "command ./indexer ", "stopped 15", "config 3 Error at line
// 3:...". The attempts it was told of are kept whole.
class TFakeListener : public TRunEvents {
 public:
  std::vector<std::string> events;
  std::vector<TStepRecord> started;
  std::vector<TStepRecord> ended;

  void ConfigError(const TConfigMessage& message) override;
  void JobRead(long steps) override;
  void LockWaiting(const std::string& path) override;
  void LockHeld(const std::string& path) override;
  void LockTaken(const std::string& path) override;
  void Warning(const std::string& line) override;
  void RunStarted(const TRunRecord& record) override;
  void AttemptStarted(const TStepRecord& attempt, int attempts) override;
  void AttemptEnded(const TStepRecord& attempt) override;
  void RetryWaiting(const TStepRecord& failed, int attempts, double delay) override;
  void DeadlinePassed() override;
  void StepCommand(const std::string& command) override;
  void Stopped(int signal_number) override;
  void FileNotWritten(const std::string& what, const std::string& path, const std::string& reason,
                      bool refused) override;
  void RunEnding(const TRunRecord& record) override;
  void FilesWritten(const TRunRecord& record) override;
  void RunEnded(const TRunRecord& record) override;
};

#endif  // VELMORJOB_TESTS_FAKE_LISTENER_H_

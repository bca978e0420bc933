#ifndef VELMORJOB_CORE_RUN_EVENTS_H_
#define VELMORJOB_CORE_RUN_EVENTS_H_

#include <string>
#include <vector>

#include "core/run_record.h"

// The moments of a run, told as they happen by the code that runs it (the
// lookup, the job reader, the step loop, the run itself), which formats
// nothing. Each listener does its part with them: the console says what
// happened, the record keeper keeps it for the report and the metrics, the
// hooks run their commands, the history stores it.
//
// Every method has an empty default, so that a listener overrides only the
// moments it cares for, and a new moment costs the listeners that ignore it
// nothing.
class TRunEvents {
 public:
  virtual ~TRunEvents() = default;

  // A configuration error: a file that cannot be read, a bad line, a job
  // not in the file, a lock file that cannot be used. text is the message
  // exactly as it is to be printed.
  virtual void ConfigError(const TConfigMessage& /*message*/) {}
  // The job's section was read to its end without error; it has this many
  // steps.
  virtual void JobRead(long /*steps*/) {}

  // The lock file is held by another run, and the run waits for it.
  virtual void LockWaiting(const std::string& /*path*/) {}
  // The lock file is held by another run (after any wait): the job is not
  // run.
  virtual void LockHeld(const std::string& /*path*/) {}
  // The run holds the lock.
  virtual void LockTaken(const std::string& /*path*/) {}
  // A line for the operator that is no error, such as that the lock file's
  // mode was made 0600: "velmorjob: ...\n".
  virtual void Warning(const std::string& /*line*/) {}

  // The job was read and its lock taken: the first step is about to start.
  virtual void RunStarted(const TRunRecord& /*record*/) {}
  // An attempt at a step starts: its number, attempt, kind, program,
  // command and start time are set; attempts is how many it may have.
  virtual void AttemptStarted(const TStepRecord& /*attempt*/, int /*attempts*/) {}
  // The attempt ended: the record is complete, with its result, duration
  // and, when kept, the end of its output.
  virtual void AttemptEnded(const TStepRecord& /*attempt*/) {}
  // The attempt failed and the step is tried again, attempt + 1 of
  // attempts, after delay seconds.
  virtual void RetryWaiting(const TStepRecord& /*failed*/, int /*attempts*/, double /*delay*/) {}
  // The job's deadline passed: nothing more runs.
  virtual void DeadlinePassed() {}
  // A dry run's step: its command text, which runs nothing.
  virtual void StepCommand(const std::string& /*command*/) {}
  // A stop signal ended the run.
  virtual void Stopped(int /*signal_number*/) {}

  // A file of the run (the report, the metrics) could not be written, or
  // was left as it was: what says which, reason why. refused: the metrics
  // file is another job's or holds no metrics.
  virtual void FileNotWritten(const std::string& /*what*/, const std::string& /*path*/,
                              const std::string& /*reason*/, bool /*refused*/) {}
  // The run's end as it stands, told as the run's files are written, and
  // again when its status changed meanwhile: for a listener that keeps the
  // run itself (the history). A listener that fails to keep it counts a
  // file that could not be written, and the files are written again.
  virtual void RunEnding(const TRunRecord& /*record*/) {}
  // The run's files are written: the record holds its end, exit status and
  // result as the files tell them. What is done after (the hook that tells
  // how it went) may still change the status.
  virtual void FilesWritten(const TRunRecord& /*record*/) {}
  // The run is over: the record holds the status the program ends with.
  virtual void RunEnded(const TRunRecord& /*record*/) {}
};

// Tells each event to every listener added, in the order they were added.
class TRunListeners : public TRunEvents {
 public:
  void Add(TRunEvents& listener) { listeners_.push_back(&listener); }

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

 private:
  std::vector<TRunEvents*> listeners_;
};

#endif  // VELMORJOB_CORE_RUN_EVENTS_H_

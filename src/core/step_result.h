#ifndef VELMORJOB_CORE_STEP_RESULT_H_
#define VELMORJOB_CORE_STEP_RESULT_H_

#include <optional>
#include <string>

// How a process of the run (a step or a hook) ended: decoded once, where
// the process ended, and read by the messages, the report, the metrics and
// the decisions of the run.
struct TStepResult {
  enum class TEnd {
    kNotStarted,  // no shell could be started
    kExited,      // the shell exited: code is its exit status
    kKilled,      // the shell was killed: code is the signal's number
  };
  // Why velmorjob signalled the process's group, if it did.
  enum class TStop {
    kNone,
    kTimeout,     // its own time limit (--timeout, or a hook's limit)
    kDeadline,    // the job's deadline (--job-timeout)
    kStopSignal,  // velmorjob was told to stop and passed the signal on
  };

  TEnd end = TEnd::kNotStarted;
  int code = 0;
  TStop stopped = TStop::kNone;

  // A wait status as waitpid() gives it.
  static TStepResult FromWaitStatus(int status, TStop stopped = TStop::kNone);

  // It did not exit with status 0: it could not be started, exited with
  // another status, was killed, or ran out of time.
  bool Failed() const;
  // Its time limit or the job's deadline was reached, and its group told
  // to end.
  bool TimedOut() const { return stopped == TStop::kTimeout || stopped == TStop::kDeadline; }
  // SIGINT or SIGQUIT when the step itself was interrupted (at the
  // terminal: velmorjob was not signalled) and the job is to stop there;
  // 0 otherwise. The shell reports a program that died of signal N as exit
  // status 128 + N, which counts the same.
  int Interrupt() const;
  std::optional<int> ExitStatus() const;
  std::optional<int> Signal() const;
  // As the metrics give it: the exit status, 128 + N when killed by signal
  // N, -1 when it could not be started.
  int StatusNumber() const;
  // What happened, for a message: "exit status 1", "killed by SIGKILL",
  // "timed out", "could not be started".
  std::string Cause() const;
};

// The word for why velmorjob signalled a process's group, as the history
// keeps it: "timeout", "deadline", "stop-signal"; null for kNone.
const char* StopWord(TStepResult::TStop stopped);

#endif  // VELMORJOB_CORE_STEP_RESULT_H_

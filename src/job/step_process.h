#ifndef VELMORJOB_JOB_STEP_PROCESS_H_
#define VELMORJOB_JOB_STEP_PROCESS_H_

#include <optional>
#include <string>
#include <vector>

#include "core/step_result.h"
#include "job/output_tail.h"
#include "job/signal_block.h"

// The time limits of a process of the run.
struct TStepLimits {
  // Seconds the process may run before its group gets SIGTERM; no limit
  // when empty.
  std::optional<double> timeout;
  // Seconds from a SIGTERM (at a time limit) or a stop signal passed on
  // until the group gets SIGKILL, if anything of it still runs then.
  double kill_after = 30;
  // The job's deadline: the group gets SIGTERM then, if that comes before
  // the time limit.
  std::optional<TSteadyClock::time_point> deadline;
};

// The descriptor number under which a step gets the run's lock, so that the
// lock is held for as long as anything the step started still runs.
constexpr int kInheritedLockFd = 9;

// What a process of the run is, beyond its command text.
struct TProcessSetup {
  std::string command;  // run as /bin/sh -c command
  TStepLimits limits;
  // NAME=value entries that the process gets in its environment on top of
  // the program's own, replacing a variable of the same name.
  std::vector<std::string> environment;
  // Fed to its standard input, which is then closed; it inherits the
  // program's when empty.
  std::optional<std::string> input;
  // When set, its standard output and error are pipes: kept here, and
  // passed on to the program's own as they come unless pass_on is false.
  TOutputTail* keep = nullptr;
  bool pass_on = true;
  // A descriptor the process gets as kInheritedLockFd, or -1.
  int lock_fd = -1;
};

// Runs the command as /bin/sh -c, with the program's environment (and the
// setup's additions), standard streams and signal mask, and waits until it
// ends; the child gets the SIGPIPE disposition the program started with.
//
// The shell runs in a process group of its own, so that it can be
// signalled as a whole: the shell, the program under it and whatever they
// started in the group. At a terminal, that group is the terminal's
// foreground while it runs (see TForegroundTerminal). A stop signal the
// program receives meanwhile is passed on to the group. After a SIGTERM at
// the time limit or the deadline, or a stop signal passed on, the whole
// group has kill_after seconds to end before it gets SIGKILL; the call
// returns when nothing of the group is left, its processes reaped. A
// process that ends by itself is not touched, nor is anything it left
// running in the background. How it ended is decoded here, once.
TStepResult RunProcess(const TProcessSetup& setup);

// How a wait between attempts ended.
enum class TPauseEnd {
  kElapsed,     // the whole wait passed
  kStopSignal,  // a stop signal came
};

// Waits for the given seconds, or until a stop signal comes. The caller
// makes sure that a wait does not run past the job's deadline.
TPauseEnd Pause(double seconds);

#endif  // VELMORJOB_JOB_STEP_PROCESS_H_

#ifndef VELMORJOB_JOB_STEP_PROCESS_H_
#define VELMORJOB_JOB_STEP_PROCESS_H_

#include <optional>
#include <string>

// The time limits of a step.
struct TStepLimits {
  // Seconds the step may run before its process group gets SIGTERM; no
  // limit when empty.
  std::optional<double> timeout;
  // Seconds from a SIGTERM (at the time limit) or a stop signal passed on
  // until the group gets SIGKILL, if anything of it still runs then.
  double kill_after = 30;
};

// How a step ended.
struct TStepEnd {
  // The wait status of the shell that ran the step, as system() returns it;
  // -1 when no shell could be started.
  int status = -1;
  // Whether its time limit was reached and its process group signalled.
  bool timed_out = false;
};

// Runs the command text as /bin/sh -c, with the environment, standard
// streams and signal mask the program was given, and waits until it ends.
//
// The shell runs in a process group of its own, so that the step can be
// signalled as a whole: the shell, the program under it and whatever they
// started in the group. At a terminal, that group is the terminal's
// foreground while the step runs (see TForegroundTerminal). A stop signal
// the program receives meanwhile is noted (StopSignal()) and passed on to
// the group. After a SIGTERM at the time limit or a stop signal passed on,
// the whole group has kill_after seconds to end before it gets SIGKILL;
// the call returns when nothing of the group is left. A step that ends by
// itself is not touched, nor is anything it left running in the background.
TStepEnd RunStepProcess(const std::string& command, const TStepLimits& limits);

#endif  // VELMORJOB_JOB_STEP_PROCESS_H_

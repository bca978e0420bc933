#ifndef VELMORJOB_CORE_STOP_SIGNAL_H_
#define VELMORJOB_CORE_STOP_SIGNAL_H_

#include <csignal>

// The signals that stop a run: SIGTERM, SIGHUP, SIGINT and SIGQUIT. The
// first one received is kept; reading stops at once, a running step's
// process group gets it passed on, and no further step starts. The run then
// ends with 128 + its number.

// The stop signals, for blocking them around a step.
sigset_t StopSignals();

// Catches the stop signals (and notes SIGCHLD, so that a blocked SIGCHLD is
// kept pending) and forgets any signal received before. A signal that was
// ignored when the program started stays ignored, as its caller asked.
void InstallStopSignals();

// Notes a stop signal taken some other way than through the handler, such
// as sigtimedwait(); the first one noted is kept.
void RecordStopSignal(int signal_number);

// The first stop signal received, or 0.
int StopSignal();

// A stop signal received since the last call and not yet passed on to a
// running process's group, or 0; each signal received is handed out once.
// Call it with the stop signals blocked.
int TakePendingStopSignal();

// A run ignores SIGPIPE for itself: a reader that goes away costs it an
// output error, not the night's work.
void IgnoreSigpipe();
// In a child between fork() and exec(): gives the process the SIGPIPE
// disposition the program was started with, so that a step's own pipes
// behave as they would without velmorjob. Async-signal-safe.
void RestoreSigpipe();

#endif  // VELMORJOB_CORE_STOP_SIGNAL_H_

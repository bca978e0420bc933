#ifndef VELMORJOB_JOB_TERMINAL_H_
#define VELMORJOB_JOB_TERMINAL_H_

#include <sys/types.h>

// The controlling terminal of a run that was started in the foreground at a
// terminal. Each step runs in a process group of its own; while it runs, the
// terminal's foreground is handed to that group, so that the terminal's
// interrupt and quit keys reach the step and a step that reads the terminal
// is not stopped. Without
// a terminal (cron, systemd) or in the background, nothing is handed over.
class TForegroundTerminal {
 public:
  // Opens the controlling terminal when this process's group is in its
  // foreground; holds nothing otherwise.
  TForegroundTerminal();
  ~TForegroundTerminal();
  TForegroundTerminal(const TForegroundTerminal&) = delete;
  TForegroundTerminal& operator=(const TForegroundTerminal&) = delete;

  bool Held() const { return fd_ >= 0; }
  // Makes group the terminal's foreground process group. SIGTTOU must be
  // blocked: the caller may already be in the background.
  void GiveTo(pid_t group) const;
  // Makes this process's group the foreground again.
  void TakeBack() const;
  // Whether this process's group is the foreground now (after being
  // stopped and continued, it may not be).
  bool OwnIsForeground() const;

 private:
  int fd_ = -1;
};

#endif  // VELMORJOB_JOB_TERMINAL_H_

#include "job/step_process.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <ctime>
#include <sys/types.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <sys/wait.h>
#include <unistd.h>

#include "core/stop_signal.h"
#include "job/terminal.h"

namespace {

using Clock = std::chrono::steady_clock;

// Longer limits are as good as none; this keeps the arithmetic finite.
constexpr double kLongestWait = 1e9;
// How often the group is looked at once its shell has ended.
constexpr std::chrono::milliseconds kGroupPoll(10);

Clock::duration Seconds(double seconds) {
  if (seconds > kLongestWait) seconds = kLongestWait;
  if (seconds < 0) seconds = 0;
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

timespec Timespec(Clock::duration wait) {
  if (wait < Clock::duration::zero()) wait = Clock::duration::zero();
  const auto whole = std::chrono::duration_cast<std::chrono::seconds>(wait);
  timespec result = {};
  result.tv_sec = static_cast<std::time_t>(whole.count());
  result.tv_nsec = static_cast<long>(std::chrono::nanoseconds(wait - whole).count());
  return result;
}

// Blocks a set of signals for its lifetime.
class TBlockedSignals {
 public:
  explicit TBlockedSignals(const sigset_t& set) { sigprocmask(SIG_BLOCK, &set, &old_); }
  ~TBlockedSignals() { sigprocmask(SIG_SETMASK, &old_, nullptr); }
  TBlockedSignals(const TBlockedSignals&) = delete;
  TBlockedSignals& operator=(const TBlockedSignals&) = delete;
  const sigset_t& old() const { return old_; }

 private:
  sigset_t old_;
};

// Sends the signal to the group, and SIGCONT after it, so that a stopped
// member gets it at once.
void SignalGroup(pid_t group, int signal_number) {
  killpg(group, signal_number);
  if (signal_number != SIGKILL) killpg(group, SIGCONT);
}

bool GroupAlive(pid_t group) { return killpg(group, 0) == 0 || errno == EPERM; }

// The step stopped at the terminal (Ctrl-Z): take the terminal back and
// stop too, so that the shell that started the run sees it stopped; when
// continued, continue the step, in the foreground if the run is.
void StopWithTheStep(const TForegroundTerminal& terminal, pid_t group) {
  if (!terminal.Held()) return;
  terminal.TakeBack();
  raise(SIGTSTP);
  if (terminal.OwnIsForeground()) terminal.GiveTo(group);
  killpg(group, SIGCONT);
}

// [[noreturn]] part of the child: the shell, in a group of its own.
[[noreturn]] void ExecShell(const std::string& command, const TForegroundTerminal& terminal,
                            const sigset_t& old_mask) {
  setpgid(0, 0);
  terminal.GiveTo(getpid());
  sigprocmask(SIG_SETMASK, &old_mask, nullptr);
  execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
  _exit(127);
}

enum class TReaped { kNothing, kStopped, kEnded };

// Reaps every child that has ended: the step's shell (its wait status goes
// to shell_status), and any process an earlier step left behind whose parent
// ended, which comes to this process as the subreaper. Also tells when the
// shell has stopped.
TReaped ReapChildren(pid_t shell, int& shell_status) {
  TReaped result = TReaped::kNothing;
  for (;;) {
    int status = 0;
    const pid_t child = waitpid(-1, &status, WNOHANG | WUNTRACED);
    if (child < 0 && errno == EINTR) continue;
    if (child <= 0) return result;
    if (child != shell) continue;
    if (WIFSTOPPED(status)) {
      result = TReaped::kStopped;
    } else {
      shell_status = status;
      return TReaped::kEnded;
    }
  }
}

// Makes the processes a step leaves behind, when their parent ends, children
// of this process rather than of init, so that they are reaped here and the
// step's group empties as soon as they end, whatever init does.
void BecomeSubreaper() {
#ifdef __linux__
  prctl(PR_SET_CHILD_SUBREAPER, 1);
#endif
}

// Waits for one of the signals or until the deadline; returns the signal,
// or 0 when the deadline passed or the wait was interrupted.
int WaitForSignal(const sigset_t& signals, const Clock::time_point* deadline) {
  int taken;
  if (deadline == nullptr) {
    taken = sigwaitinfo(&signals, nullptr);
  } else {
    const timespec wait = Timespec(*deadline - Clock::now());
    taken = sigtimedwait(&signals, nullptr, &wait);
  }
  return taken > 0 ? taken : 0;
}

}  // namespace

TStepEnd RunStepProcess(const std::string& command, const TStepLimits& limits) {
  TStepEnd end;
  const sigset_t stop_signals = StopSignals();
  sigset_t awaited = stop_signals;
  sigaddset(&awaited, SIGCHLD);
  sigset_t blocked = awaited;
  sigaddset(&blocked, SIGTTOU);
  // Blocked before the fork and taken with sigtimedwait(): no signal can
  // slip in between looking at the step and waiting.
  const TBlockedSignals block(blocked);
  const TForegroundTerminal terminal;
  BecomeSubreaper();

  const pid_t group = fork();
  if (group < 0) return end;
  if (group == 0) ExecShell(command, terminal, block.old());
  // Both sides set the group and the foreground, whichever runs first.
  setpgid(group, group);
  terminal.GiveTo(group);

  const Clock::time_point started = Clock::now();
  bool has_time_limit = limits.timeout.has_value();
  Clock::time_point time_limit = started + Seconds(limits.timeout.value_or(0));
  bool has_kill_time = false;  // set once the group was told to end
  Clock::time_point kill_time;
  bool killed = false;
  const auto end_group = [&](int signal_number) {
    SignalGroup(group, signal_number);
    if (!has_kill_time) kill_time = Clock::now() + Seconds(limits.kill_after);
    has_kill_time = true;
  };

  int status = 0;
  for (;;) {
    const TReaped reaped = ReapChildren(group, status);
    if (reaped == TReaped::kStopped) {
      StopWithTheStep(terminal, group);
      continue;
    }
    if (reaped == TReaped::kEnded) break;
    const Clock::time_point* deadline = nullptr;
    if (has_time_limit) deadline = &time_limit;
    if (has_kill_time && !killed && (deadline == nullptr || kill_time < *deadline)) {
      deadline = &kill_time;
    }
    const int taken = WaitForSignal(awaited, deadline);
    if (taken == SIGCHLD) continue;
    if (taken != 0) {
      RecordStopSignal(taken);
      end_group(taken);
      continue;
    }
    const Clock::time_point now = Clock::now();
    if (has_time_limit && now >= time_limit) {
      has_time_limit = false;
      end.timed_out = true;
      end_group(SIGTERM);
    } else if (has_kill_time && !killed && now >= kill_time) {
      killpg(group, SIGKILL);
      killed = true;
    }
  }

  // The shell has ended. What it started in the group has until the kill
  // time to end too, once the group was told to end.
  while (has_kill_time && !killed && GroupAlive(group)) {
    const Clock::time_point now = Clock::now();
    if (now >= kill_time) {
      killpg(group, SIGKILL);
      break;
    }
    int ignored = 0;
    ReapChildren(group, ignored);
    if (!GroupAlive(group)) break;
    const Clock::time_point poll = std::min(kill_time, now + kGroupPoll);
    const int taken = WaitForSignal(stop_signals, &poll);
    if (taken != 0) {
      RecordStopSignal(taken);
      SignalGroup(group, taken);
    }
  }
  terminal.TakeBack();
  end.status = status;
  return end;
}

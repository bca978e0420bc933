#include "job/step_process.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/types.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <sys/wait.h>
#include <unistd.h>

#include "core/stop_signal.h"
#include "job/child_streams.h"
#include "job/terminal.h"

namespace {

// How often the group is looked at once its shell has ended.
constexpr std::chrono::milliseconds kGroupPoll(10);
// How long the processes of a group that got SIGKILL have to be gone.
constexpr std::chrono::seconds kKilledGroupWait(5);

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

// The environment of the child: the program's own, with the additions in
// place of variables of the same name.
std::vector<std::string> Environment(const std::vector<std::string>& additions) {
  std::vector<std::string> result;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const std::string_view variable(*entry);
    const std::string_view name = variable.substr(0, variable.find('='));
    const bool replaced = std::any_of(additions.begin(), additions.end(), [&](const auto& added) {
      return std::string_view(added).substr(0, added.find('=')) == name;
    });
    if (!replaced) result.emplace_back(variable);
  }
  result.insert(result.end(), additions.begin(), additions.end());
  return result;
}

// What the child runs, made before fork() so that the child only calls
// what is safe there.
struct TExec {
  std::vector<std::string> environment;
  std::vector<char*> envp;
  const char* command;
};

// The part of the child: the shell, in a group of its own.
[[noreturn]] void ExecShell(const TExec& exec, const TChildStreams& streams, int lock_fd,
                            const TForegroundTerminal& terminal, const sigset_t& old_mask) {
  setpgid(0, 0);
  terminal.GiveTo(getpid());
  streams.InChild();
  if (lock_fd == kInheritedLockFd) {
    fcntl(lock_fd, F_SETFD, 0);
  } else if (lock_fd >= 0) {
    dup2(lock_fd, kInheritedLockFd);
  }
  RestoreSigpipe();
  sigprocmask(SIG_SETMASK, &old_mask, nullptr);
  const char* argv[] = {"sh", "-c", exec.command, nullptr};
  execve("/bin/sh", const_cast<char* const*>(argv), exec.envp.empty() ? environ : exec.envp.data());
  _exit(127);
}

enum class TReaped { kNothing, kStopped, kEnded };

// Reaps every child that has ended: the shell (its wait status goes to
// shell_status), and any process a step left behind whose parent ended,
// which comes to this process as the subreaper. Also tells when the shell
// has stopped.
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

// When and why the group is signalled: the one place that decides it.
class TGroupEnding {
 public:
  TGroupEnding(pid_t group, const TStepLimits& limits, TSteadyClock::time_point started)
      : group_(group), kill_after_(limits.kill_after) {
    if (limits.timeout) term_at_ = started + Seconds(*limits.timeout);
    term_reason_ = TStepResult::TStop::kTimeout;
    if (limits.deadline && (!term_at_ || *limits.deadline <= *term_at_)) {
      term_at_ = *limits.deadline;
      term_reason_ = TStepResult::TStop::kDeadline;
    }
  }

  TStepResult::TStop stopped() const { return stopped_; }
  bool Told() const { return kill_at_.has_value(); }
  bool Killed() const { return killed_; }

  // The next moment at which something is to be done, if any.
  std::optional<TSteadyClock::time_point> Next(bool shell_ended) const {
    if (kill_at_) return killed_ ? std::nullopt : kill_at_;
    return shell_ended ? std::nullopt : term_at_;
  }

  // Passes a stop signal the program received on to the group.
  void PassOn(int signal_number) {
    if (stopped_ == TStepResult::TStop::kNone) stopped_ = TStepResult::TStop::kStopSignal;
    Tell(signal_number);
  }

  // Does what is due by now.
  void Due(TSteadyClock::time_point now, bool shell_ended) {
    if (!kill_at_ && !shell_ended && term_at_ && now >= *term_at_) {
      if (stopped_ == TStepResult::TStop::kNone) stopped_ = term_reason_;
      Tell(SIGTERM);
    } else if (kill_at_ && !killed_ && now >= *kill_at_) {
      Kill();
    }
  }

  void Kill() {
    killpg(group_, SIGKILL);
    killed_ = true;
  }

 private:
  void Tell(int signal_number) {
    SignalGroup(group_, signal_number);
    if (!kill_at_) kill_at_ = TSteadyClock::now() + Seconds(kill_after_);
  }

  pid_t group_;
  double kill_after_;
  std::optional<TSteadyClock::time_point> term_at_;
  TStepResult::TStop term_reason_;
  TStepResult::TStop stopped_ = TStepResult::TStop::kNone;
  std::optional<TSteadyClock::time_point> kill_at_;
  bool killed_ = false;
};

// Passes on every stop signal received since the last look.
void PassOnStopSignals(TGroupEnding& ending) {
  while (const int signal_number = TakePendingStopSignal()) ending.PassOn(signal_number);
}

}  // namespace

TStepResult RunProcess(const TProcessSetup& setup) {
  const TBlockedSignals blocked;
  // Signals that came before this process started are not passed on to it.
  while (TakePendingStopSignal() != 0) {
  }
  const TForegroundTerminal terminal;
  BecomeSubreaper();
  TChildStreams streams(setup.input ? &*setup.input : nullptr, setup.keep, setup.pass_on);
  if (!streams.Open()) return TStepResult();

  TExec exec;
  // A process that adds nothing gets the program's environment as it is.
  if (!setup.environment.empty()) {
    exec.environment = Environment(setup.environment);
    for (std::string& variable : exec.environment) exec.envp.push_back(variable.data());
    exec.envp.push_back(nullptr);
  }
  exec.command = setup.command.c_str();

  const pid_t group = fork();
  if (group < 0) return TStepResult();
  if (group == 0) ExecShell(exec, streams, setup.lock_fd, terminal, blocked.old());
  // Both sides set the group and the foreground, whichever runs first.
  setpgid(group, group);
  terminal.GiveTo(group);
  streams.InParent();

  TGroupEnding ending(group, setup.limits, TSteadyClock::now());
  int status = 0;
  bool shell_ended = false;
  std::vector<pollfd> fds;
  for (;;) {
    if (!shell_ended) {
      const TReaped reaped = ReapChildren(group, status);
      if (reaped == TReaped::kStopped) {
        StopWithTheStep(terminal, group);
        continue;
      }
      shell_ended = reaped == TReaped::kEnded;
    } else {
      int ignored = 0;
      ReapChildren(group, ignored);
    }
    // Once the shell has ended, what it started in the group has until the
    // kill time to end too, if the group was told to end.
    if (shell_ended && (!ending.Told() || ending.Killed() || !GroupAlive(group))) break;
    std::optional<TSteadyClock::time_point> until = ending.Next(shell_ended);
    if (shell_ended) {
      const TSteadyClock::time_point poll = TSteadyClock::now() + kGroupPoll;
      until = until ? std::min(*until, poll) : poll;
    }
    fds.clear();
    streams.Want(fds);
    if (blocked.Wait(fds, until)) streams.Serve(fds);
    PassOnStopSignals(ending);
    ending.Due(TSteadyClock::now(), shell_ended);
  }
  // A group that got SIGKILL is gone a moment later: its processes that
  // came to this process are reaped rather than left to init.
  if (ending.Killed()) {
    const TSteadyClock::time_point give_up = TSteadyClock::now() + kKilledGroupWait;
    while (GroupAlive(group) && TSteadyClock::now() < give_up) {
      int ignored = 0;
      ReapChildren(group, ignored);
      fds.clear();
      blocked.Wait(fds, TSteadyClock::now() + kGroupPoll);
    }
  }
  int ignored = 0;
  ReapChildren(group, ignored);
  streams.Finish();
  terminal.TakeBack();
  return TStepResult::FromWaitStatus(status, ending.stopped());
}

TPauseEnd Pause(double seconds) {
  const TBlockedSignals blocked;
  const TSteadyClock::time_point until = TSteadyClock::now() + Seconds(seconds);
  std::vector<pollfd> none;
  while (StopSignal() == 0 && TSteadyClock::now() < until) blocked.Wait(none, until);
  return StopSignal() != 0 ? TPauseEnd::kStopSignal : TPauseEnd::kElapsed;
}

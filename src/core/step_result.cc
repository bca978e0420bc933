#include "core/step_result.h"

#include <csignal>
#include <sys/wait.h>

#include "core/signal_names.h"

namespace {

bool IsInterrupt(int signal_number) { return signal_number == SIGINT || signal_number == SIGQUIT; }

}  // namespace

TStepResult TStepResult::FromWaitStatus(int status, TStop stopped) {
  TStepResult result;
  result.stopped = stopped;
  if (WIFSIGNALED(status)) {
    result.end = TEnd::kKilled;
    result.code = WTERMSIG(status);
  } else {
    result.end = TEnd::kExited;
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : status;
  }
  return result;
}

bool TStepResult::Failed() const { return TimedOut() || end != TEnd::kExited || code != 0; }

int TStepResult::Interrupt() const {
  if (stopped != TStop::kNone) return 0;
  if (end == TEnd::kKilled && IsInterrupt(code)) return code;
  if (end == TEnd::kExited && code > 128 && IsInterrupt(code - 128)) return code - 128;
  return 0;
}

std::optional<int> TStepResult::ExitStatus() const {
  if (end == TEnd::kExited) return code;
  return std::nullopt;
}

std::optional<int> TStepResult::Signal() const {
  if (end == TEnd::kKilled) return code;
  return std::nullopt;
}

int TStepResult::StatusNumber() const {
  switch (end) {
    case TEnd::kNotStarted: return -1;
    case TEnd::kKilled: return 128 + code;
    case TEnd::kExited: break;
  }
  return code;
}

std::string TStepResult::Cause() const {
  if (TimedOut()) return "timed out";
  switch (end) {
    case TEnd::kNotStarted: return "could not be started";
    case TEnd::kKilled: return "killed by " + SignalName(code);
    case TEnd::kExited: break;
  }
  return "exit status " + std::to_string(code);
}

const char* StopWord(TStepResult::TStop stopped) {
  switch (stopped) {
    case TStepResult::TStop::kNone: return nullptr;
    case TStepResult::TStop::kTimeout: return "timeout";
    case TStepResult::TStop::kDeadline: return "deadline";
    case TStepResult::TStop::kStopSignal: return "stop-signal";
  }
  return nullptr;
}

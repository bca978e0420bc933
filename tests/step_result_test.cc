#include "core/step_result.h"

#include <csignal>

#include <gtest/gtest.h>

namespace {

using TEnd = TStepResult::TEnd;
using TStop = TStepResult::TStop;

int Exited(int code) { return code << 8; }

TEST(StepResultTest, DecodesAWaitStatusOnce) {
  const struct {
    int status;
    TEnd end;
    int code;
  } cases[] = {
      {Exited(0), TEnd::kExited, 0},
      {Exited(3), TEnd::kExited, 3},
      {Exited(255), TEnd::kExited, 255},
      {SIGKILL, TEnd::kKilled, SIGKILL},
      {SIGQUIT | 0x80, TEnd::kKilled, SIGQUIT},  // with a core dump
  };
  for (const auto& c : cases) {
    const TStepResult result = TStepResult::FromWaitStatus(c.status);
    EXPECT_EQ(c.end, result.end) << c.status;
    EXPECT_EQ(c.code, result.code) << c.status;
  }
}

TEST(StepResultTest, TellsWhatHappenedInEveryForm) {
  const struct {
    const char* what;
    TStepResult result;
    bool failed;
    const char* cause;
    int number;  // as the metrics give it
    int exit_status;
    int signal;
  } cases[] = {
      {"success", TStepResult::FromWaitStatus(Exited(0)), false, "exit status 0", 0, 0, -1},
      {"failure", TStepResult::FromWaitStatus(Exited(1)), true, "exit status 1", 1, 1, -1},
      {"killed", TStepResult::FromWaitStatus(SIGKILL), true, "killed by SIGKILL", 137, -1, 9},
      {"killed by another", TStepResult::FromWaitStatus(SIGUSR1), true, "killed by SIGUSR1",
       128 + SIGUSR1, -1, SIGUSR1},
      {"not started", TStepResult(), true, "could not be started", -1, -1, -1},
      // A step that exits 0 as its time runs out still failed.
      {"timed out, exited 0", TStepResult::FromWaitStatus(Exited(0), TStop::kTimeout), true,
       "timed out", 0, 0, -1},
      {"stopped at the deadline", TStepResult::FromWaitStatus(SIGTERM, TStop::kDeadline), true,
       "timed out", 143, -1, SIGTERM},
      {"passed a stop signal", TStepResult::FromWaitStatus(SIGTERM, TStop::kStopSignal), true,
       "killed by SIGTERM", 143, -1, SIGTERM},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.failed, c.result.Failed());
    EXPECT_EQ(c.cause, c.result.Cause());
    EXPECT_EQ(c.number, c.result.StatusNumber());
    EXPECT_EQ(c.exit_status, c.result.ExitStatus().value_or(-1));
    EXPECT_EQ(c.signal, c.result.Signal().value_or(-1));
  }
}

TEST(StepResultTest, InterruptIsAnInterruptSignalOrTheShellsStatusForOne) {
  const struct {
    TStepResult result;
    int interrupt;
  } cases[] = {
      {TStepResult::FromWaitStatus(SIGINT), SIGINT},
      {TStepResult::FromWaitStatus(SIGQUIT | 0x80), SIGQUIT},
      {TStepResult::FromWaitStatus(Exited(130)), SIGINT},
      {TStepResult::FromWaitStatus(Exited(131)), SIGQUIT},
      {TStepResult::FromWaitStatus(Exited(129)), 0},
      {TStepResult::FromWaitStatus(Exited(137)), 0},
      {TStepResult::FromWaitStatus(Exited(143)), 0},
      {TStepResult::FromWaitStatus(Exited(2)), 0},
      {TStepResult::FromWaitStatus(SIGTERM), 0},
      {TStepResult(), 0},
      // A SIGINT that velmorjob passed on is its own stop, not the step's.
      {TStepResult::FromWaitStatus(SIGINT, TStop::kStopSignal), 0},
      {TStepResult::FromWaitStatus(Exited(130), TStop::kTimeout), 0},
  };
  for (const auto& c : cases) EXPECT_EQ(c.interrupt, c.result.Interrupt()) << c.result.Cause();
}

}  // namespace

#include "job/step_process.h"

#include <csignal>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/stop_signal.h"
#include "temp_dir.h"

namespace {

class StepProcessTest : public ::testing::Test {
 protected:
  void SetUp() override { InstallStopSignals(); }
  // Runs the command in the test's directory.
  TStepEnd Run(const std::string& command, const TStepLimits& limits = TStepLimits()) {
    return RunStepProcess("cd '" + dir_.path() + "' && " + command, limits);
  }
  TTempDir dir_;
};

TStepLimits Limits(double timeout, double kill_after) {
  TStepLimits limits;
  limits.timeout = timeout;
  limits.kill_after = kill_after;
  return limits;
}

TEST_F(StepProcessTest, GivesTheShellsWaitStatus) {
  const struct {
    const char* command;
    bool exited;
    int code;  // exit status, or signal
  } cases[] = {
      {"true", true, 0},
      {"exit 7", true, 7},
      {"kill -KILL $$", false, SIGKILL},
      {"no-such-program-here", true, 127},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    const TStepEnd end = Run(c.command);
    EXPECT_FALSE(end.timed_out);
    ASSERT_EQ(c.exited, WIFEXITED(end.status));
    EXPECT_EQ(c.code, c.exited ? WEXITSTATUS(end.status) : WTERMSIG(end.status));
  }
  EXPECT_EQ(0, StopSignal());
}

TEST_F(StepProcessTest, RunsInAGroupOfItsOwnWithTheProgramsEnvironment) {
  setenv("VELMORJOB_STEP_TEST", "inherited value", 1);
  const TStepEnd end =
      Run("echo $$ > shell; cut -d' ' -f5 /proc/$$/stat > group; "
          "printf '%s' \"$VELMORJOB_STEP_TEST\" > environment");
  unsetenv("VELMORJOB_STEP_TEST");
  ASSERT_EQ(0, end.status);
  // The shell leads the group: the group is the step's, not ours.
  EXPECT_EQ(dir_.Read("shell"), dir_.Read("group"));
  EXPECT_NE(std::to_string(getpgrp()) + "\n", dir_.Read("group"));
  EXPECT_EQ("inherited value", dir_.Read("environment"));
}

TEST_F(StepProcessTest, StepThatEndsInTimeIsUntouched) {
  const TStepEnd end = Run("sleep 0.1; exit 4", Limits(30, 1));
  EXPECT_FALSE(end.timed_out);
  ASSERT_TRUE(WIFEXITED(end.status));
  EXPECT_EQ(4, WEXITSTATUS(end.status));
}

TEST_F(StepProcessTest, TimeLimitSendsSigtermToTheGroup) {
  const TStepEnd end = Run("sleep 300", Limits(0.1, 30));
  EXPECT_TRUE(end.timed_out);
  // dash runs the program in a child; either way SIGTERM ended the shell.
  const bool terminated = (WIFSIGNALED(end.status) && WTERMSIG(end.status) == SIGTERM) ||
                          (WIFEXITED(end.status) && WEXITSTATUS(end.status) == 128 + SIGTERM);
  EXPECT_TRUE(terminated) << end.status;
}

TEST_F(StepProcessTest, GroupThatIgnoresSigtermGetsSigkillAfterKillAfter) {
  const TStepEnd end = Run("trap '' TERM; sleep 300", Limits(0.1, 0.1));
  EXPECT_TRUE(end.timed_out);
  ASSERT_TRUE(WIFSIGNALED(end.status));
  EXPECT_EQ(SIGKILL, WTERMSIG(end.status));
}

TEST_F(StepProcessTest, StopSignalIsPassedToTheGroupAndNoted) {
  // The step signals velmorjob (its parent) itself, then waits.
  const TStepEnd end = Run("kill -HUP $PPID; sleep 300", Limits(60, 30));
  EXPECT_FALSE(end.timed_out);
  EXPECT_EQ(SIGHUP, StopSignal());
  EXPECT_FALSE(WIFEXITED(end.status) && WEXITSTATUS(end.status) == 0);
}

TEST_F(StepProcessTest, ProcessLeftBehindByAnEarlierStepIsNotTakenForTheStep) {
  // The first step leaves a process that ends, with status 3, while the
  // second runs; it comes to us when its shell has gone.
  ASSERT_EQ(0, Run("(sleep 0.1; exit 3) &").status);
  const TStepEnd end = Run("sleep 0.4; exit 5");
  ASSERT_TRUE(WIFEXITED(end.status));
  EXPECT_EQ(5, WEXITSTATUS(end.status));
}

}  // namespace

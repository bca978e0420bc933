#include "job/step_process.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/stop_signal.h"
#include "temp_dir.h"

namespace {

using namespace std::chrono_literals;

class StepProcessTest : public ::testing::Test {
 protected:
  void SetUp() override { InstallStopSignals(); }
  void TearDown() override { InstallStopSignals(); }
  // Runs the command in the test's directory.
  TStepResult Run(const std::string& command, const TStepLimits& limits = TStepLimits()) {
    TProcessSetup setup;
    setup.command = "cd '" + dir_.path() + "' && " + command;
    setup.limits = limits;
    return RunProcess(setup);
  }
  TStepResult Run(TProcessSetup setup) {
    setup.command = "cd '" + dir_.path() + "' && " + setup.command;
    return RunProcess(setup);
  }
  TTempDir dir_;
};

TStepLimits Limits(double timeout, double kill_after) {
  TStepLimits limits;
  limits.timeout = timeout;
  limits.kill_after = kill_after;
  return limits;
}

bool EndedBySigterm(const TStepResult& result) {
  // dash runs the program in a child; either way SIGTERM ended the shell.
  return (result.end == TStepResult::TEnd::kKilled && result.code == SIGTERM) ||
         (result.end == TStepResult::TEnd::kExited && result.code == 128 + SIGTERM);
}

TEST_F(StepProcessTest, DecodesHowTheShellEnded) {
  const struct {
    const char* command;
    TStepResult::TEnd end;
    int code;
  } cases[] = {
      {"true", TStepResult::TEnd::kExited, 0},
      {"exit 7", TStepResult::TEnd::kExited, 7},
      {"kill -KILL $$", TStepResult::TEnd::kKilled, SIGKILL},
      {"no-such-program-here", TStepResult::TEnd::kExited, 127},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    const TStepResult result = Run(c.command);
    EXPECT_EQ(TStepResult::TStop::kNone, result.stopped);
    EXPECT_EQ(c.end, result.end);
    EXPECT_EQ(c.code, result.code);
  }
  EXPECT_EQ(0, StopSignal());
}

TEST_F(StepProcessTest, RunsInAGroupOfItsOwnWithTheProgramsEnvironmentAndTheAdditions) {
  setenv("VELMORJOB_STEP_TEST", "inherited value", 1);
  setenv("VELMORJOB_REPLACED", "old", 1);
  TProcessSetup setup;
  setup.command =
      "echo $$ > shell; cut -d' ' -f5 /proc/$$/stat > group; "
      "printf '%s|%s|%s' \"$VELMORJOB_STEP_TEST\" \"$VELMORJOB_REPLACED\" \"$VELMORJOB_ADDED\" "
      "> environment; tr '\\0' '\\n' < /proc/$$/environ | grep -c '^VELMORJOB_REPLACED=' > count";
  // /proc/$$/environ is the environment the shell was given, as it was
  // given: a variable replaced is there once.
  setup.environment = {"VELMORJOB_REPLACED=new", "VELMORJOB_ADDED=a b"};
  const TStepResult result = Run(setup);
  unsetenv("VELMORJOB_STEP_TEST");
  unsetenv("VELMORJOB_REPLACED");
  ASSERT_FALSE(result.Failed());
  // The shell leads the group: the group is the step's, not ours.
  EXPECT_EQ(dir_.Read("shell"), dir_.Read("group"));
  EXPECT_NE(std::to_string(getpgrp()) + "\n", dir_.Read("group"));
  EXPECT_EQ("inherited value|new|a b", dir_.Read("environment"));
  EXPECT_EQ("1\n", dir_.Read("count"));
}

TEST_F(StepProcessTest, StepThatEndsInTimeIsUntouched) {
  const TStepResult result = Run("sleep 0.1; exit 4", Limits(30, 1));
  EXPECT_EQ(TStepResult::TStop::kNone, result.stopped);
  EXPECT_EQ(TStepResult::TEnd::kExited, result.end);
  EXPECT_EQ(4, result.code);
}

TEST_F(StepProcessTest, TimeLimitSendsSigtermToTheGroup) {
  const TStepResult result = Run("sleep 300", Limits(0.1, 30));
  EXPECT_EQ(TStepResult::TStop::kTimeout, result.stopped);
  EXPECT_TRUE(EndedBySigterm(result)) << result.Cause();
}

TEST_F(StepProcessTest, DeadlineBeforeTheTimeLimitStopsTheGroupForTheDeadline) {
  TStepLimits limits = Limits(300, 30);
  limits.deadline = TSteadyClock::now() + 100ms;
  const TStepResult deadline = Run("sleep 300", limits);
  EXPECT_EQ(TStepResult::TStop::kDeadline, deadline.stopped);
  EXPECT_TRUE(EndedBySigterm(deadline)) << deadline.Cause();
  // The time limit first: it is the step's own limit that stops it.
  limits = Limits(0.1, 30);
  limits.deadline = TSteadyClock::now() + 300s;
  EXPECT_EQ(TStepResult::TStop::kTimeout, Run("sleep 300", limits).stopped);
}

TEST_F(StepProcessTest, GroupThatIgnoresSigtermGetsSigkillAfterKillAfter) {
  const TStepResult result = Run("trap '' TERM; sleep 300", Limits(0.1, 0.1));
  EXPECT_EQ(TStepResult::TStop::kTimeout, result.stopped);
  EXPECT_EQ(TStepResult::TEnd::kKilled, result.end);
  EXPECT_EQ(SIGKILL, result.code);
}

TEST_F(StepProcessTest, KillAfterCountsFromTheSigtermNotFromTheStart) {
  // SIGTERM at 1 s; the trap needs 1 s more, within the 1.5 s it has.
  // Counted from the start, SIGKILL would come at 1.5 s, in the trap.
  const TStepResult result = Run("trap 'sleep 1; exit 3' TERM; sleep 300 & wait", Limits(1, 1.5));
  EXPECT_EQ(TStepResult::TStop::kTimeout, result.stopped);
  EXPECT_EQ(TStepResult::TEnd::kExited, result.end) << result.Cause();
  EXPECT_EQ(3, result.code);
}

TEST_F(StepProcessTest, StopSignalIsPassedToTheGroupAndNoted) {
  // The step signals velmorjob (its parent) itself, then waits.
  const TStepResult result = Run("kill -HUP $PPID; sleep 300", Limits(60, 30));
  EXPECT_EQ(TStepResult::TStop::kStopSignal, result.stopped);
  EXPECT_EQ(SIGHUP, StopSignal());
  EXPECT_TRUE(result.Failed());
}

TEST_F(StepProcessTest, StopSignalReceivedBeforeTheProcessStartedIsNotPassedToIt) {
  raise(SIGTERM);
  ASSERT_EQ(SIGTERM, StopSignal());
  const TStepResult result = Run("sleep 0.2; exit 6");
  EXPECT_EQ(TStepResult::TStop::kNone, result.stopped);
  EXPECT_EQ(6, result.code);
}

TEST_F(StepProcessTest, ProcessLeftBehindByAnEarlierStepIsNotTakenForTheStep) {
  // The first step leaves a process that ends, with status 3, while the
  // second runs; it comes to us when its shell has gone.
  ASSERT_FALSE(Run("(sleep 0.1; exit 3) &").Failed());
  const TStepResult result = Run("sleep 0.4; exit 5");
  EXPECT_EQ(TStepResult::TEnd::kExited, result.end);
  EXPECT_EQ(5, result.code);
}

TEST_F(StepProcessTest, InputIsFedAndClosedEvenToAProcessThatReadsNone) {
  TProcessSetup setup;
  setup.command = "cat > got";
  setup.input = std::string(200000, 'x') + "end\n";
  EXPECT_FALSE(Run(setup).Failed());
  EXPECT_EQ(*setup.input, dir_.Read("got"));
  // One that never reads it is not held up.
  setup.command = "exit 0";
  EXPECT_FALSE(Run(setup).Failed());
}

TEST_F(StepProcessTest, KeptOutputHoldsTheLastBytesOfBothStreamsInTheOrderTheyCame) {
  TOutputTail tail(8);
  TProcessSetup setup;
  setup.command = "printf 0123456789; sleep 0.1; printf abc >&2; sleep 0.1; printf DE";
  setup.keep = &tail;
  setup.pass_on = false;
  EXPECT_FALSE(Run(setup).Failed());
  EXPECT_EQ("789abcDE", tail.Text());
  EXPECT_EQ(15u, tail.Bytes());
}

// A flood of output, read many chunks at a time: the tail is its last bytes
// whatever size the chunks come in, smaller or larger than the tail.
TEST_F(StepProcessTest, KeptOutputOfAFloodIsItsLastBytes) {
  std::string all;
  for (int i = 1; i <= 100000; ++i) all += std::to_string(i) + "\n";
  for (const std::size_t limit : {std::size_t{1000}, std::size_t{70000}, std::size_t{200000}}) {
    TOutputTail tail(limit);
    TProcessSetup setup;
    setup.command = "seq 1 100000";
    setup.keep = &tail;
    setup.pass_on = false;
    EXPECT_FALSE(Run(setup).Failed());
    EXPECT_EQ(all.size(), tail.Bytes()) << limit;
    EXPECT_TRUE(tail.Text() == all.substr(all.size() - limit)) << limit;
  }
}

TEST_F(StepProcessTest, OutputLeftOpenByABackgroundProcessDoesNotHoldTheStep) {
  TOutputTail tail(100);
  TProcessSetup setup;
  setup.command = "echo before; (sleep 300; echo late) & echo after";
  setup.keep = &tail;
  setup.pass_on = false;
  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(Run(setup).Failed());
  EXPECT_LT(std::chrono::steady_clock::now() - started, 100s);
  EXPECT_EQ("before\nafter\n", tail.Text());
}

TEST_F(StepProcessTest, LockDescriptorIsInheritedUnderItsFixedNumber) {
  const int fd = open(dir_.Write("lock", "").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  TProcessSetup setup;
  setup.command = "readlink /proc/$$/fd/9 > fd9";
  setup.lock_fd = fd;
  EXPECT_FALSE(Run(setup).Failed());
  EXPECT_EQ(dir_.File("lock") + "\n", dir_.Read("fd9"));
  // Without one, descriptor 9 is not open in the step.
  setup.command = "test ! -e /proc/$$/fd/9";
  setup.lock_fd = -1;
  EXPECT_FALSE(Run(setup).Failed());
  close(fd);
}

TEST_F(StepProcessTest, ChildGetsTheSigpipeDispositionTheProgramStartedWith) {
  // As a run does: SIGPIPE ignored for the program itself.
  IgnoreSigpipe();
  TProcessSetup setup;
  setup.command = "grep SigIgn /proc/$$/status > ignored";
  EXPECT_FALSE(Run(setup).Failed());
  signal(SIGPIPE, SIG_DFL);
  const std::string mask = dir_.Read("ignored");
  ASSERT_FALSE(mask.empty());
  // Bit 13 (SIGPIPE) of the mask of ignored signals is clear.
  const unsigned long long ignored = std::strtoull(mask.c_str() + 7, nullptr, 16);
  EXPECT_EQ(0u, ignored & (1ull << (SIGPIPE - 1))) << mask;
}

TEST_F(StepProcessTest, PauseEndsAtOnceOnAStopSignal) {
  EXPECT_EQ(TPauseEnd::kElapsed, Pause(0.05));
  const auto started = std::chrono::steady_clock::now();
  const pid_t self = getpid();
  const pid_t signaller = fork();
  if (signaller == 0) {
    usleep(100000);
    kill(self, SIGTERM);
    _exit(0);
  }
  EXPECT_EQ(TPauseEnd::kStopSignal, Pause(300));
  EXPECT_LT(std::chrono::steady_clock::now() - started, 100s);
  waitpid(signaller, nullptr, 0);
}

}  // namespace

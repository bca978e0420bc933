#include "job/step_runner.h"

#include <csignal>
#include <string>
#include <vector>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include "core/exit_status.h"
#include "core/outcome.h"
#include "core/stop_signal.h"
#include "fake_system.h"
#include "job/run_files.h"
#include "job/step_list.h"
#include "options/add_commad.h"

namespace {

int Exited(int code) { return code << 8; }
int Killed(int signal_number) { return signal_number; }

class StepRunnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TFakeSystem::Reset();
    outcome = TOutcome();
    runsettings = TRunSettings();
    runsettings.execute = TFakeSystem::Execute;
    steps_.Append(MakeStep(runfiles[0]));
    AddCommad("MaxFiles 500\n", steps_.last);
    steps_.Append(MakeStep(runfiles[1]));
    AddCommad("Filename report\n", steps_.last);
    steps_.Append(MakeStep(runfiles[0]));
  }
  void TearDown() override { runsettings = TRunSettings(); }

  std::string Run() {
    testing::internal::CaptureStdout();
    RunSteps(steps_.head.get());
    return testing::internal::GetCapturedStdout();
  }

  TStepList steps_;
};

const std::vector<std::string> kAllThree = {"./indexer  --maxfiles=500",
                                            "./runner  --program=report", "./indexer "};

TEST_F(StepRunnerTest, RunsEveryStepInOrderSilently) {
  EXPECT_EQ("", Run());
  EXPECT_EQ(kAllThree, TFakeSystem::commands);
  EXPECT_EQ(kExitOk, ExitStatus(outcome));
}

TEST_F(StepRunnerTest, FailingStepIsRecordedAndTheNextStillRuns) {
  for (const int failure : {Exited(1), Exited(127), Killed(SIGTERM), Killed(SIGKILL)}) {
    SCOPED_TRACE(failure);
    TFakeSystem::commands.clear();
    outcome = TOutcome();
    TFakeSystem::Answer({failure});
    EXPECT_EQ("", Run());
    EXPECT_EQ(kAllThree, TFakeSystem::commands);
    EXPECT_EQ(kExitStepFailed, ExitStatus(outcome));
  }
}

TEST_F(StepRunnerTest, StepThatCannotStartIsReportedAndTheNextStillRuns) {
  TFakeSystem::Answer({0, -1});
  EXPECT_EQ("Error executing \"./runner\"\n", Run());
  EXPECT_EQ(kAllThree, TFakeSystem::commands);
  EXPECT_EQ(kExitStepFailed, ExitStatus(outcome));
}

TEST_F(StepRunnerTest, InterruptedStepStopsTheJob) {
  const struct {
    int result;
    int status;
  } cases[] = {
      {Killed(SIGINT), 130},
      {Killed(SIGQUIT), 131},
      {Killed(SIGQUIT) | 0x80, 131},  // with a core dump
      {Exited(130), 130},             // the shell's report of a child killed by SIGINT
      {Exited(131), 131},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.result);
    TFakeSystem::commands.clear();
    outcome = TOutcome();
    TFakeSystem::Answer({0, c.result});
    EXPECT_EQ("", Run());
    EXPECT_EQ(2u, TFakeSystem::commands.size());
    EXPECT_EQ(c.status, ExitStatus(outcome));
  }
}

TEST_F(StepRunnerTest, OtherHighExitStatusesAreFailuresNotInterrupts) {
  for (const int code : {129, 137, 143, 255}) {
    EXPECT_EQ(0, InterruptSignal(Exited(code))) << code;
  }
  EXPECT_EQ(0, InterruptSignal(-1));
}

TEST_F(StepRunnerTest, DryRunPrintsEachCommandAndRunsNothing) {
  runsettings.dry_run = true;
  EXPECT_EQ("./indexer  --maxfiles=500\n./runner  --program=report\n./indexer \n", Run());
  EXPECT_TRUE(TFakeSystem::commands.empty());
  EXPECT_EQ(kExitOk, ExitStatus(outcome));
}

TEST_F(StepRunnerTest, VerbosePrintsEachCommandAndHowItEnded) {
  runsettings.verbose = true;
  TFakeSystem::Answer({0, Exited(4), Killed(SIGTERM)});
  const std::string out = Run();
  EXPECT_EQ(kAllThree, TFakeSystem::commands);
  // The durations vary; everything else is fixed.
  const std::vector<std::string> lines = {
      "./indexer  --maxfiles=500\n",
      "Step ./indexer ended with exit status 0 after ",
      "./runner  --program=report\n",
      "Step ./runner ended with exit status 4 after ",
      "./indexer \n",
      "Step ./indexer was killed by signal 15 (Terminated) after ",
  };
  std::size_t pos = 0;
  for (const std::string& line : lines) {
    const std::size_t found = out.find(line, pos);
    ASSERT_NE(std::string::npos, found) << line << " in\n" << out;
    pos = found + line.size();
  }
}

TEST_F(StepRunnerTest, TimedOutStepIsToldAndFailsAndTheNextStillRuns) {
  runsettings.limits.timeout = 7200;
  runsettings.timeout_text = "2h";
  TStepEnd timed_out;
  timed_out.status = Killed(SIGTERM);
  timed_out.timed_out = true;
  TFakeSystem::results = {TStepEnd{0, false}, timed_out};
  EXPECT_EQ("Step \"./runner\" timed out after 2h\n", Run());
  EXPECT_EQ(kAllThree, TFakeSystem::commands);
  ASSERT_EQ(3u, TFakeSystem::limits.size());
  EXPECT_EQ(7200, TFakeSystem::limits[1].timeout.value_or(0));
  EXPECT_EQ(kExitStepFailed, ExitStatus(outcome));
}

TEST_F(StepRunnerTest, ExitOnErrorStopsAfterTheFirstFailedStep) {
  runsettings.exit_on_error = true;
  TStepEnd timed_out;
  timed_out.status = 0;  // a step that exits 0 as its time runs out still failed
  timed_out.timed_out = true;
  const struct {
    const char* what;
    TStepEnd end;
  } cases[] = {
      {"non-zero exit", TStepEnd{Exited(1), false}},
      {"killed", TStepEnd{Killed(SIGKILL), false}},
      {"could not start", TStepEnd{-1, false}},
      {"timed out", timed_out},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TFakeSystem::commands.clear();
    outcome = TOutcome();
    TFakeSystem::results = {TStepEnd{0, false}, c.end};
    Run();
    EXPECT_EQ(2u, TFakeSystem::commands.size());
    EXPECT_EQ(kExitStepFailed, ExitStatus(outcome));
  }
}

TEST_F(StepRunnerTest, StopSignalRunsNoFurtherStep) {
  InstallStopSignals();
  TFakeSystem::Answer({0, Killed(SIGTERM)});
  // The signal comes while the second step runs.
  runsettings.execute = [](const std::string& command, const TStepLimits& limits) {
    if (TFakeSystem::commands.size() == 1) RecordStopSignal(SIGTERM);
    return TFakeSystem::Execute(command, limits);
  };
  EXPECT_EQ("", Run());
  EXPECT_EQ(2u, TFakeSystem::commands.size());
  InstallStopSignals();
}

}  // namespace

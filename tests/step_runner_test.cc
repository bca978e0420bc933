#include "job/step_runner.h"

#include <csignal>
#include <string>
#include <vector>
#include <sys/wait.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/exit_status.h"
#include "core/outcome.h"
#include "core/output.h"
#include "core/run_record.h"
#include "core/stop_signal.h"
#include "fake_system.h"
#include "job/run_files.h"
#include "job/step_list.h"
#include "options/add_commad.h"

namespace {

using testing::ElementsAre;

int Exited(int code) { return code << 8; }
int Killed(int signal_number) { return signal_number; }

TStepResult Stopped(int wait_status, TStepResult::TStop why) {
  return TStepResult::FromWaitStatus(wait_status, why);
}

TStepResult NotStarted() { return TStepResult(); }

class StepRunnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallStopSignals();
    outcome = TOutcome();
    runrecord.emplace();
    settings_.job = "nightly";
    steps_.Append(MakeStep(runfiles[0]));
    AddCommad("MaxFiles 500\n", steps_.last);
    steps_.Append(MakeStep(runfiles[1]));
    AddCommad("Filename report\n", steps_.last);
    steps_.Append(MakeStep(runfiles[0]));
  }
  void TearDown() override {
    runrecord.reset();
    InstallStopSignals();
  }

  std::string Run() {
    testing::internal::CaptureStdout();
    RunSteps(steps_.head.get(), settings_, fake_.Execute(), context_);
    FlushOutput();
    return testing::internal::GetCapturedStdout();
  }

  // The number and attempt of each record, as "2.1".
  std::vector<std::string> Attempts() const {
    std::vector<std::string> attempts;
    for (const TStepRecord& step : runrecord->steps) {
      attempts.push_back(std::to_string(step.number) + "." + std::to_string(step.attempt));
    }
    return attempts;
  }

  TRunSettings settings_;
  TStepsContext context_;
  TFakeSystem fake_;
  TStepList steps_;
};

const std::vector<std::string> kAllThree = {"./indexer  --maxfiles=500",
                                            "./runner  --program=report", "./indexer "};

TEST_F(StepRunnerTest, RunsEveryStepInOrderSilently) {
  EXPECT_EQ("", Run());
  EXPECT_EQ(kAllThree, fake_.Commands());
  EXPECT_EQ(kExitOk, ExitStatus(outcome));
  EXPECT_THAT(Attempts(), ElementsAre("1.1", "2.1", "3.1"));
}

TEST_F(StepRunnerTest, FailingStepIsRecordedAndTheNextStillRuns) {
  for (const int failure : {Exited(1), Exited(127), Killed(SIGTERM), Killed(SIGKILL)}) {
    SCOPED_TRACE(failure);
    fake_.setups.clear();
    outcome = TOutcome();
    fake_.Answer({failure});
    EXPECT_EQ("", Run());
    EXPECT_EQ(kAllThree, fake_.Commands());
    EXPECT_EQ(kExitStepFailed, ExitStatus(outcome));
  }
}

TEST_F(StepRunnerTest, StepThatCannotStartIsReportedAndTheNextStillRuns) {
  fake_.AnswerResults({TStepResult::FromWaitStatus(0), NotStarted()});
  EXPECT_EQ("Error executing \"./runner\"\n", Run());
  EXPECT_EQ(kAllThree, fake_.Commands());
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
  settings_.retry.retries = 3;
  settings_.retry.delay = 0.001;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.result);
    fake_.setups.clear();
    outcome = TOutcome();
    fake_.Answer({0, c.result});
    EXPECT_EQ("", Run());
    // Not retried either.
    EXPECT_EQ(2u, fake_.Commands().size());
    EXPECT_EQ(c.status, ExitStatus(outcome));
  }
}

TEST_F(StepRunnerTest, DryRunPrintsEachCommandFromTheFirstStepAskedForAndRunsNothing) {
  settings_.dry_run = true;
  EXPECT_EQ("./indexer  --maxfiles=500\n./runner  --program=report\n./indexer \n", Run());
  settings_.from_step = 2;
  EXPECT_EQ("./runner  --program=report\n./indexer \n", Run());
  EXPECT_TRUE(fake_.Commands().empty());
  EXPECT_EQ(kExitOk, ExitStatus(outcome));
}

TEST_F(StepRunnerTest, FromStepRunsThatStepAndTheOnesAfterItWithTheirNumbers) {
  settings_.from_step = 2;
  EXPECT_EQ("", Run());
  EXPECT_EQ(std::vector<std::string>(kAllThree.begin() + 1, kAllThree.end()), fake_.Commands());
  EXPECT_THAT(Attempts(), ElementsAre("2.1", "3.1"));
}

TEST_F(StepRunnerTest, VerboseNamesEachStepByNumberWithItsCommandAndHowItEnded) {
  settings_.verbose = true;
  fake_.Answer({0, Exited(4), Killed(SIGTERM)});
  const std::string out = Run();
  EXPECT_EQ(kAllThree, fake_.Commands());
  // The durations vary; everything else is fixed.
  const std::vector<std::string> lines = {
      "Step 1 \"./indexer\" starts: ./indexer  --maxfiles=500\n",
      "Step 1 \"./indexer\" ended with exit status 0 after ",
      "Step 2 \"./runner\" starts: ./runner  --program=report\n",
      "Step 2 \"./runner\" ended with exit status 4 after ",
      "Step 3 \"./indexer\" starts: ./indexer \n",
      "Step 3 \"./indexer\" was killed by signal 15 (Terminated) after ",
  };
  std::size_t pos = 0;
  for (const std::string& line : lines) {
    const std::size_t found = out.find(line, pos);
    ASSERT_NE(std::string::npos, found) << line << " in\n" << out;
    pos = found + line.size();
  }
}

TEST_F(StepRunnerTest, TimedOutStepIsToldAndFailsAndTheNextStillRuns) {
  settings_.limits.timeout = 7200;
  settings_.timeout_text = "2h";
  fake_.AnswerResults(
      {TStepResult::FromWaitStatus(0), Stopped(Killed(SIGTERM), TStepResult::TStop::kTimeout)});
  EXPECT_EQ("Step 2 \"./runner\" timed out after 2h\n", Run());
  EXPECT_EQ(kAllThree, fake_.Commands());
  ASSERT_EQ(3u, fake_.setups.size());
  EXPECT_EQ(7200, fake_.setups[1].limits.timeout.value_or(0));
  EXPECT_EQ(kExitStepFailed, ExitStatus(outcome));
}

TEST_F(StepRunnerTest, ExitOnErrorStopsAfterTheFirstFailedStep) {
  settings_.exit_on_error = true;
  const struct {
    const char* what;
    TStepResult result;
  } cases[] = {
      {"non-zero exit", TStepResult::FromWaitStatus(Exited(1))},
      {"killed", TStepResult::FromWaitStatus(Killed(SIGKILL))},
      {"could not start", NotStarted()},
      // A step that exits 0 as its time runs out still failed.
      {"timed out", Stopped(0, TStepResult::TStop::kTimeout)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fake_.setups.clear();
    outcome = TOutcome();
    fake_.AnswerResults({TStepResult::FromWaitStatus(0), c.result});
    testing::internal::CaptureStdout();
    RunSteps(steps_.head.get(), settings_, fake_.Execute(), context_);
    FlushOutput();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(2u, fake_.Commands().size());
    EXPECT_EQ(kExitStepFailed, ExitStatus(outcome));
  }
}

TEST_F(StepRunnerTest, StopSignalRunsNoFurtherStepOrAttempt) {
  settings_.retry.retries = 2;
  settings_.retry.delay = 0.001;
  fake_.Answer({0, Killed(SIGTERM)});
  // The signal comes while the second step runs.
  const TExecute execute = [this](const TProcessSetup& setup) {
    if (fake_.Commands().size() == 1) RecordStopSignal(SIGTERM);
    return fake_.Run(setup);
  };
  RunSteps(steps_.head.get(), settings_, execute, context_);
  EXPECT_EQ(2u, fake_.Commands().size());
}

TEST_F(StepRunnerTest, FailedStepIsRetriedWithTheSameCommandAndSaysSoEachTime) {
  settings_.retry.retries = 3;
  settings_.retry.delay = 0.001;
  fake_.Answer({Exited(1), Killed(SIGKILL), 0, Exited(2), Exited(2), Exited(2), Exited(2)});
  const std::string out = Run();
  EXPECT_EQ(
      "Step 1 \"./indexer\" failed (exit status 1); attempt 2 of 4 in 0.001s\n"
      "Step 1 \"./indexer\" failed (killed by SIGKILL); attempt 3 of 4 in 0.002s\n"
      "Step 2 \"./runner\" failed (exit status 2); attempt 2 of 4 in 0.001s\n"
      "Step 2 \"./runner\" failed (exit status 2); attempt 3 of 4 in 0.002s\n"
      "Step 2 \"./runner\" failed (exit status 2); attempt 4 of 4 in 0.004s\n",
      out);
  EXPECT_THAT(Attempts(), ElementsAre("1.1", "1.2", "1.3", "2.1", "2.2", "2.3", "2.4", "3.1"));
  EXPECT_EQ(kAllThree[0], fake_.Commands()[2]);
  // Only the last attempt of a step counts: the first step succeeded.
  EXPECT_EQ(2, FirstFailedStep(*runrecord).value_or(0));
  EXPECT_EQ(1, FailedSteps(*runrecord));
  EXPECT_EQ(kExitStepFailed, ExitStatus(outcome));
}

TEST_F(StepRunnerTest, StepThatSucceedsOnItsLastAttemptHasNotFailed) {
  settings_.retry.retries = 1;
  settings_.retry.delay = 0.001;
  settings_.exit_on_error = true;
  fake_.Answer({Exited(1), 0});
  Run();
  // --exit-on-error did not stop the job: the step's last attempt succeeded.
  EXPECT_EQ(std::vector<std::string>({kAllThree[0], kAllThree[0], kAllThree[1], kAllThree[2]}),
            fake_.Commands());
  EXPECT_EQ(kExitOk, ExitStatus(outcome));
}

TEST_F(StepRunnerTest, RetryOnLetsOnlyTheListedFailuresThrough) {
  settings_.retry.retries = 1;
  settings_.retry.delay = 0.001;
  TRetryOn on;
  on.statuses.set(75);
  on.timeout = true;
  settings_.retry.only = on;
  const struct {
    const char* what;
    TStepResult result;
    bool retried;
  } cases[] = {
      {"a listed status", TStepResult::FromWaitStatus(Exited(75)), true},
      {"another status", TStepResult::FromWaitStatus(Exited(1)), false},
      {"its time limit", Stopped(Killed(SIGTERM), TStepResult::TStop::kTimeout), true},
      {"a signal", TStepResult::FromWaitStatus(Killed(SIGKILL)), false},
      {"no start", NotStarted(), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fake_.setups.clear();
    fake_.AnswerResults({c.result});
    testing::internal::CaptureStdout();
    RunSteps(steps_.head.get(), settings_, fake_.Execute(), context_);
    FlushOutput();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(c.retried ? 4u : 3u, fake_.Commands().size());
  }
}

TEST_F(StepRunnerTest, DeadlineEndsTheJobAndIsGivenToEachStep) {
  settings_.job_timeout = 3600;
  settings_.job_timeout_text = "1h";
  settings_.retry.retries = 2;
  context_.deadline = TSteadyClock::now() + std::chrono::hours(1);
  fake_.AnswerResults(
      {TStepResult::FromWaitStatus(0), Stopped(Killed(SIGTERM), TStepResult::TStop::kDeadline)});
  EXPECT_EQ("Job \"nightly\" timed out after 1h\n", Run());
  // Neither retried nor followed by the third step.
  EXPECT_EQ(2u, fake_.Commands().size());
  ASSERT_EQ(2u, fake_.setups.size());
  EXPECT_EQ(context_.deadline, fake_.setups[1].limits.deadline);
  EXPECT_STREQ("timed-out", ResultWord(outcome));
  EXPECT_EQ(kExitStepFailed, ExitStatus(outcome));
}

TEST_F(StepRunnerTest, WaitThatWouldEndPastTheDeadlineIsNotStarted) {
  settings_.job_timeout_text = "5h";
  settings_.retry.retries = 2;
  settings_.retry.delay = 7200;
  context_.deadline = TSteadyClock::now() + std::chrono::hours(1);
  fake_.Answer({Exited(1)});
  EXPECT_EQ("Job \"nightly\" timed out after 5h\n", Run());
  EXPECT_EQ(1u, fake_.Commands().size());
  EXPECT_STREQ("timed-out", ResultWord(outcome));
}

TEST_F(StepRunnerTest, DeadlinePassedBeforeAStepStartsRunsNothingMore) {
  settings_.job_timeout_text = "1s";
  context_.deadline = TSteadyClock::now() - std::chrono::seconds(1);
  EXPECT_EQ("Job \"nightly\" timed out after 1s\n", Run());
  EXPECT_TRUE(fake_.Commands().empty());
  EXPECT_STREQ("timed-out", ResultWord(outcome));
}

TEST_F(StepRunnerTest, StepsGetTheLockDescriptorAndKeepOutputAsAsked) {
  context_.lock_fd = 42;
  settings_.keep_output = 10;
  Run();
  ASSERT_EQ(3u, fake_.setups.size());
  EXPECT_EQ(42, fake_.setups[2].lock_fd);
  EXPECT_NE(nullptr, fake_.setups[0].keep);
  EXPECT_TRUE(fake_.setups[0].pass_on);
  settings_.quiet = true;
  fake_.setups.clear();
  Run();
  EXPECT_FALSE(fake_.setups[0].pass_on);
}

}  // namespace

#include "job/step_runner.h"

#include <csignal>
#include <string>
#include <vector>
#include <sys/wait.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/exit_status.h"
#include "core/run_record.h"
#include "core/stop_signal.h"
#include "fake_listener.h"
#include "fake_system.h"
#include "job/run_files.h"
#include "job/step_list.h"
#include "options/add_commad.h"
#include "temp_dir.h"

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
    settings_.job = "nightly";
    steps_.Append(MakeStep(runfiles[0]));
    AddCommad("MaxFiles 500\n", steps_.last);
    steps_.Append(MakeStep(runfiles[1]));
    AddCommad("Filename report\n", steps_.last);
    steps_.Append(MakeStep(runfiles[0]));
  }
  void TearDown() override { InstallStopSignals(); }

  // Runs the steps afresh, and returns the events told other than the
  // start and end of each attempt.
  std::vector<std::string> Run() { return Run(fake_.Execute()); }
  std::vector<std::string> Run(const TExecute& execute) {
    listener_ = TFakeListener();
    run_.outcome = TOutcome();
    RunSteps(steps_.head.get(), settings_, execute, run_);
    std::vector<std::string> told;
    for (const std::string& event : listener_.events) {
      if (event.rfind("start ", 0) != 0 && event.rfind("end ", 0) != 0) told.push_back(event);
    }
    return told;
  }

  int Status() { return ExitStatus(run_.outcome); }

  // The number and attempt of each attempt that ended, as "2.1".
  std::vector<std::string> Attempts() const {
    std::vector<std::string> attempts;
    for (const TStepRecord& step : listener_.ended) {
      attempts.push_back(std::to_string(step.number) + "." + std::to_string(step.attempt));
    }
    return attempts;
  }

  TRunSettings settings_;
  TFakeListener listener_;
  TRunContext run_{listener_};
  TFakeSystem fake_;
  TStepList steps_;
};

using Events = std::vector<std::string>;

const std::vector<std::string> kAllThree = {"./indexer  --maxfiles=500",
                                            "./runner  --program=report", "./indexer "};

TEST_F(StepRunnerTest, RunsEveryStepInOrderTellingEachAttempt) {
  EXPECT_EQ(Events(), Run());
  EXPECT_EQ(kAllThree, fake_.Commands());
  EXPECT_EQ(kExitOk, Status());
  EXPECT_EQ(Events({"start 1.1 ./indexer  --maxfiles=500 1", "end 1.1 exit status 0",
                    "start 2.1 ./runner  --program=report 1", "end 2.1 exit status 0",
                    "start 3.1 ./indexer  1", "end 3.1 exit status 0"}),
            listener_.events);
}

// A listener that stores the attempts (the history) learns at each start
// all that it needs to know of it.
TEST_F(StepRunnerTest, AnAttemptIsToldAtItsStartWithItsStepKindProgramCommandAndTime) {
  const TWallClock::time_point before = TWallClock::now();
  settings_.from_step = 2;
  Run();
  ASSERT_EQ(2u, listener_.started.size());
  const TStepRecord& second = listener_.started[0];
  EXPECT_EQ(2, second.number);
  EXPECT_EQ(1, second.attempt);
  EXPECT_EQ("Runner", second.kind);
  EXPECT_EQ("./runner", second.program);
  EXPECT_EQ("./runner  --program=report", second.command);
  EXPECT_LE(before, second.start);
  EXPECT_LE(second.start, listener_.started[1].start);
  EXPECT_EQ(second.start, listener_.ended[0].start);
}

TEST_F(StepRunnerTest, FailingStepIsToldAndTheNextStillRuns) {
  for (const int failure : {Exited(1), Exited(127), Killed(SIGTERM), Killed(SIGKILL)}) {
    SCOPED_TRACE(failure);
    fake_.setups.clear();
    fake_.Answer({failure});
    EXPECT_EQ(Events(), Run());
    EXPECT_EQ(kAllThree, fake_.Commands());
    EXPECT_EQ(kExitStepFailed, Status());
    ASSERT_EQ(3u, listener_.ended.size());
    EXPECT_TRUE(listener_.ended[0].result.Failed());
  }
}

TEST_F(StepRunnerTest, StepThatCannotStartIsToldAndTheNextStillRuns) {
  fake_.AnswerResults({TStepResult::FromWaitStatus(0), NotStarted()});
  Run();
  EXPECT_EQ("end 2.1 could not be started", listener_.events[3]);
  EXPECT_EQ(kAllThree, fake_.Commands());
  EXPECT_EQ(kExitStepFailed, Status());
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
    fake_.Answer({0, c.result});
    // Not retried either.
    EXPECT_EQ(Events(), Run());
    EXPECT_EQ(2u, fake_.Commands().size());
    EXPECT_EQ(c.status, Status());
  }
}

TEST_F(StepRunnerTest, DryRunTellsEachCommandFromTheFirstStepAskedForAndRunsNothing) {
  settings_.dry_run = true;
  EXPECT_EQ(Events({"command ./indexer  --maxfiles=500", "command ./runner  --program=report",
                    "command ./indexer "}),
            Run());
  settings_.from_step = 2;
  EXPECT_EQ(Events({"command ./runner  --program=report", "command ./indexer "}), Run());
  EXPECT_TRUE(fake_.Commands().empty());
  EXPECT_EQ(kExitOk, Status());
}

TEST_F(StepRunnerTest, DryRunOfAFileWithErrorsTellsNoCommand) {
  settings_.dry_run = true;
  listener_ = TFakeListener();
  run_.outcome = TOutcome();
  run_.ConfigError("Error at line 3:\nbad\n");
  RunSteps(steps_.head.get(), settings_, fake_.Execute(), run_);
  EXPECT_EQ(Events({"config - Error at line 3:\nbad\n"}), listener_.events);
}

TEST_F(StepRunnerTest, FromStepRunsThatStepAndTheOnesAfterItWithTheirNumbers) {
  settings_.from_step = 2;
  EXPECT_EQ(Events(), Run());
  EXPECT_EQ(std::vector<std::string>(kAllThree.begin() + 1, kAllThree.end()), fake_.Commands());
  EXPECT_THAT(Attempts(), ElementsAre("2.1", "3.1"));
}

TEST_F(StepRunnerTest, EachAttemptEndsWithItsResultAndHowLongItTook) {
  fake_.Answer({0, Exited(4), Killed(SIGTERM)});
  Run();
  EXPECT_EQ(kAllThree, fake_.Commands());
  ASSERT_EQ(3u, listener_.ended.size());
  EXPECT_EQ("exit status 4", listener_.ended[1].result.Cause());
  EXPECT_EQ("killed by SIGTERM", listener_.ended[2].result.Cause());
  for (const TStepRecord& step : listener_.ended) EXPECT_GE(step.seconds, 0);
}

TEST_F(StepRunnerTest, TimedOutStepFailsAndTheNextStillRuns) {
  settings_.limits.timeout = 7200;
  settings_.timeout_text = "2h";
  fake_.AnswerResults(
      {TStepResult::FromWaitStatus(0), Stopped(Killed(SIGTERM), TStepResult::TStop::kTimeout)});
  EXPECT_EQ(Events(), Run());
  EXPECT_EQ("end 2.1 timed out", listener_.events[3]);
  EXPECT_EQ(kAllThree, fake_.Commands());
  ASSERT_EQ(3u, fake_.setups.size());
  EXPECT_EQ(7200, fake_.setups[1].limits.timeout.value_or(0));
  EXPECT_EQ(kExitStepFailed, Status());
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
    fake_.AnswerResults({TStepResult::FromWaitStatus(0), c.result});
    Run();
    EXPECT_EQ(2u, fake_.Commands().size());
    EXPECT_EQ(kExitStepFailed, Status());
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
  EXPECT_EQ(Events(), Run(execute));
  EXPECT_EQ(2u, fake_.Commands().size());
}

TEST_F(StepRunnerTest, FailedStepIsRetriedWithTheSameCommandAndTellsEachWait) {
  settings_.retry.retries = 3;
  settings_.retry.delay = 0.001;
  fake_.Answer({Exited(1), Killed(SIGKILL), 0, Exited(2), Exited(2), Exited(2), Exited(2)});
  EXPECT_EQ(Events({"retry 1.1 of 4 in 0.001", "retry 1.2 of 4 in 0.002", "retry 2.1 of 4 in 0.001",
                    "retry 2.2 of 4 in 0.002", "retry 2.3 of 4 in 0.004"}),
            Run());
  EXPECT_THAT(Attempts(), ElementsAre("1.1", "1.2", "1.3", "2.1", "2.2", "2.3", "2.4", "3.1"));
  EXPECT_EQ(kAllThree[0], fake_.Commands()[2]);
  EXPECT_EQ("start 1.2 ./indexer  --maxfiles=500 4", listener_.events[3]);
  EXPECT_EQ(kExitStepFailed, Status());
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
  EXPECT_EQ(kExitOk, Status());
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
    Run();
    EXPECT_EQ(c.retried ? 4u : 3u, fake_.Commands().size());
  }
}

TEST_F(StepRunnerTest, DeadlineEndsTheJobAndIsGivenToEachStep) {
  settings_.job_timeout = 3600;
  settings_.job_timeout_text = "1h";
  settings_.retry.retries = 2;
  run_.deadline = TSteadyClock::now() + std::chrono::hours(1);
  fake_.AnswerResults(
      {TStepResult::FromWaitStatus(0), Stopped(Killed(SIGTERM), TStepResult::TStop::kDeadline)});
  EXPECT_EQ(Events({"deadline"}), Run());
  // Neither retried nor followed by the third step.
  EXPECT_EQ(2u, fake_.Commands().size());
  ASSERT_EQ(2u, fake_.setups.size());
  EXPECT_EQ(run_.deadline, fake_.setups[1].limits.deadline);
  EXPECT_STREQ("timed-out", ResultWord(run_.outcome));
  EXPECT_EQ(kExitStepFailed, Status());
}

TEST_F(StepRunnerTest, WaitThatWouldEndPastTheDeadlineIsNotStarted) {
  settings_.job_timeout_text = "5h";
  settings_.retry.retries = 2;
  settings_.retry.delay = 7200;
  run_.deadline = TSteadyClock::now() + std::chrono::hours(1);
  fake_.Answer({Exited(1)});
  EXPECT_EQ(Events({"deadline"}), Run());
  EXPECT_EQ(1u, fake_.Commands().size());
  EXPECT_STREQ("timed-out", ResultWord(run_.outcome));
}

TEST_F(StepRunnerTest, DeadlinePassedBeforeAStepStartsRunsNothingMore) {
  settings_.job_timeout_text = "1s";
  run_.deadline = TSteadyClock::now() - std::chrono::seconds(1);
  EXPECT_EQ(Events({"deadline"}), Run());
  EXPECT_TRUE(fake_.Commands().empty());
  EXPECT_STREQ("timed-out", ResultWord(run_.outcome));
}

TEST_F(StepRunnerTest, StepsGetTheLockDescriptorAndKeepOutputAsAsked) {
  TTempDir dir;
  std::string reason;
  std::string notice;
  ASSERT_EQ(TLockResult::kTaken,
            run_.lock.Take(dir.File("run.lock"), std::nullopt, nullptr, reason, notice));
  settings_.keep_output = 10;
  Run();
  ASSERT_EQ(3u, fake_.setups.size());
  EXPECT_EQ(run_.lock.fd(), fake_.setups[2].lock_fd);
  EXPECT_NE(-1, fake_.setups[2].lock_fd);
  EXPECT_NE(nullptr, fake_.setups[0].keep);
  EXPECT_TRUE(fake_.setups[0].pass_on);
  // What was kept of its output is told with the attempt.
  EXPECT_EQ("", listener_.ended[0].output_tail.value_or("none"));
  settings_.quiet = true;
  fake_.setups.clear();
  Run();
  EXPECT_FALSE(fake_.setups[0].pass_on);
}

}  // namespace

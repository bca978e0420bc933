// End-to-end runs of the options that let a failed night recover: a failed
// step run again (--retries, --retry-delay, --retry-on), a deadline for the
// whole run (--job-timeout), a run that resumes from a step (--from-step).

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "e2e_harness.h"

namespace {

using namespace std::chrono_literals;
using testing::HasSubstr;

const std::string kUsage = "Use: velmorjob [--config=filename] Jobname\n See manual for details.\n";

const std::string kBoth =
    "indexer [--maxfiles=500] [--charset=3] [--statistic=1]\nrunner [--program=report]\n";

// A stub body that fails the first `failures` times it runs, and notes when
// each run started and ended (in nanoseconds) in times.
std::string FailsAtFirst(int failures) {
  return "echo start $(date +%s%N) >> times\n"
         "n=$(cat count 2>/dev/null || echo 0); n=$((n + 1)); echo $n > count\n"
         "echo end $(date +%s%N) >> times\n"
         "[ $n -gt " +
         std::to_string(failures) + " ]";
}

class RecoverTest : public E2eTest {
 protected:
  // The seconds between the end of each run of the stub and the start of
  // the next, from its times file.
  std::vector<double> Waits() const {
    std::istringstream in(dir_.Read("times"));
    std::vector<double> waits;
    std::string word;
    long long at = 0;
    long long last_end = -1;
    while (in >> word >> at) {
      if (word == "start" && last_end >= 0) waits.push_back((at - last_end) / 1e9);
      if (word == "end") last_end = at;
    }
    return waits;
  }
};

TEST_F(RecoverTest, StepThatFailsTwiceSucceedsOnItsThirdAttemptAfterWaitsThatDouble) {
  Stub("indexer", FailsAtFirst(2));
  Config(kNightly);
  const TRun run = Run(
      {"--retries=2", "--retry-delay=0.4", "--report=report.json", "--metrics=m.prom", "nightly"});
  Expect(run,
         kBanner +
             "Step 1 \"./indexer\" failed (exit status 1); attempt 2 of 3 in 0.4s\n"
             "Step 1 \"./indexer\" failed (exit status 1); attempt 3 of 3 in 0.8s\n",
         0);
  EXPECT_EQ(
      "indexer [--maxfiles=500] [--charset=3] [--statistic=1]\n"
      "indexer [--maxfiles=500] [--charset=3] [--statistic=1]\n" +
          kBoth,
      Calls());
  // The waits are the delay and twice it, give or take what a busy machine
  // adds; a second wait as long as the first (or four times it) is wrong.
  const std::vector<double> waits = Waits();
  ASSERT_EQ(2u, waits.size());
  EXPECT_GE(waits[0], 0.39);
  EXPECT_LT(waits[0], 0.79);
  EXPECT_GE(waits[1], 0.79);
  EXPECT_LT(waits[1], 1.59);
  Check("check-report", "report.json");
  EXPECT_EQ("[(1, 1, 1), (1, 2, 1), (1, 3, 0), (2, 1, 0)]",
            ReportQuery("report.json",
                        "[(s['number'], s['attempt'], s['exit_status']) for s in r['steps']]"));
  EXPECT_EQ("ok None",
            ReportQuery("report.json", "'%s %s' % (r['result'], r['first_failed_step'])"));
  EXPECT_THAT(dir_.Read("m.prom"),
              HasSubstr("\nvelmorjob_last_run_retries{job_name=\"nightly\"} 2\n"));
  EXPECT_THAT(dir_.Read("m.prom"),
              HasSubstr("\nvelmorjob_last_run_step_exit_status{job_name=\"nightly\",step=\"1\","
                        "program=\"./indexer\"} 0\n"));
}

TEST_F(RecoverTest, StepThatAlwaysFailsFailsTheRunAfterItsLastAttempt) {
  Stub("indexer", "exit 1");
  Config(kNightly);
  const TRun run = Run({"--retries=1", "--retry-delay=0.1", "--report=report.json", "nightly"});
  Expect(run, kBanner + "Step 1 \"./indexer\" failed (exit status 1); attempt 2 of 2 in 0.1s\n", 3);
  // The job goes on after it, as without retries.
  EXPECT_THAT(Calls(), HasSubstr("runner"));
  EXPECT_EQ("step-failed 1 2", ReportQuery("report.json",
                                           "'%s %s %s' % (r['result'], r['first_failed_step'], "
                                           "len([s for s in r['steps'] if s['number'] == 1]))"));
  Check("check-report", "report.json");
}

TEST_F(RecoverTest, EachLaterWaitIsTwiceTheOneBefore) {
  // Three waits: by the third, doubling (0.4s) and adding the delay again
  // (0.3s) part.
  Stub("indexer", "exit 1");
  Config("[Job nightly]\n[Index]\n");
  Expect(Run({"--retries=3", "--retry-delay=0.1", "nightly"}),
         kBanner +
             "Step 1 \"./indexer\" failed (exit status 1); attempt 2 of 4 in 0.1s\n"
             "Step 1 \"./indexer\" failed (exit status 1); attempt 3 of 4 in 0.2s\n"
             "Step 1 \"./indexer\" failed (exit status 1); attempt 4 of 4 in 0.4s\n",
         3);
  const std::string calls = Calls();
  EXPECT_EQ(4, std::count(calls.begin(), calls.end(), '\n'));
}

TEST_F(RecoverTest, InterruptedStepIsNotRetried) {
  Stub("indexer", "kill -INT $$");
  Config(kNightly);
  Expect(Run({"--retries=3", "--retry-delay=0.1", "nightly"}), kBanner, 130);
  EXPECT_EQ("indexer [--maxfiles=500] [--charset=3] [--statistic=1]\n", Calls());
}

TEST_F(RecoverTest, StopSignalDuringAWaitEndsTheRunAtOnce) {
  Stub("indexer", "echo > failed; exit 1");
  Config(kNightly);
  const auto started = std::chrono::steady_clock::now();
  const TStarted run = Start({"--retries=3", "--retry-delay=300", "nightly"});
  AwaitFile("failed");
  std::this_thread::sleep_for(200ms);
  kill(run.pid, SIGTERM);
  Expect(Finish(run),
         kBanner +
             "Step 1 \"./indexer\" failed (exit status 1); attempt 2 of 4 in 5m\n"
             "Job \"nightly\" stopped by SIGTERM\n",
         143);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 100s);
  EXPECT_EQ("indexer [--maxfiles=500] [--charset=3] [--statistic=1]\n", Calls());
}

TEST_F(RecoverTest, RetryOnLetsOneStatusThroughAndNotAnother) {
  Config("[Job nightly]\n[Index]\n");
  const struct {
    const char* body;
    std::string out;
    int status;
    std::size_t attempts;
  } cases[] = {
      {"exit 75", "Step 1 \"./indexer\" failed (exit status 75); attempt 2 of 2 in 0.1s\n", 3, 2},
      {"exit 1", "", 3, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    unlink(dir_.File("calls.log").c_str());
    Stub("indexer", c.body);
    Expect(Run({"--retries=1", "--retry-delay=0.1", "--retry-on=75,timeout", "nightly"}),
           kBanner + c.out, c.status);
    const std::string calls = Calls();
    EXPECT_EQ(c.attempts, static_cast<std::size_t>(std::count(calls.begin(), calls.end(), '\n')));
  }
}

TEST_F(RecoverTest, DeadlineStopsTheRunningStepAndStartsNothingAfterIt) {
  Stub("indexer", "echo $$ >> pids; sleep 300 & echo $! >> pids; wait");
  Config(kNightly);
  const TRun run = Run({"--job-timeout=0.5", "--kill-after=1", "--report=report.json", "nightly"});
  EXPECT_EQ(kBanner + "Job \"nightly\" timed out after 0.5\n", run.out);
  EXPECT_EQ(3, run.status);
  EXPECT_EQ("indexer [--maxfiles=500] [--charset=3] [--statistic=1]\n", Calls());
  Check("check-report", "report.json");
  EXPECT_EQ("timed-out 1 True", ReportQuery("report.json",
                                            "'%s %s %s' % (r['result'], r['first_failed_step'], "
                                            "r['steps'][0]['timed_out'])"));
  // Nothing of the step is left.
  std::istringstream pids(dir_.Read("pids"));
  for (long pid; pids >> pid;) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (kill(static_cast<pid_t>(pid), 0) == 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(10ms);
    }
    EXPECT_NE(0, kill(static_cast<pid_t>(pid), 0)) << "process " << pid << " still runs";
  }
}

TEST_F(RecoverTest, StepTimeLimitAndDeadlineEachStopAStepWhicheverComesFirst) {
  Stub("indexer", "sleep 300");
  Config("[Job nightly]\n[Index]\n[Index]\n[Runner]\n");
  // The step's own limit first: the job goes on to the next step, which
  // the deadline stops.
  const TRun run = Run({"--timeout=1", "--job-timeout=1.6", "nightly"});
  EXPECT_EQ(kBanner +
                "Step 1 \"./indexer\" timed out after 1\n"
                "Job \"nightly\" timed out after 1.6\n",
            run.out);
  EXPECT_EQ(3, run.status);
  EXPECT_EQ("indexer\nindexer\n", Calls());
}

TEST_F(RecoverTest, WaitThatWouldEndPastTheDeadlineIsNotStarted) {
  Stub("indexer", "exit 1");
  Config(kNightly);
  const auto started = std::chrono::steady_clock::now();
  Expect(Run({"--retries=3", "--retry-delay=60", "--job-timeout=30", "nightly"}),
         kBanner + "Job \"nightly\" timed out after 30\n", 3);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 25s);
  EXPECT_EQ("indexer [--maxfiles=500] [--charset=3] [--statistic=1]\n", Calls());
}

TEST_F(RecoverTest, FromStepRunsThatStepAndTheOnesAfterIt) {
  Config(
      "[Job nightly]\n[Index]\nMaxFiles 1\n[Index]\nMaxFiles 2\n[Runner]\nFilename r\n"
      "[Job weekly]\n");
  Expect(Run({"--from-step=2", "--report=report.json", "nightly"}), kBanner, 0);
  EXPECT_EQ("indexer [--maxfiles=2]\nrunner [--program=r]\n", Calls());
  EXPECT_EQ(
      "2 [2, 3]",
      ReportQuery("report.json", "'%s %s' % (r['from_step'], [s['number'] for s in r['steps']])"));
  Check("check-report", "report.json");
  // A dry run prints what the run would run.
  Expect(Run({"--dry-run", "--from-step=3", "nightly"}), "./runner  --program=r\n", 0);
}

TEST_F(RecoverTest, FromStepPastTheLastStepIsAConfigurationError) {
  Config(kNightly);
  Expect(Run({"--from-step=3", "nightly"}),
         kBanner + "Job \"nightly\" has 2 steps; --from-step=3 names none\n", 2);
  Config("[Job nightly]\n[Runner]\n");
  Expect(Run({"--from-step=2", "nightly"}),
         kBanner + "Job \"nightly\" has 1 step; --from-step=2 names none\n", 2);
  Expect(Run({"--dry-run", "--from-step=2", "nightly"}), "",
         "Job \"nightly\" has 1 step; --from-step=2 names none\n", 2);
  EXPECT_FALSE(dir_.Exists("calls.log"));
}

TEST_F(RecoverTest, BadValuesAreUsageErrorsAndNothingIsRead) {
  // No configuration file: reading it would say so.
  const struct {
    const char* arg;
    std::string message;
  } cases[] = {
      {"--retries=x", "Invalid number \"x\" for --retries: give a whole number from 0 to 100"},
      {"--retry-delay=-1",
       "Invalid duration \"-1\" for --retry-delay: give a positive number with an optional unit "
       "s, m, h or d"},
      {"--retry-on=oops",
       "Invalid list \"oops\" for --retry-on: give exit statuses from 1 to 255 and the words "
       "timeout, signal and start, separated by commas"},
      {"--from-step=0", "Invalid step number \"0\" for --from-step: give a whole number from 1 on"},
      {"--job-timeout=0",
       "Invalid duration \"0\" for --job-timeout: give a positive number with an optional unit "
       "s, m, h or d"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arg);
    Expect(Run({c.arg, "nightly"}), kBanner + c.message + "\n" + kUsage, 1);
  }
}

}  // namespace

// End-to-end runs of the options for unattended runs: time limits, stop
// signals passed on to the running step, the run lock and --exit-on-error.
// Steps record the processes they start, and the tests check that none of
// them is left when the program has ended.

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
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

// Whether the process has ended. A zombie has: only its parent has not
// looked at it yet (and init may be slow to, or never do it, in a container).
bool Ended(pid_t pid) {
  if (kill(pid, 0) != 0) return errno == ESRCH;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string fields;
  std::getline(stat, fields);
  const std::size_t after_name = fields.rfind(')');
  return after_name != std::string::npos && fields.substr(after_name + 2, 1) == "Z";
}

// Whether the process waits in open() for a named pipe's writer.
bool WaitsForAWriter(pid_t pid) {
  std::ifstream wchan("/proc/" + std::to_string(pid) + "/wchan");
  std::string where;
  std::getline(wchan, where);
  return where == "wait_for_partner";
}

// Whether the process waits in read() for a pipe's writer to write more.
bool WaitsToRead(pid_t pid) {
  std::ifstream wchan("/proc/" + std::to_string(pid) + "/wchan");
  std::string where;
  std::getline(wchan, where);
  return where.find("pipe_read") != std::string::npos;
}

class UnattendedTest : public E2eTest {
 protected:
  // The process ids a step wrote, one per line, to the file.
  std::vector<pid_t> Pids(const std::string& name) const {
    std::vector<pid_t> pids;
    std::istringstream in(dir_.Read(name));
    for (long pid; in >> pid;) pids.push_back(static_cast<pid_t>(pid));
    return pids;
  }

  // Every process the step recorded has ended, allowing a moment for a
  // SIGKILL sent last to take effect.
  void ExpectAllEnded(const std::string& name) {
    const std::vector<pid_t> pids = Pids(name);
    ASSERT_FALSE(pids.empty());
    for (const pid_t pid : pids) {
      const auto deadline = std::chrono::steady_clock::now() + 5s;
      while (!Ended(pid) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(5ms);
      }
      EXPECT_TRUE(Ended(pid)) << "process " << pid << " of the step still runs";
      if (!Ended(pid)) kill(pid, SIGKILL);
    }
  }
};

// A step that records in pids its shell, a background process it starts and
// the program it runs in the foreground, then runs for a long time. The
// program notes in got each stop signal that reaches it, and says ready
// once it is waiting.
const char kLongStep[] =
    "echo $$ >> pids\n"
    "sleep 300 & echo $! >> pids\n"
    "sh -c 'echo $$ >> pids\n"
    "  for s in TERM HUP INT QUIT; do trap \"echo $s >> got; exit 1\" $s; done\n"
    "  echo > ready\n"
    "  while :; do sleep 0.05; done'";

TEST_F(UnattendedTest, StepThatRunsInTimeIsUntouched) {
  Stub("indexer", "sleep 0.2; echo in time");
  Config(kNightly);
  Expect(Run({"--timeout=60", "--kill-after=1", "nightly"}), kBanner + "in time\n", 0);
  EXPECT_EQ("indexer [--maxfiles=500] [--charset=3] [--statistic=1]\nrunner [--program=report]\n",
            Calls());
}

TEST_F(UnattendedTest, StepOverItsTimeIsEndedWithEverythingItStartedAndTheJobGoesOn) {
  Stub("indexer", kLongStep);
  Config(kNightly);
  // Long enough for the program to be waiting when its time is up.
  const TRun run = Run({"--timeout=1.5", "nightly"});
  EXPECT_EQ(kBanner + "Step 1 \"./indexer\" timed out after 1.5\n", run.out);
  EXPECT_EQ(3, run.status);
  EXPECT_THAT(run.err, testing::MatchesRegex("(|.*Terminated\n)"));
  // SIGTERM reached the program under the shell, not only the shell.
  EXPECT_EQ("TERM\n", dir_.Read("got"));
  ExpectAllEnded("pids");
  // A timed-out step is a failed step: the next one still runs.
  EXPECT_EQ("indexer [--maxfiles=500] [--charset=3] [--statistic=1]\nrunner [--program=report]\n",
            Calls());
}

TEST_F(UnattendedTest, StepThatIgnoresSigtermIsKilledAfterKillAfter) {
  // The ignored SIGTERM is inherited by everything the step starts.
  Stub("indexer",
       "trap '' TERM\necho $$ >> pids\nsleep 300 & echo $! >> pids\n"
       "sh -c 'echo $$ >> pids; sleep 300'");
  Config(kNightly);
  const TRun run = Run({"--timeout=0.2", "--kill-after=0.3", "--exit-on-error", "nightly"});
  EXPECT_EQ(kBanner + "Step 1 \"./indexer\" timed out after 0.2\n", run.out);
  EXPECT_EQ(3, run.status);
  ExpectAllEnded("pids");
  EXPECT_EQ("indexer [--maxfiles=500] [--charset=3] [--statistic=1]\n", Calls());
}

TEST_F(UnattendedTest, StoppedStepIsContinuedToRunItsTrapWhenItsTimeIsUp) {
  // The step's program stops itself before its time is up (a program
  // under the step's shell, which velmorjob does not watch for stops).
  // SIGTERM waits in a stopped process: only the SIGCONT sent after it lets
  // the trap run before the SIGKILL, which --kill-after puts far off.
  Stub("indexer", "sh -c 'trap \"echo TERM > marker; exit 1\" TERM; kill -STOP $$'");
  Config(kNightly);
  const TRun run = Run({"--timeout=1", "--kill-after=30", "nightly"});
  EXPECT_EQ(kBanner + "Step 1 \"./indexer\" timed out after 1\n", run.out);
  EXPECT_EQ(3, run.status);
  EXPECT_THAT(run.err, testing::MatchesRegex("(|.*Terminated\n)"));
  EXPECT_EQ("TERM\n", dir_.Read("marker"));
  EXPECT_EQ("indexer [--maxfiles=500] [--charset=3] [--statistic=1]\nrunner [--program=report]\n",
            Calls());
}

TEST_F(UnattendedTest, StepKilledAfterItIgnoredAStopSignalLeavesNoZombieBehind) {
  // The step's program ignores SIGTERM and is killed after --kill-after;
  // velmorjob reaps it before it ends rather than leaving it to init.
  Stub("indexer", "trap '' TERM\nsh -c 'echo $$ >> pids; echo > ready; sleep 300'");
  Config(kNightly);
  const TStarted started = Start({"--kill-after=0.3", "nightly"});
  AwaitFile("ready");
  kill(started.pid, SIGTERM);
  EXPECT_EQ(143, Finish(started).status);
  for (const pid_t pid : Pids("pids")) {
    // Not even a zombie: it is gone.
    EXPECT_NE(0, kill(pid, 0)) << "process " << pid << " is left";
  }
}

TEST_F(UnattendedTest, TimeoutMessageUsesTheLimitAsWritten) {
  Stub("indexer", "sleep 300");
  Config("[Job nightly]\n[Index]\n");
  for (const char* limit : {"0.25", ".25s", "0.005m"}) {
    SCOPED_TRACE(limit);
    const TRun run = Run({std::string("--timeout=") + limit, "nightly"});
    EXPECT_EQ(kBanner + "Step 1 \"./indexer\" timed out after " + limit + "\n", run.out);
    EXPECT_EQ(3, run.status);
  }
}

TEST_F(UnattendedTest, BadDurationIsAUsageErrorAndNothingIsRead) {
  const struct {
    const char* arg;
    std::string message;
  } cases[] = {
      {"--timeout=0", "Invalid duration \"0\" for --timeout"},
      {"--timeout=0s", "Invalid duration \"0s\" for --timeout"},
      {"--timeout=-5", "Invalid duration \"-5\" for --timeout"},
      {"--timeout=5x", "Invalid duration \"5x\" for --timeout"},
      {"--timeout=1e3", "Invalid duration \"1e3\" for --timeout"},
      {"--timeout=5 s", "Invalid duration \"5 s\" for --timeout"},
      {"--timeout=", "Invalid duration \"\" for --timeout"},
      {"--kill-after=soon", "Invalid duration \"soon\" for --kill-after"},
      {"--kill-after=1.2.3", "Invalid duration \"1.2.3\" for --kill-after"},
  };
  // No configuration file: reading it would say so.
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arg);
    Expect(Run({c.arg, "nightly"}),
           kBanner + c.message + ": give a positive number with an optional unit s, m, h or d\n" +
               kUsage,
           1);
  }
  Expect(Run({"--timeout", "nightly"}),
         kBanner + "Option --timeout needs a value: --timeout=DURATION\n" + kUsage, 1);
  Expect(Run({"--report=", "nightly"}),
         kBanner + "Option --report needs a file name: --report=FILE\n" + kUsage, 1);
}

TEST_F(UnattendedTest, StopSignalIsPassedToTheStepsGroupAndNoLaterStepStarts) {
  const struct {
    int signal_number;
    const char* name;
    int status;
  } cases[] = {
      {SIGTERM, "SIGTERM", 143},
      {SIGHUP, "SIGHUP", 129},
      {SIGINT, "SIGINT", 130},
      {SIGQUIT, "SIGQUIT", 131},
  };
  Stub("indexer", kLongStep);
  Config(kNightly);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const char* file : {"pids", "got", "ready", "calls.log"}) unlink(dir_.File(file).c_str());
    // A short --kill-after: the background sleep ignores SIGINT and SIGQUIT,
    // as background processes of a script do.
    const TStarted started = Start({"--kill-after=0.5", "nightly"});
    AwaitFile("ready");
    kill(started.pid, c.signal_number);
    const TRun run = Finish(started);
    EXPECT_EQ(kBanner + "Job \"nightly\" stopped by " + c.name + "\n", run.out);
    EXPECT_EQ(c.status, run.status);
    // The signal itself reached the program under the step's shell.
    EXPECT_EQ(c.name + 3 + std::string("\n"), dir_.Read("got"));
    ExpectAllEnded("pids");
    EXPECT_EQ("indexer [--maxfiles=500] [--charset=3] [--statistic=1]\n", Calls());
  }
}

TEST_F(UnattendedTest, StopSignalWhileTheFileIsReadStopsAtOnce) {
  // A named pipe that no one writes: the open waits until the signal comes.
  ASSERT_EQ(0, mkfifo(dir_.File("pipe.conf").c_str(), 0600));
  const TStarted started = Start({"--config=pipe.conf", "nightly"});
  // Signalled before it waits (its start may be slow, under valgrind say),
  // the program would end by the signal itself, not by its own choice.
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (!WaitsForAWriter(started.pid) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(5ms);
  }
  kill(started.pid, SIGTERM);
  Expect(Finish(started), kBanner + "Job \"nightly\" stopped by SIGTERM\n", 143);

  // Opened, and part of a section written: the read waits for the rest.
  const TStarted reading = Start({"--config=pipe.conf", "nightly"});
  std::ofstream writer(dir_.File("pipe.conf"));
  writer << "[Job nightly]\n[Index]\n" << std::flush;
  std::this_thread::sleep_for(200ms);
  kill(reading.pid, SIGHUP);
  Expect(Finish(reading), kBanner + "Job \"nightly\" stopped by SIGHUP\n", 129);
  EXPECT_FALSE(dir_.Exists("calls.log"));
}

TEST_F(UnattendedTest, StoppedCheckAndListSayNothingThatLooksLikeAWholeAnswer) {
  ASSERT_EQ(0, mkfifo(dir_.File("pipe.conf").c_str(), 0600));
  const struct {
    const char* mode;
    std::string out;
  } cases[] = {
      {"--check", kBanner + "Error at line 3:\nBogus 1\npipe.conf:3: error: unknown key \"Bogus\" "
                            "for an Index step\n"},
      {"--list", "a\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    // Part of the file arrives; the rest never does.
    const TStarted started = Start({c.mode, "--config=pipe.conf"});
    std::ofstream writer(dir_.File("pipe.conf"));
    writer << "[Job a]\n[Index]\nBogus 1\n" << std::flush;
    // Signalled once it has read that and waits for more.
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (!WaitsToRead(started.pid) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(5ms);
    }
    kill(started.pid, SIGTERM);
    Expect(Finish(started), c.out, std::string("velmorjob: ") + c.mode + " stopped by SIGTERM\n",
           143);
  }
}

TEST_F(UnattendedTest, SecondRunWhileTheFirstHoldsTheLockRunsNothing) {
  Stub("indexer", "echo $$ > started; while [ ! -e go ]; do sleep 0.02; done");
  Config(kNightly);
  const TStarted first = Start({"--lock", "nightly"});
  AwaitFile("started");

  TStarted second = StartWithOutputTo(dir_.File("second.out"), {"--lock", "nightly"});
  const TRun held = Finish(second);
  EXPECT_EQ(75, held.status);
  EXPECT_EQ(
      kBanner + "Job \"nightly\" not run: lock file [.velmorjob.lock] is held by another run\n",
      dir_.Read("second.out"));
  // Modes that run nothing take no lock.
  const TRun dry = RunWithOutputTo(dir_.File("dry.out"), {"--lock", "--dry-run", "nightly"});
  EXPECT_EQ(0, dry.status);

  dir_.Write("go", "");
  EXPECT_EQ(0, Finish(first).status);
  EXPECT_EQ("indexer [--maxfiles=500] [--charset=3] [--statistic=1]\nrunner [--program=report]\n",
            Calls());

  // Free again once the first has ended; the file stays.
  Expect(Run({"--lock", "nightly"}), kBanner, 0);
  struct stat lock = {};
  ASSERT_EQ(0, stat(dir_.File(".velmorjob.lock").c_str(), &lock));
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(0600 & ~mask, lock.st_mode & 0777);
}

TEST_F(UnattendedTest, LockWaitTakesTheLockWhenItIsLetGoOrGivesUpAfterItsTime) {
  Stub("indexer", "echo > started; while [ ! -e go ]; do sleep 0.02; done");
  Config("[Job nightly]\n[Index]\n");
  const TStarted first = Start({"--lock", "nightly"});
  AwaitFile("started");
  // Gives up after its time.
  const auto started = std::chrono::steady_clock::now();
  const TRun gave_up =
      RunWithOutputTo(dir_.File("second.out"), {"--lock", "--lock-wait=0.5", "nightly"});
  EXPECT_EQ(75, gave_up.status);
  EXPECT_GE(std::chrono::steady_clock::now() - started, 500ms);
  EXPECT_EQ(
      kBanner + "Job \"nightly\" not run: lock file [.velmorjob.lock] is held by another run\n",
      dir_.Read("second.out"));
  // Waits, and runs once the first has let go.
  unlink(dir_.File("started").c_str());
  const TStarted waiting =
      StartWithOutputTo(dir_.File("third.out"), {"--lock", "--lock-wait=1m", "nightly"});
  std::this_thread::sleep_for(300ms);
  EXPECT_FALSE(dir_.Exists("started"));
  dir_.Write("go", "");
  EXPECT_EQ(0, Finish(first).status);
  EXPECT_EQ(0, Finish(waiting).status);
  EXPECT_TRUE(dir_.Exists("started"));
  EXPECT_EQ(kBanner, dir_.Read("third.out"));
}

TEST_F(UnattendedTest, StopSignalWhileWaitingForTheLockEndsTheRunAtOnce) {
  Stub("indexer", "echo > started; while [ ! -e go ]; do sleep 0.02; done");
  Config("[Job nightly]\n[Index]\n");
  const TStarted first = Start({"--lock", "nightly"});
  AwaitFile("started");
  unlink(dir_.File("started").c_str());
  const auto started = std::chrono::steady_clock::now();
  const TStarted waiting =
      StartWithOutputTo(dir_.File("second.out"), {"--lock", "--lock-wait=5m", "nightly"});
  // The banner shows once it waits.
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (dir_.Read("second.out") != kBanner && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(5ms);
  }
  std::this_thread::sleep_for(100ms);
  kill(waiting.pid, SIGTERM);
  EXPECT_EQ(143, Finish(waiting).status);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 60s);
  EXPECT_EQ(kBanner + "Job \"nightly\" stopped by SIGTERM\n", dir_.Read("second.out"));
  EXPECT_FALSE(dir_.Exists("started"));
  dir_.Write("go", "");
  EXPECT_EQ(0, Finish(first).status);
}

TEST_F(UnattendedTest, StepHoldsTheLockOnDescriptor9AndOnlyThere) {
  // Each step lists the files it has open, by descriptor.
  Stub("indexer",
       "readlink /proc/$$/fd/9 > fd9\n"
       "for fd in /proc/$$/fd/*; do readlink \"$fd\"; done | grep -c my.lock > count; true");
  Config("[Job nightly]\n[Index]\n");
  Expect(Run({"--lock=my.lock", "nightly"}), kBanner, 0);
  EXPECT_EQ(dir_.File("my.lock") + "\n", dir_.Read("fd9"));
  // Only that one descriptor of the lock: velmorjob's own copy is closed
  // on exec.
  EXPECT_EQ("1\n", dir_.Read("count"));
  // Without --lock, descriptor 9 is not open.
  unlink(dir_.File("fd9").c_str());
  unlink(dir_.File("count").c_str());
  Expect(Run({"nightly"}), kBanner, 0);
  EXPECT_EQ("", dir_.Read("fd9"));
}

TEST_F(UnattendedTest, StepOfARunKilledOutrightKeepsTheLockUntilItEnds) {
  // The step runs on when velmorjob is killed with SIGKILL (as by the OOM
  // killer), and ends once told to.
  Stub("indexer", "echo > started; while [ ! -e go ]; do sleep 0.02; done; echo > ended");
  Config("[Job nightly]\n[Index]\n");
  const TStarted first = Start({"--lock", "nightly"});
  AwaitFile("started");
  kill(first.pid, SIGKILL);
  EXPECT_EQ(128 + SIGKILL, Finish(first).status);
  // The step still runs, and still holds the lock.
  const TRun held = RunWithOutputTo(dir_.File("second.out"), {"--lock", "nightly"});
  EXPECT_EQ(75, held.status);
  EXPECT_FALSE(dir_.Exists("ended"));
  dir_.Write("go", "");
  AwaitFile("ended");
  // Once it has ended, the lock is free: wait for it (the step's shell may
  // take a moment to exit after writing).
  TRun after;
  for (int attempt = 0; attempt < 500; ++attempt) {
    after = RunWithOutputTo(dir_.File("third.out"), {"--lock", "nightly"});
    if (after.status != 75) break;
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_EQ(0, after.status);
  EXPECT_EQ(kBanner, dir_.Read("third.out"));
}

TEST_F(UnattendedTest, LockFileThatCannotBeOpenedIsAConfigurationError) {
  Config(kNightly);
  Expect(
      Run({"--lock=no/such/dir/x.lock", "nightly"}),
      kBanner + "Lock file [no/such/dir/x.lock] could not be opened: No such file or directory\n",
      2);
  EXPECT_FALSE(dir_.Exists("calls.log"));
}

TEST_F(UnattendedTest, ExitOnErrorRunsNoStepAfterAFailedOne) {
  const struct {
    const char* what;
    const char* indexer;
    std::vector<std::string> args;
    std::string out;
  } cases[] = {
      {"non-zero exit", "exit 1", {"--exit-on-error", "nightly"}, ""},
      {"killed", "kill -KILL $$", {"nightly", "--exit-on-error"}, ""},
      {"timed out",
       "sleep 300",
       {"--exit-on-error", "--timeout=0.1s", "nightly"},
       "Step 1 \"./indexer\" timed out after 0.1s\n"},
  };
  Config(kNightly);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    unlink(dir_.File("calls.log").c_str());
    Stub("indexer", c.indexer);
    const TRun run = Run(c.args);
    EXPECT_EQ(kBanner + c.out, run.out);
    EXPECT_EQ(3, run.status);
    EXPECT_EQ("indexer [--maxfiles=500] [--charset=3] [--statistic=1]\n", Calls());
  }
  // Without it, the runner still runs after a failed indexer.
  unlink(dir_.File("calls.log").c_str());
  Stub("indexer", "exit 1");
  EXPECT_EQ(3, Run({"nightly"}).status);
  EXPECT_THAT(Calls(), HasSubstr("runner"));
}

}  // namespace

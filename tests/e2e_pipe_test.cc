// End-to-end runs with standard output on a pipe: a reader that goes away
// costs a run an output error and nothing else, a step's own pipes behave
// as they would without velmorjob, and a write that waits on a full pipe
// does not keep a stopped run from ending.

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "e2e_harness.h"

namespace {

using namespace std::chrono_literals;
using testing::HasSubstr;

using PipeTest = E2eTest;

// Where a process waits in the kernel.
std::string WaitsIn(pid_t pid) {
  std::ifstream wchan("/proc/" + std::to_string(pid) + "/wchan");
  std::string where;
  std::getline(wchan, where);
  return where;
}

TEST_F(PipeTest, ReaderThatGoesAwayCostsTheRunAnOutputErrorAndNotItsSteps) {
  // As with velmorjob --verbose nightly | head -c1: the reader takes one
  // byte and leaves while the first step runs.
  Stub("indexer", "while [ ! -e gone ]; do sleep 0.02; done");
  Config(kNightly);
  int ends[2];
  ASSERT_EQ(0, pipe2(ends, O_CLOEXEC));
  const TStarted run = StartWithOutputOn(
      ends[1], {"--verbose", "--report=report.json", "--metrics=m.prom", "nightly"});
  close(ends[1]);
  char byte = 0;
  ASSERT_EQ(1, read(ends[0], &byte, 1));
  close(ends[0]);
  dir_.Write("gone", "");
  const TRun ended = Finish(run);
  EXPECT_EQ(4, ended.status);
  EXPECT_EQ("velmorjob: cannot write output: Broken pipe\n", ended.err);
  EXPECT_EQ("indexer [--maxfiles=500] [--charset=3] [--statistic=1]\nrunner [--program=report]\n",
            Calls());
  EXPECT_EQ("4 output-error",
            ReportQuery("report.json", "'%s %s' % (r['exit_status'], r['result'])"));
  EXPECT_THAT(dir_.Read("m.prom"), HasSubstr("velmorjob_last_run_exit_status{"));
}

TEST_F(PipeTest, StepGetsTheSigpipeDispositionVelmorjobStartedWith) {
  // The step writes into a pipe whose reader has gone: by default it dies
  // of SIGPIPE there, as it would without velmorjob; it lives on when
  // velmorjob itself was started with SIGPIPE ignored.
  Stub("indexer", "(sleep 0.2; echo data; echo > survived) | true; sleep 0.4");
  Config("[Job nightly]\n[Index]\n");
  for (const bool ignored : {false, true}) {
    SCOPED_TRACE(ignored ? "ignored" : "default");
    unlink(dir_.File("survived").c_str());
    const int out = open(dir_.File("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(out, 0);
    const TRun run = Finish(StartWithOutputOn(out, {"nightly"}, ignored));
    close(out);
    EXPECT_EQ(0, run.status);
    EXPECT_EQ(ignored, dir_.Exists("survived"));
  }
}

TEST_F(PipeTest, StopSignalWhileItsOwnWriteWaitsOnAFullPipeStartsNoFurtherStep) {
  // Once what velmorjob wrote first has been read, the step fills the pipe,
  // which no one reads from then on: velmorjob's next line waits.
  Stub("indexer",
       "while [ ! -e drained ]; do sleep 0.02; done; head -c 65536 /dev/zero; echo > filled");
  Config(kNightly);
  int ends[2];
  ASSERT_EQ(0, pipe2(ends, O_CLOEXEC));
  const TStarted run = StartWithOutputOn(ends[1], {"--verbose", "nightly"});
  close(ends[1]);
  std::string first;
  while (first.find("starts: ./indexer") == std::string::npos ||
         first.find('\n', first.find("starts: ./indexer")) == std::string::npos) {
    char buffer[4096];
    const ssize_t got = read(ends[0], buffer, sizeof buffer);
    ASSERT_GT(got, 0);
    first.append(buffer, static_cast<std::size_t>(got));
  }
  dir_.Write("drained", "");
  AwaitFile("filled");
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (WaitsIn(run.pid).find("pipe_write") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(5ms);
  }
  kill(run.pid, SIGTERM);
  const TRun ended = Finish(run);
  close(ends[0]);
  EXPECT_EQ(143, ended.status);
  EXPECT_EQ("", ended.err);
  EXPECT_EQ("indexer [--maxfiles=500] [--charset=3] [--statistic=1]\n", Calls());
}

TEST_F(PipeTest, StepFloodingAPipeNoOneReadsStillHearsAStopSignal) {
  // The step's output goes on into a pipe that no one reads: velmorjob keeps
  // what the pipe does not take and waits for it and for the signals
  // together, so that SIGTERM still reaches the step, and the run ends.
  Stub("indexer", "echo > started; exec yes");
  Config(kNightly);
  int ends[2];
  ASSERT_EQ(0, pipe2(ends, O_CLOEXEC));
  const TStarted run = StartWithOutputOn(ends[1], {"--keep-output=1K", "nightly"});
  close(ends[1]);
  AwaitFile("started");
  // Until the pipe is full and velmorjob waits; a write that blocked would
  // wait in pipe_write instead, and take no signal.
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (WaitsIn(run.pid).find("poll") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(5ms);
  }
  std::this_thread::sleep_for(200ms);
  kill(run.pid, SIGTERM);
  const TRun ended = Finish(run);
  close(ends[0]);
  EXPECT_EQ(143, ended.status);
  EXPECT_EQ("indexer [--maxfiles=500] [--charset=3] [--statistic=1]\n", Calls());
}

TEST_F(PipeTest, OutputPassedOnToASlowReaderArrivesWhole) {
  // The step writes more than the pipes between it and the reader hold, and
  // ends while the rest waits in them: what was still in its pipe when it
  // ended is passed on too.
  std::string bytes;
  for (int i = 0; i < 300000; ++i) bytes += static_cast<char>('a' + i % 26);
  dir_.Write("out.bin", bytes);
  Stub("indexer", "cat out.bin");
  Config("[Job nightly]\n[Index]\n");
  int ends[2];
  ASSERT_EQ(0, pipe2(ends, O_CLOEXEC));
  const TStarted run = StartWithOutputOn(ends[1], {"--keep-output=1K", "nightly"});
  close(ends[1]);
  std::string got;
  char buffer[4096];
  for (ssize_t n; (n = read(ends[0], buffer, sizeof buffer)) > 0;) {
    got.append(buffer, static_cast<std::size_t>(n));
    std::this_thread::sleep_for(1ms);
  }
  close(ends[0]);
  EXPECT_EQ(0, Finish(run).status);
  EXPECT_TRUE(kBanner + bytes == got) << got.size() << " bytes instead of " << bytes.size();
}

}  // namespace

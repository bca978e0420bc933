#include "core/output.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/stop_signal.h"

namespace {

class OutputTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetOutput(); }
  void TearDown() override { ResetOutput(); }

  // What the calls wrote to standard output and standard error.
  template <typename TCalls>
  std::pair<std::string, std::string> Written(TCalls calls) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    calls();
    FlushOutput();
    const std::string err = testing::internal::GetCapturedStderr();
    return {testing::internal::GetCapturedStdout(), err};
  }
};

TEST_F(OutputTest, MessagesGoWhereTheRunSendsThem) {
  EXPECT_EQ(std::make_pair(std::string("a\nb\n"), std::string("E\n")), Written([] {
              Say(TPriority::kInfo, "a\n");
              SayError(TPriority::kError, "E\n");
              Print("b\n");
            }));
  // A dry run: messages on standard error, the data alone on standard output.
  EXPECT_EQ(std::make_pair(std::string("./indexer \n"), std::string("Error\nE\n")), Written([] {
              SetMessages(TMessages::kStandardError);
              Say(TPriority::kInfo, "Error\n");
              Print("./indexer \n");
              SayError(TPriority::kError, "E\n");
            }));
}

TEST_F(OutputTest, KeptMessagesAreWrittenInTheirOrderOrNotAtAll) {
  EXPECT_EQ(std::make_pair(std::string("one\nthree\nfour\nafter\n"), std::string("two\n")),
            Written([] {
              SetMessages(TMessages::kKept);
              Say(TPriority::kInfo, "one\n");
              SayError(TPriority::kError, "two\n");
              Say(TPriority::kInfo, "three\n");
              Say(TPriority::kInfo, "four\n");
              ReleaseKeptMessages(true);
              Say(TPriority::kInfo, "after\n");
            }));
  // Dropped, and so is what comes after.
  EXPECT_EQ(std::make_pair(std::string(), std::string()), Written([] {
              SetMessages(TMessages::kKept);
              Say(TPriority::kInfo, "one\n");
              SayError(TPriority::kError, "two\n");
              ReleaseKeptMessages(false);
              Say(TPriority::kInfo, "after\n");
              SayError(TPriority::kError, "after\n");
            }));
}

TEST_F(OutputTest, WhatGoesToStandardErrorComesAfterWhatWasPrintedBefore) {
  // Both streams into one pipe, as with 2>&1.
  int ends[2];
  ASSERT_EQ(0, pipe(ends));
  const int out = dup(1);
  const int err = dup(2);
  dup2(ends[1], 1);
  dup2(ends[1], 2);
  Say(TPriority::kInfo, "first\n");
  SayError(TPriority::kError, "second\n");
  Say(TPriority::kInfo, "third\n");
  FlushOutput();
  dup2(out, 1);
  dup2(err, 2);
  close(out);
  close(err);
  close(ends[1]);
  char buffer[64] = {};
  std::string got;
  for (ssize_t n; (n = read(ends[0], buffer, sizeof buffer)) > 0;) got.append(buffer, n);
  close(ends[0]);
  EXPECT_EQ("first\nsecond\nthird\n", got);
}

TEST_F(OutputTest, FailedWriteIsToldOnceAndCounted) {
  signal(SIGPIPE, SIG_IGN);
  int ends[2];
  ASSERT_EQ(0, pipe(ends));
  close(ends[0]);  // nobody reads
  const int out = dup(1);
  testing::internal::CaptureStderr();
  dup2(ends[1], 1);
  Say(TPriority::kInfo, "lost\n");
  EXPECT_FALSE(FlushOutput());
  Say(TPriority::kInfo, "lost again\n");
  EXPECT_FALSE(FlushOutput());
  dup2(out, 1);
  close(out);
  close(ends[1]);
  signal(SIGPIPE, SIG_DFL);
  EXPECT_EQ("velmorjob: cannot write output: Broken pipe\n",
            testing::internal::GetCapturedStderr());
  EXPECT_TRUE(OutputFailed());
  ResetOutput();
  EXPECT_FALSE(OutputFailed());
}

extern "C" void OnAlarm(int) {}

TEST_F(OutputTest, WriteThatASignalInterruptsIsTakenUp) {
  int ends[2];
  ASSERT_EQ(0, pipe(ends));
  const std::string text(300000, 'x');
  // A reader that comes late and takes its time: the writer waits in
  // write() when the signals come.
  const pid_t reader = fork();
  if (reader == 0) {
    close(ends[1]);
    usleep(200000);
    std::size_t got = 0;
    char buffer[4096];
    for (ssize_t n; (n = read(ends[0], buffer, sizeof buffer)) > 0;) {
      got += static_cast<std::size_t>(n);
      usleep(100);
    }
    _exit(got == 300000 ? 0 : 1);
  }
  close(ends[0]);
  struct sigaction action = {};
  action.sa_handler = OnAlarm;  // no SA_RESTART: write() returns early
  sigaction(SIGALRM, &action, nullptr);
  itimerval every = {{0, 20000}, {0, 20000}};
  setitimer(ITIMER_REAL, &every, nullptr);
  const int error = WriteAll(ends[1], text);
  itimerval off = {};
  setitimer(ITIMER_REAL, &off, nullptr);
  signal(SIGALRM, SIG_DFL);
  close(ends[1]);
  EXPECT_EQ(0, error);
  int status = -1;
  waitpid(reader, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the reader got less";
}

TEST_F(OutputTest, ClosedStandardDescriptorsAreHeldOpenSoThatNoFileTakesTheirPlace) {
  const pid_t child = fork();
  if (child == 0) {
    close(1);
    KeepStandardDescriptorsOpen();
    const int opened = open("/dev/null", O_RDONLY);
    // Writing to the standard output still fails, as on a closed one.
    const bool write_fails = write(1, "x", 1) < 0 && errno == EBADF;
    _exit(opened > 2 && write_fails ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(child, waitpid(child, &status, 0));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace

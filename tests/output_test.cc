#include "core/output.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/stop_signal.h"

namespace {

// The device and inode of a file.
struct TStream {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
};

TStream StreamOf(int fd) {
  struct stat status = {};
  EXPECT_EQ(0, fstat(fd, &status));
  return {status.st_dev, status.st_ino};
}

std::string Named(std::uint64_t device, std::uint64_t inode) {
  return std::to_string(device) + ":" + std::to_string(inode);
}

// JOURNAL_STREAM's value, made from the files that standard output and
// standard error were captured to.
using TNaming = std::function<std::string(const TStream& out, const TStream& err)>;
const TNaming kOut = [](const TStream& out, const TStream&) {
  return Named(out.device, out.inode);
};
const TNaming kErr = [](const TStream&, const TStream& err) {
  return Named(err.device, err.inode);
};

// n + 2^64 in decimal: n to a reader of the number that wraps around.
std::string WrappedAround(std::uint64_t n) {
  const std::string power = "18446744073709551616";
  std::string digits = std::to_string(n);
  digits.insert(0, power.size() - digits.size(), '0');
  std::string sum(power.size(), '0');
  int carry = 0;
  for (std::size_t i = power.size(); i-- > 0;) {
    const int digit = (power[i] - '0') + (digits[i] - '0') + carry;
    sum[i] = static_cast<char>('0' + digit % 10);
    carry = digit / 10;
  }
  return carry != 0 ? "1" + sum : sum;
}

class OutputTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetOutput(); }
  void TearDown() override { ResetOutput(); }

  // What the calls wrote to standard output and standard error; with
  // JOURNAL_STREAM as journal names it, when given.
  template <typename TCalls>
  std::pair<std::string, std::string> Written(TCalls calls, const TNaming& journal = nullptr) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    if (journal) FindJournalStream(journal(StreamOf(1), StreamOf(2)).c_str());
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

TEST_F(OutputTest, MessagesOnTheJournalsStreamBeginEachLineWithTheirPriority) {
  const struct {
    const char* what;
    TNaming journal;
    std::function<void()> calls;
    std::string out;
    std::string err;
  } cases[] = {
      {"every line of a message, an empty one too", kOut,
       [] { Say(TPriority::kInfo, "\nVelmoran\n\n"); }, "<6>\n<6>Velmoran\n<6>\n", ""},
      {"a message said in pieces goes on with the line the last left", kOut,
       [] {
         Say(TPriority::kError, "Error at line 3:\nBog");
         Say(TPriority::kError, "us 1");
         Say(TPriority::kWarning, "\nwarned\n");
         Say(TPriority::kWarning, {"a", "\nb", "\n"});
       },
       "<3>Error at line 3:\n<3>Bogus 1\n<4>warned\n<4>a\n<4>b\n", ""},
      {"standard output alone is the journal", kOut,
       [] {
         Say(TPriority::kInfo, "said\n");
         SayError(TPriority::kError, "velmorjob: failed\n");
       },
       "<6>said\n", "velmorjob: failed\n"},
      {"standard error alone is the journal", kErr,
       [] {
         Say(TPriority::kInfo, "said\n");
         SayError(TPriority::kError, "velmorjob: failed\n");
       },
       "said\n", "<3>velmorjob: failed\n"},
      {"data is never changed; a message after it begins a line of its own", kOut,
       [] {
         Print("./indexer\n");
         Print("job");
         Say(TPriority::kInfo, "said\n");
       },
       "./indexer\njob\n<6>said\n", ""},
      {"a dry run: its messages on the journal, its commands as they are", kErr,
       [] {
         SetMessages(TMessages::kStandardError);
         Say(TPriority::kError, "Error\n");
         Print("./indexer \n");
       },
       "./indexer \n", "<3>Error\n"},
      {"--quiet: kept messages keep their priority and stream", kOut,
       [] {
         SetMessages(TMessages::kKept);
         Say(TPriority::kInfo, "banner\n");
         SayError(TPriority::kWarning, "velmorjob: mended\n");
         Say(TPriority::kError, "fail");
         Say(TPriority::kError, "ed\n");
         Say(TPriority::kWarning, "held\n");
         ReleaseKeptMessages(true);
         Say(TPriority::kError, "after\n");
       },
       "<6>banner\n<3>failed\n<4>held\n<3>after\n", "velmorjob: mended\n"},
      {"--quiet: kept messages begin a line of their own after a hook's output", kOut,
       [] {
         SetMessages(TMessages::kKept);
         Say(TPriority::kInfo, "banner\n");
         OthersMayWrite();
         ReleaseKeptMessages(true);
       },
       "\n<6>banner\n", ""},
      {"the last words of a program out of memory", kOut,
       [] {
         Say(TPriority::kInfo, "said\n");
         SayLastWords(TPriority::kError, "velmorjob: out of memory\n");
       },
       "<6>said\n<3>velmorjob: out of memory\n", ""},
      {"a write that failed, told on standard error", kErr,
       [] {
         const int full = open("/dev/full", O_WRONLY);
         dup2(full, 1);
         close(full);
         Say(TPriority::kInfo, "lost\n");
         FlushOutput();
       },
       "", "<3>velmorjob: cannot write output: No space left on device\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ResetOutput();
    EXPECT_EQ(std::make_pair(c.out, c.err), Written(c.calls, c.journal));
  }
}

TEST_F(OutputTest, MessageAfterTheOutputOfAProcessBeginsALineOfItsOwnOnTheJournal) {
  const struct {
    const char* what;
    TNaming journal;
    std::function<void()> others;
    std::string out;
    std::string err;
  } cases[] = {
      {"output passed on that ended its line", kOut, [] { OthersWrote(1, "step\n"); },
       "<3>failed\n", "velmorjob: hook\n"},
      {"output passed on that did not", kOut, [] { OthersWrote(1, "step"); }, "\n<3>failed\n",
       "velmorjob: hook\n"},
      {"output of a process that writes itself", kOut, [] { OthersMayWrite(); }, "\n<3>failed\n",
       "velmorjob: hook\n"},
      {"on standard error", kErr, [] { OthersWrote(2, "step"); }, "failed\n",
       "\n<3>velmorjob: hook\n"},
      {"on the other stream than the journal", kErr, [] { OthersWrote(1, "step"); }, "failed\n",
       "<3>velmorjob: hook\n"},
      // Nothing is added where nothing is prefixed.
      {"no journal", nullptr, [] { OthersMayWrite(); }, "failed\n", "velmorjob: hook\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ResetOutput();
    EXPECT_EQ(std::make_pair(c.out, c.err), Written(
                                                [&] {
                                                  c.others();
                                                  Say(TPriority::kError, "failed\n");
                                                  SayError(TPriority::kError, "velmorjob: hook\n");
                                                },
                                                c.journal));
  }
}

TEST_F(OutputTest, JournalStreamMustNameTheDescriptorsDeviceAndInodeExactly) {
  const auto said = [] { Say(TPriority::kInfo, "said\n"); };
  EXPECT_EQ(std::make_pair(std::string("<6>said\n"), std::string()), Written(said, kOut));
  // Another file, or a value that is not two decimal numbers: nothing
  // changes.
  const struct {
    const char* what;
    TNaming journal;
  } cases[] = {
      {"another inode",
       [](const TStream& out, const TStream&) { return Named(out.device, out.inode + 1); }},
      {"another device",
       [](const TStream& out, const TStream&) { return Named(out.device + 1, out.inode); }},
      {"a device past 64 bits",
       [](const TStream& out, const TStream&) {
         return WrappedAround(out.device) + ":" + std::to_string(out.inode);
       }},
      {"more after the inode",
       [](const TStream& out, const TStream&) { return Named(out.device, out.inode) + "x"; }},
      {"a space before the device",
       [](const TStream& out, const TStream&) { return " " + Named(out.device, out.inode); }},
      {"a sign before the inode",
       [](const TStream& out, const TStream&) {
         return std::to_string(out.device) + ":+" + std::to_string(out.inode);
       }},
      {"the inode alone",
       [](const TStream& out, const TStream&) { return std::to_string(out.inode); }},
      {"empty", [](const TStream&, const TStream&) { return std::string(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ResetOutput();
    EXPECT_EQ(std::make_pair(std::string("said\n"), std::string()), Written(said, c.journal));
  }
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

// End-to-end runs at a terminal: the program runs on a pseudo-terminal as
// an operator's shell would start it, in the terminal's foreground. A step
// must be able to read the terminal, and the terminal's interrupt and quit
// keys must stop the step at once and end the job with 130 and 131.

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <poll.h>
#include <pty.h>
#include <sstream>
#include <string>
#include <thread>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "e2e_harness.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// velmorjob running on a pseudo-terminal, as the leader of its session: its
// process group is the terminal's foreground.
class TTerminalRun {
 public:
  TTerminalRun(const std::string& directory, const std::vector<std::string>& args) {
    std::vector<std::string> words = {VELMORJOB_BINARY};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
    if (pid_ == 0) {
      if (chdir(directory.c_str()) != 0) _exit(120);
      execv(argv[0], argv.data());
      _exit(121);
    }
  }
  ~TTerminalRun() {
    if (pid_ > 0 && !ended_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
  }
  TTerminalRun(const TTerminalRun&) = delete;
  TTerminalRun& operator=(const TTerminalRun&) = delete;

  bool Started() const { return pid_ > 0; }
  // The name of the terminal's side the program runs on (/dev/pts/N).
  std::string Terminal() const {
    const char* name = ptsname(master_);
    return name != nullptr ? name : "";
  }

  // Reads what the terminal shows until it holds text, or 30 s have passed.
  bool AwaitText(const std::string& text) {
    const auto deadline = Clock::now() + 30s;
    while (shown_.find(text) == std::string::npos && Clock::now() < deadline) ReadSome(50ms);
    return shown_.find(text) != std::string::npos;
  }

  // Types the keys at the terminal.
  void Type(const std::string& keys) const {
    if (write(master_, keys.data(), keys.size()) != static_cast<ssize_t>(keys.size())) {
      ADD_FAILURE() << "could not type at the terminal";
    }
  }

  // Waits up to 30 s for the program to end, reading what it shows; returns
  // its exit status, or -1 when it did not end (it is killed then).
  int AwaitExit() {
    const auto deadline = Clock::now() + 30s;
    int status = 0;
    while (Clock::now() < deadline) {
      ReadSome(20ms);
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        ended_ = true;
        while (ReadSome(20ms)) {
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
    }
    return -1;
  }

  const std::string& shown() const { return shown_; }

 private:
  bool ReadSome(std::chrono::milliseconds wait) {
    pollfd ready = {master_, POLLIN, 0};
    if (poll(&ready, 1, static_cast<int>(wait.count())) <= 0) return false;
    char buffer[4096];
    const ssize_t n = read(master_, buffer, sizeof buffer);
    if (n <= 0) return false;  // EIO once the terminal's last user is gone
    shown_.append(buffer, static_cast<std::size_t>(n));
    return true;
  }

  pid_t pid_ = -1;
  int master_ = -1;
  bool ended_ = false;
  std::string shown_;
};

class TerminalTest : public E2eTest {};

TEST_F(TerminalTest, StepCanReadTheTerminal) {
  // A step outside the foreground would be stopped by SIGTTIN here.
  Stub("indexer", "printf 'name? '; read -r answer; echo \"hello <$answer>\"");
  Config(kNightly);
  TTerminalRun run(dir_.path(), {"nightly"});
  ASSERT_TRUE(run.Started());
  ASSERT_TRUE(run.AwaitText("name? ")) << run.shown();
  run.Type("alice\n");
  EXPECT_EQ(0, run.AwaitExit()) << run.shown();
  EXPECT_THAT(run.shown(), testing::HasSubstr("hello <alice>"));
  EXPECT_EQ("indexer [--maxfiles=500] [--charset=3] [--statistic=1]\nrunner [--program=report]\n",
            Calls());
}

TEST_F(TerminalTest, EveryStepCanReadTheTerminalNotOnlyTheFirst) {
  // The terminal is taken back after each step and handed to the next: a
  // step that found it still given to the last one's group would stop.
  Stub("indexer", "printf 'first? '; read -r answer; echo \"one <$answer>\"");
  Stub("runner", "printf 'second? '; read -r answer; echo \"two <$answer>\"");
  Config(kNightly);
  TTerminalRun run(dir_.path(), {"nightly"});
  ASSERT_TRUE(run.Started());
  ASSERT_TRUE(run.AwaitText("first? ")) << run.shown();
  run.Type("a\n");
  ASSERT_TRUE(run.AwaitText("second? ")) << run.shown();
  run.Type("b\n");
  EXPECT_EQ(0, run.AwaitExit()) << run.shown();
  EXPECT_THAT(run.shown(), testing::HasSubstr("one <a>"));
  EXPECT_THAT(run.shown(), testing::HasSubstr("two <b>"));
}

TEST_F(TerminalTest, StepInheritsNoDescriptorOfTheTerminalBeyondItsStandardStreams) {
  // The step lists the descriptors its shell holds, one "N target" a line;
  // find writes the file itself, since a shell that redirects keeps a copy
  // of the terminal of its own. Descriptors the test itself holds open come
  // through too, but none of them is this terminal.
  Stub("indexer", "find /proc/$$/fd -mindepth 1 -fprintf fds '%f %l\\n'");
  Config("[Job nightly]\n[Index]\n");
  TTerminalRun run(dir_.path(), {"nightly"});
  ASSERT_TRUE(run.Started());
  const std::string terminal = run.Terminal();
  ASSERT_THAT(terminal, testing::StartsWith("/dev/pts/"));
  EXPECT_EQ(0, run.AwaitExit()) << run.shown();
  const std::string fds = dir_.Read("fds");
  // The step reads the terminal on its standard input.
  EXPECT_THAT(fds, testing::HasSubstr("0 " + terminal + "\n"));
  std::istringstream lines(fds);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t blank = line.find(' ');
    ASSERT_NE(std::string::npos, blank) << fds;
    if (std::stoi(line.substr(0, blank)) <= 2) continue;
    const std::string target = line.substr(blank + 1);
    EXPECT_NE("/dev/tty", target) << fds;
    EXPECT_NE(terminal, target) << fds;
  }
}

TEST_F(TerminalTest, InterruptAndQuitKeysStopTheStepAndTheJob) {
  const struct {
    const char* key;
    const char* name;
    int status;
  } cases[] = {
      {"\x03", "Ctrl-C", 130},
      {"\x1c", "Ctrl-\\", 131},
  };
  // The program that says it is waiting is the one that waits: a shell
  // that echoed first and then started sleep would hold back a key typed
  // in between until its sleep ended.
  Stub("indexer", "exec perl -e '$| = 1; print \"waiting\\n\"; sleep 300'");
  Config(kNightly);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    unlink(dir_.File("calls.log").c_str());
    TTerminalRun run(dir_.path(), {"nightly"});
    ASSERT_TRUE(run.Started());
    ASSERT_TRUE(run.AwaitText("waiting")) << run.shown();
    run.Type(c.key);
    EXPECT_EQ(c.status, run.AwaitExit()) << run.shown();
    // The key reached the step, which had the foreground, and not velmorjob,
    // which would have said that a signal stopped it.
    EXPECT_THAT(run.shown(), testing::Not(testing::HasSubstr("stopped by")));
    // The job stopped with the step: the runner never ran.
    EXPECT_EQ("indexer [--maxfiles=500] [--charset=3] [--statistic=1]\n", Calls());
  }
}

TEST_F(TerminalTest, StepStoppedWithCtrlZIsNotLeftStopped) {
  // Started as the leader of its own session, nothing could continue a
  // stopped velmorjob: it continues the step at once instead of waiting for
  // ever on a stopped one.
  Stub("indexer", "echo waiting; read -r answer; echo \"got <$answer>\"");
  Config("[Job nightly]\n[Index]\n");
  TTerminalRun run(dir_.path(), {"nightly"});
  ASSERT_TRUE(run.Started());
  ASSERT_TRUE(run.AwaitText("waiting")) << run.shown();
  run.Type("\x1a");
  std::this_thread::sleep_for(100ms);
  run.Type("later\n");
  EXPECT_EQ(0, run.AwaitExit()) << run.shown();
  EXPECT_THAT(run.shown(), testing::HasSubstr("got <later>"));
}

}  // namespace

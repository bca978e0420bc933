#include "job/run_lock.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <optional>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/stop_signal.h"
#include "file_status.h"
#include "temp_dir.h"

namespace {

using namespace std::chrono_literals;

constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;

// Takes the lock for a process that holds it until it ends.
TLockResult TakeLock(TRunLock& lock, const std::string& path, std::string& reason,
                     std::optional<double> wait_seconds = std::nullopt,
                     std::string* notice = nullptr) {
  std::string told;
  const TLockResult result = lock.Take(path, wait_seconds, nullptr, reason, told);
  if (notice != nullptr) *notice = told;
  return result;
}

class RunLockTest : public ::testing::Test {
 protected:
  TLockResult TakeRunLock(const std::string& path, std::string& reason,
                          std::optional<double> wait_seconds = std::nullopt) {
    return TakeLock(lock_, path, reason, wait_seconds);
  }
  int RunLockDescriptor() const { return lock_.fd(); }
  void ReleaseRunLock() { lock_.Release(); }

  TRunLock lock_;
  TTempDir dir_;
};

// Whether another open file description could lock the file now, as a
// second run would.
bool LockableByAnother(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  const bool locked = flock(fd, LOCK_EX | LOCK_NB) == 0;
  close(fd);
  return locked;
}

// Holds the lock on a file through a descriptor of its own, as another run
// would.
class TOtherHolder {
 public:
  explicit TOtherHolder(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_CLOEXEC)) {}
  ~TOtherHolder() {
    if (fd_ >= 0) close(fd_);
  }
  TOtherHolder(const TOtherHolder&) = delete;
  TOtherHolder& operator=(const TOtherHolder&) = delete;
  bool Holds() const { return fd_ >= 0 && flock(fd_, LOCK_EX | LOCK_NB) == 0; }

 private:
  int fd_;
};

// Runs body on the file named name in a child process that works in the
// directory as nobody, and returns its exit status, or -1. From the
// directory, nobody needs no access to the directories above it.
int AsNobody(int (*body)(const std::string&), const TTempDir& dir, const std::string& name) {
  const pid_t child = fork();
  if (child == 0) {
    if (chdir(dir.path().c_str()) != 0 || setgroups(0, nullptr) != 0 || setgid(kNogroup) != 0 ||
        setuid(kNobody) != 0) {
      _exit(100);
    }
    _exit(body(name));
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST_F(RunLockTest, CreatesTheFileAndHoldsTheLockUntilReleased) {
  const std::string path = dir_.File("run.lock");
  std::string reason;
  EXPECT_EQ(-1, RunLockDescriptor());
  ASSERT_EQ(TLockResult::kTaken, TakeRunLock(path, reason));
  EXPECT_FALSE(LockableByAnother(path));
  // The descriptor offered is the lock's.
  struct stat held = {};
  ASSERT_EQ(0, fstat(RunLockDescriptor(), &held));
  EXPECT_EQ(StatusOf(path).st_ino, held.st_ino);
  // Taking it again in the same run is no conflict.
  EXPECT_EQ(TLockResult::kTaken, TakeRunLock(path, reason));
  ReleaseRunLock();
  EXPECT_EQ(-1, RunLockDescriptor());
  EXPECT_TRUE(LockableByAnother(path));
  // The file stays.
  EXPECT_TRUE(dir_.Exists("run.lock"));
}

TEST_F(RunLockTest, ANewLockFileIsTheUsersAlone) {
  for (const mode_t mask : {022, 002, 0, 077}) {
    const std::string path = dir_.File("run.lock." + std::to_string(mask));
    std::string reason;
    {
      TUmask set(mask);
      std::string notice;
      ASSERT_EQ(TLockResult::kTaken, TakeLock(lock_, path, reason, std::nullopt, &notice))
          << reason;
      EXPECT_EQ("", notice);
    }
    ReleaseRunLock();
    EXPECT_EQ(0600u, ModeOf(path)) << std::oct << mask;
  }
}

TEST_F(RunLockTest, AnExistingLockFileOthersCouldOpenIsMadeTheUsersAlone) {
  const struct {
    mode_t old;
    mode_t now;
  } cases[] = {{0644, 0600}, {0640, 0600}, {0604, 0600}, {0620, 0600}, {0602, 0600},
               {0666, 0600}, {0600, 0600}, {0700, 0700}, {0711, 0711}};
  for (const auto& c : cases) {
    const std::string path = dir_.Write("run.lock", "");
    ASSERT_EQ(0, chmod(path.c_str(), c.old));
    std::string reason;
    std::string said;
    EXPECT_EQ(TLockResult::kTaken, TakeLock(lock_, path, reason, std::nullopt, &said)) << reason;
    ReleaseRunLock();
    EXPECT_EQ(c.now, ModeOf(path)) << std::oct << c.old;
    EXPECT_EQ(c.old == c.now ? ""
                             : "velmorjob: lock file [" + path +
                                   "] could be opened by other users; its mode is now 0600\n",
              said)
        << std::oct << c.old;
    unlink(path.c_str());
  }
}

TEST_F(RunLockTest, WhatIsNotARegularFileIsRefusedAndLeftAsItWas) {
  dir_.Write("target", "kept");
  ASSERT_EQ(0, chmod(dir_.File("target").c_str(), 0644));
  ASSERT_EQ(0, symlink("target", dir_.File("link").c_str()));
  ASSERT_EQ(0, symlink("absent", dir_.File("dangling").c_str()));
  ASSERT_EQ(0, mkdir(dir_.File("directory").c_str(), 0755));
  ASSERT_EQ(0, mkfifo(dir_.File("fifo").c_str(), 0644));
  const struct {
    const char* name;
    const char* reason;
  } cases[] = {
      {"link", "it is a symbolic link"},
      {"dangling", "it is a symbolic link"},
      {"directory", "it is not a regular file"},
      {"fifo", "it is not a regular file"},
  };
  for (const auto& c : cases) {
    std::string reason;
    EXPECT_EQ(TLockResult::kFailed, TakeRunLock(dir_.File(c.name), reason)) << c.name;
    EXPECT_EQ(c.reason, reason) << c.name;
    EXPECT_EQ(-1, RunLockDescriptor());
  }
  EXPECT_FALSE(dir_.Exists("absent"));
  EXPECT_EQ(0644u, ModeOf(dir_.File("target")));
  EXPECT_TRUE(LockableByAnother(dir_.File("target")));
  EXPECT_EQ(static_cast<mode_t>(S_IFLNK), KindOf(dir_.File("dangling")));
}

TEST_F(RunLockTest, RootRefusesALockFileOfAnotherUser) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
  const std::string path = dir_.Write("run.lock", "");
  ASSERT_EQ(0, chown(path.c_str(), kNobody, kNogroup));
  ASSERT_EQ(0, chmod(path.c_str(), 0644));
  std::string reason;
  EXPECT_EQ(TLockResult::kFailed, TakeRunLock(path, reason));
  EXPECT_EQ("it is owned by user 65534, not by you or root", reason);
  EXPECT_EQ(0644u, ModeOf(path));
  EXPECT_TRUE(LockableByAnother(path));
}

TEST_F(RunLockTest, AnotherUserUsesRootsLockFileAndCannotOpenOneRootMade) {
  if (geteuid() != 0) GTEST_SKIP() << "the other user is nobody, which takes root";
  ASSERT_EQ(0, chmod(dir_.path().c_str(), 0755));
  // Root's lock file that everyone may open: nobody takes it and leaves its
  // mode alone, not being its owner.
  const std::string shared = dir_.Write("shared.lock", "");
  ASSERT_EQ(0, chmod(shared.c_str(), 0666));
  EXPECT_EQ(0, AsNobody(
                   [](const std::string& path) {
                     std::string reason;
                     TRunLock lock;
                     return TakeLock(lock, path, reason) == TLockResult::kTaken ? 0 : 1;
                   },
                   dir_, "shared.lock"));
  EXPECT_EQ(0666u, ModeOf(shared));
  // One root made cannot be opened by nobody, to hold it or otherwise.
  std::string reason;
  ASSERT_EQ(TLockResult::kTaken, TakeRunLock(dir_.File("root.lock"), reason)) << reason;
  ReleaseRunLock();
  EXPECT_EQ(0, AsNobody(
                   [](const std::string& path) {
                     const int fd = open(path.c_str(), O_RDONLY);
                     return fd < 0 && errno == EACCES ? 0 : 1;
                   },
                   dir_, "root.lock"));
}

TEST_F(RunLockTest, LockHeldByAnotherIsToldApartFromAFailure) {
  const std::string path = dir_.Write("run.lock", "");
  TOtherHolder other(path);
  ASSERT_TRUE(other.Holds());
  std::string reason;
  EXPECT_EQ(TLockResult::kHeld, TakeRunLock(path, reason));
  EXPECT_EQ(-1, RunLockDescriptor());
}

TEST_F(RunLockTest, AWaitGetsTheLockWhenTheOtherRunLetsGo) {
  const std::string path = dir_.Write("run.lock", "");
  int channel[2];
  ASSERT_EQ(0, pipe(channel));
  const pid_t holder = fork();
  if (holder == 0) {
    close(channel[0]);
    const int fd = open(path.c_str(), O_RDWR);
    if (fd < 0 || flock(fd, LOCK_EX) != 0) _exit(1);
    const char locked = 'l';
    if (write(channel[1], &locked, 1) != 1) _exit(1);
    std::this_thread::sleep_for(300ms);
    _exit(0);
  }
  close(channel[1]);
  char locked = 0;
  ASSERT_EQ(1, read(channel[0], &locked, 1));
  close(channel[0]);
  ASSERT_FALSE(LockableByAnother(path));
  std::string reason;
  EXPECT_EQ(TLockResult::kTaken, TakeRunLock(path, reason, 120.0)) << reason;
  EXPECT_FALSE(LockableByAnother(path));
  int status = 0;
  waitpid(holder, &status, 0);
  EXPECT_EQ(0, status);
}

TEST_F(RunLockTest, AWaitGivesUpWhenTheOtherRunKeepsTheLock) {
  const std::string path = dir_.Write("run.lock", "");
  TOtherHolder other(path);
  ASSERT_TRUE(other.Holds());
  std::string reason;
  std::string notice;
  int waits = 0;
  EXPECT_EQ(TLockResult::kHeld, lock_.Take(
                                    path, 0.3, [&] { ++waits; }, reason, notice));
  EXPECT_EQ(-1, RunLockDescriptor());
  // Told once that it waits, however often the lock was tried.
  EXPECT_EQ(1, waits);
  // Without a wait, nothing is waited for.
  EXPECT_EQ(TLockResult::kHeld, lock_.Take(
                                    path, std::nullopt, [&] { ++waits; }, reason, notice));
  EXPECT_EQ(1, waits);
}

TEST_F(RunLockTest, AStopSignalEndsTheWait) {
  const std::string path = dir_.Write("run.lock", "");
  TOtherHolder other(path);
  ASSERT_TRUE(other.Holds());
  InstallStopSignals();
  const pid_t test = getpid();
  const pid_t sender = fork();
  if (sender == 0) {
    std::this_thread::sleep_for(200ms);
    kill(test, SIGTERM);
    _exit(0);
  }
  std::string reason;
  EXPECT_EQ(TLockResult::kStopped, TakeRunLock(path, reason, 30.0));
  EXPECT_EQ(SIGTERM, StopSignal());
  EXPECT_EQ(-1, RunLockDescriptor());
  waitpid(sender, nullptr, 0);
  for (const int signal_number : {SIGTERM, SIGHUP, SIGINT, SIGQUIT}) {
    std::signal(signal_number, SIG_DFL);
  }
}

TEST_F(RunLockTest, FileThatCannotBeOpenedFailsWithTheReason) {
  std::string reason;
  EXPECT_EQ(TLockResult::kFailed, TakeRunLock(dir_.File("missing/run.lock"), reason));
  EXPECT_EQ("No such file or directory", reason);
}

TEST_F(RunLockTest, DescriptorIsClosedOnExec) {
  std::string reason;
  ASSERT_EQ(TLockResult::kTaken, TakeRunLock(dir_.File("run.lock"), reason));
  // Look for the lock among the descriptors: every one that refers to it
  // must be close-on-exec.
  int found = 0;
  for (int fd = 0; fd < 1024; ++fd) {
    char link[64];
    char target[4096] = {};
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    if (readlink(link, target, sizeof target - 1) <= 0) continue;
    if (std::string(target) != dir_.File("run.lock")) continue;
    ++found;
    EXPECT_TRUE(fcntl(fd, F_GETFD) & FD_CLOEXEC);
  }
  EXPECT_EQ(1, found);
}

}  // namespace

#include "job/run_lock.h"

#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "temp_dir.h"

namespace {

class RunLockTest : public ::testing::Test {
 protected:
  void TearDown() override { ReleaseRunLock(); }
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

TEST_F(RunLockTest, CreatesTheFileAndHoldsTheLockUntilReleased) {
  const std::string path = dir_.File("run.lock");
  std::string reason;
  ASSERT_EQ(TLockResult::kTaken, TakeRunLock(path, reason));
  EXPECT_FALSE(LockableByAnother(path));
  // Taking it again in the same run is no conflict.
  EXPECT_EQ(TLockResult::kTaken, TakeRunLock(path, reason));
  ReleaseRunLock();
  EXPECT_TRUE(LockableByAnother(path));
  // The file stays.
  EXPECT_TRUE(dir_.Exists("run.lock"));
}

TEST_F(RunLockTest, LockHeldByAnotherIsToldApartFromAFailure) {
  const std::string path = dir_.Write("run.lock", "");
  const int other = open(path.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(other, 0);
  ASSERT_EQ(0, flock(other, LOCK_EX | LOCK_NB));
  std::string reason;
  EXPECT_EQ(TLockResult::kHeld, TakeRunLock(path, reason));
  close(other);
  EXPECT_EQ(TLockResult::kTaken, TakeRunLock(path, reason));
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

#include "job/run_lock.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/stop_signal.h"

namespace {

constexpr mode_t kLockMode = 0600;
// Read or write for the group or others: either lets another user open the
// file and hold the lock.
constexpr mode_t kOpenToOthers = 0066;
// How often a held lock is tried again while waiting for it.
constexpr std::chrono::milliseconds kRetry{50};
// A longer wait is taken as this one, which is longer than any run.
constexpr double kLongestWait = 1e9;

constexpr char kSymbolicLink[] = "it is a symbolic link";
constexpr char kNotRegular[] = "it is not a regular file";

// Opens the lock file, creating it when it is missing, and checks that it
// may be used; -1 with the reason when not.
int OpenLockFile(const std::string& path, std::string& reason, std::string& notice) {
  struct stat status = {};
  // A file of another kind is refused before it is opened: opening a device
  // may do something. A symbolic link is refused by the open itself.
  if (lstat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode) && !S_ISLNK(status.st_mode)) {
    reason = kNotRegular;
    return -1;
  }
  int fd;
  do {
    fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY,
              kLockMode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    reason = errno == ELOOP ? kSymbolicLink : std::strerror(errno);
    return -1;
  }
  if (fstat(fd, &status) != 0) {
    reason = std::strerror(errno);
  } else if (!S_ISREG(status.st_mode)) {
    reason = kNotRegular;
  } else if (status.st_uid != geteuid() && status.st_uid != 0) {
    reason = "it is owned by user " + std::to_string(status.st_uid) + ", not by you or root";
  } else {
    if (status.st_uid == geteuid() && (status.st_mode & kOpenToOthers) != 0 &&
        fchmod(fd, kLockMode) == 0) {
      notice = "velmorjob: lock file [" + path +
               "] could be opened by other users; its mode is now 0600\n";
    }
    return fd;
  }
  close(fd);
  return -1;
}

// Sleeps, until a signal comes at the latest.
void Pause(std::chrono::nanoseconds pause) {
  const std::chrono::seconds seconds = std::chrono::duration_cast<std::chrono::seconds>(pause);
  timespec time = {};
  time.tv_sec = static_cast<std::time_t>(seconds.count());
  time.tv_nsec = static_cast<long>((pause - seconds).count());
  nanosleep(&time, nullptr);
}

// Locks the open file, waiting for it when asked to. On kFailed, error is
// the reason.
TLockResult Lock(int fd, std::optional<double> wait_seconds, const std::function<void()>& on_wait,
                 int& error) {
  using Clock = std::chrono::steady_clock;
  const std::chrono::duration<double> wait(std::min(wait_seconds.value_or(0), kLongestWait));
  const Clock::time_point deadline =
      Clock::now() + std::chrono::duration_cast<Clock::duration>(wait);
  bool waiting = false;
  for (;;) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return TLockResult::kTaken;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) {
      error = errno;
      return TLockResult::kFailed;
    }
    if (!wait_seconds) return TLockResult::kHeld;
    if (!waiting && on_wait) on_wait();
    waiting = true;
    if (StopSignal() != 0) return TLockResult::kStopped;
    const Clock::duration left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return TLockResult::kHeld;
    Pause(std::min<Clock::duration>(left, kRetry));
  }
}

}  // namespace

TRunLock::~TRunLock() { Release(); }

TLockResult TRunLock::Take(const std::string& path, std::optional<double> wait_seconds,
                           const std::function<void()>& on_wait, std::string& reason,
                           std::string& notice) {
  if (fd_ >= 0 && path_ == path) return TLockResult::kTaken;
  const int fd = OpenLockFile(path, reason, notice);
  if (fd < 0) return TLockResult::kFailed;
  int error = 0;
  const TLockResult result = Lock(fd, wait_seconds, on_wait, error);
  if (result != TLockResult::kTaken) {
    close(fd);
    if (result == TLockResult::kFailed) reason = std::strerror(error);
    return result;
  }
  Release();
  fd_ = fd;
  path_ = path;
  return TLockResult::kTaken;
}

void TRunLock::Release() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  path_.clear();
}

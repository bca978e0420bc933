#include "job/run_lock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

// The locked file's descriptor, closed when the process ends.
class THeldLock {
 public:
  ~THeldLock() { Release(); }
  bool Holds(const std::string& path) const { return fd_ >= 0 && path_ == path; }
  int fd() const { return fd_; }
  void Hold(int fd, const std::string& path) {
    Release();
    fd_ = fd;
    path_ = path;
  }
  void Release() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    path_.clear();
  }

 private:
  int fd_ = -1;
  std::string path_;
};

THeldLock held;

}  // namespace

TLockResult TakeRunLock(const std::string& path, std::string& reason) {
  if (held.Holds(path)) return TLockResult::kTaken;
  int fd;
  do {
    fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    reason = std::strerror(errno);
    return TLockResult::kFailed;
  }
  int locked;
  do {
    locked = flock(fd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    const int error = errno;
    close(fd);
    if (error == EWOULDBLOCK) return TLockResult::kHeld;
    reason = std::strerror(error);
    return TLockResult::kFailed;
  }
  held.Hold(fd, path);
  return TLockResult::kTaken;
}

void ReleaseRunLock() { held.Release(); }

int RunLockDescriptor() { return held.fd(); }

#ifndef VELMORJOB_JOB_RUN_LOCK_H_
#define VELMORJOB_JOB_RUN_LOCK_H_

#include <functional>
#include <optional>
#include <string>

enum class TLockResult {
  kTaken,    // this run holds the lock now
  kHeld,     // another run holds it (still, after any wait)
  kFailed,   // the lock file could not be opened or locked, or may not be used
  kStopped,  // a stop signal came while waiting for it
};

// The lock of a run: an exclusive flock(2) on a file, held from Take until
// the object goes or Release.
//
// Take creates the file with mode 0600 (less the umask) when it is missing;
// the file is never deleted. Only a regular file owned by the process's user
// or by root is used, and it is opened without following a symbolic link,
// so that no other user can hold the lock or choose where it is created. An
// existing lock file of the user's that others could open is set to mode
// 0600, and notice says so, as a line for standard error. On kFailed,
// reason says why ("it is a symbolic link", "it is owned by user 1000, not
// by you or root", "it is not a regular file", "Permission denied").
//
// Without wait_seconds, a lock held by another run gives kHeld at once.
// With it, on_wait is called once the lock is found held, and the lock is
// tried again every 50 ms until it is taken or that time has passed; a stop
// signal (StopSignal()) ends the wait at once with kStopped.
class TRunLock {
 public:
  TRunLock() = default;
  ~TRunLock();
  TRunLock(const TRunLock&) = delete;
  TRunLock& operator=(const TRunLock&) = delete;

  TLockResult Take(const std::string& path, std::optional<double> wait_seconds,
                   const std::function<void()>& on_wait, std::string& reason, std::string& notice);
  // The held lock's descriptor, or -1. It is close-on-exec: a step inherits
  // the lock only when the descriptor is duplicated for it.
  int fd() const { return fd_; }
  // Lets the lock go.
  void Release();

 private:
  int fd_ = -1;
  std::string path_;
};

#endif  // VELMORJOB_JOB_RUN_LOCK_H_

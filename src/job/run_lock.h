#ifndef VELMORJOB_JOB_RUN_LOCK_H_
#define VELMORJOB_JOB_RUN_LOCK_H_

#include <string>

enum class TLockResult {
  kTaken,   // this run holds the lock now
  kHeld,    // another run holds it
  kFailed,  // the lock file could not be opened or locked
};

// Takes an exclusive, non-blocking flock(2) on the file, creating it (mode
// 0644 less the umask) when it is missing; the file is never deleted. The
// lock is held until the process ends. Its descriptor is closed on exec, so
// steps do not inherit it. On kFailed, reason says why.
TLockResult TakeRunLock(const std::string& path, std::string& reason);

// Lets the lock go, for a process that goes on after a run.
void ReleaseRunLock();

// The descriptor of the lock this process holds, or -1.
int RunLockDescriptor();

#endif  // VELMORJOB_JOB_RUN_LOCK_H_

#ifndef VELMORJOB_HISTORY_PROCESS_IDENTITY_H_
#define VELMORJOB_HISTORY_PROCESS_IDENTITY_H_

#include <cstdint>
#include <string>
#include <sys/types.h>

// Which process a run of the history is, so that a later run on the same
// host can tell whether it still runs: a process id alone may since have
// been given to another process, or the host restarted.
struct TProcessIdentity {
  pid_t pid = 0;
  // The kernel's id of the boot the process ran in ("" where unknown).
  std::string boot_id;
  // When the process started, in clock ticks since that boot (0 where
  // unknown).
  std::int64_t start = 0;
};

// This process.
TProcessIdentity OwnProcess();

// The name of this host, as the run record and the history keep it.
std::string OwnHostName();

// Whether the process recorded still runs on this host: the host was not
// restarted since, and its process id belongs to a process that started at
// the same tick. Where the kernel tells neither, whether a process of that
// id exists.
bool StillRuns(const TProcessIdentity& recorded);

// The start of a process as /proc/PID/stat gives it (its 22nd field), from
// the file's text; 0 when the text is not of that form.
std::int64_t StartFromStat(const std::string& stat);

#endif  // VELMORJOB_HISTORY_PROCESS_IDENTITY_H_

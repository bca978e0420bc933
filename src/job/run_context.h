#ifndef VELMORJOB_JOB_RUN_CONTEXT_H_
#define VELMORJOB_JOB_RUN_CONTEXT_H_

#include <optional>

#include "core/outcome.h"
#include "core/run_events.h"
#include "core/run_record.h"
#include "job/run_lock.h"
#include "job/signal_block.h"

// The state of one run of the program, passed to all that runs it: what
// went wrong so far, the record of what it did, the lock it holds, its
// deadline, and whom it tells what happens. Made by the entry for a run, a
// --check or a --list, and gone with it.
struct TRunContext {
  explicit TRunContext(TRunEvents& listeners) : events(listeners) {}
  TRunContext(const TRunContext&) = delete;
  TRunContext& operator=(const TRunContext&) = delete;

  TRunEvents& events;
  TOutcome outcome;
  // Filled by the record keeper, one of the listeners, when the run keeps
  // one; the run itself sets its start and end.
  TRunRecord record;
  TRunLock lock;
  // When the job's deadline passes (--job-timeout), counted from its start.
  std::optional<TSteadyClock::time_point> deadline;

  // Counts a configuration error and tells it.
  void ConfigError(const TConfigMessage& message);
  // The same for a message that names no line.
  void ConfigError(const std::string& text);
  // The exit status as things stand, counting the stop signal received and
  // output that could not be written.
  int Status();
};

#endif  // VELMORJOB_JOB_RUN_CONTEXT_H_

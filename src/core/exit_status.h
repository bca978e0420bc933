#ifndef VELMORJOB_CORE_EXIT_STATUS_H_
#define VELMORJOB_CORE_EXIT_STATUS_H_

#include <string>

#include "core/outcome.h"

// The exit statuses of the program, stated once. The exit status of a run,
// the run report's result word, the help text and the tests of the report's
// schema and of the deployment examples all read this table.
struct TExitStatus {
  // The status. For the row of a stop signal it is 128, and the number of
  // the signal is added to it.
  int code;
  // The run report's word for it.
  const char* result;
  // What it tells the operator, as --help says it.
  const char* meaning;
  // A usage or configuration error: the same run started again fails the
  // same way, so a scheduler should not retry it.
  bool permanent;
  // Whether it applies to the outcome of a run.
  bool (*applies)(const TOutcome& outcome);
};

// The rows in the order in which they win when several apply: a stop
// signal over everything, then a usage error, a configuration error, a lock
// held by another run, a job past its deadline, a failed step, output that
// could not be written, and last a clean run. Ended by a row whose result
// is null.
extern const TExitStatus kExitStatuses[];

// The row that tells the most serious thing that happened.
const TExitStatus& StatusOf(const TOutcome& result);

// The exit status a run with this outcome ends with.
int ExitStatus(const TOutcome& result);

// The run report's word for the outcome.
const char* ResultWord(const TOutcome& result);

// The table for --help: one line a status, in the order of the codes.
std::string ExitStatusHelp();

#endif  // VELMORJOB_CORE_EXIT_STATUS_H_

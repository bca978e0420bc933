#ifndef VELMORJOB_APP_ENTRY_H_
#define VELMORJOB_APP_ENTRY_H_

#include "job/step_runner.h"

// The whole program: reads the command line, does what it asks and returns
// the exit status. May be called more than once in one process.
int Main(int argc, const char* const* argv);

// The same, with the processes of a run started by `execute`.
int Main(int argc, const char* const* argv, const TExecute& execute);

#endif  // VELMORJOB_APP_ENTRY_H_

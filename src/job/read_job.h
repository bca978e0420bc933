#ifndef VELMORJOB_JOB_READ_JOB_H_
#define VELMORJOB_JOB_READ_JOB_H_

#include <functional>

#include "core/server.h"

// What is done with the job's steps once its whole section has been read
// without error: run them (lock, hooks and all), or print them for a dry
// run. head is null for a job without steps.
using TRunJobSteps = std::function<void(const TServer* head)>;

// Reads the rest of the requested job's section from the open configuration
// file, given the line counter of its header, and hands its steps to `run`
// once the whole section has been read without error. Returns the line
// counter after the last read. Sets jobend when the section was read to its
// end; after a bad line (reported) or a read error (left to the caller) it
// does not, and nothing runs.
long ReadJob(long counter, const TRunJobSteps& run);

#endif  // VELMORJOB_JOB_READ_JOB_H_

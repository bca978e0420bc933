#ifndef VELMORJOB_APP_LOOKUP_H_
#define VELMORJOB_APP_LOOKUP_H_

#include <string>

#include "job/read_job.h"

// Scans the configuration file for the sections of the named job and hands
// each to the job reader, until one has been read to its end and its steps
// handed to `run`. Reports malformed job headers met on the way, and the
// job when it is not found.
void LookUpJob(const std::string& path, const std::string& job, const TRunJobSteps& run);

#endif  // VELMORJOB_APP_LOOKUP_H_

#ifndef VELMORJOB_APP_LOOKUP_H_
#define VELMORJOB_APP_LOOKUP_H_

#include <functional>
#include <string>

#include "core/server.h"
#include "job/run_context.h"

// Scans the configuration file for the sections of the named job and hands
// each to the job reader, until one has been read to its end and its steps
// handed to `run_steps`. Tells run of malformed job headers met on the way,
// of a bad line of the job, and of the job when it is not found.
void LookUpJob(const std::string& path, const std::string& job, TRunContext& run,
               const std::function<void(const TServer* head)>& run_steps);

#endif  // VELMORJOB_APP_LOOKUP_H_

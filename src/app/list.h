#ifndef VELMORJOB_APP_LIST_H_
#define VELMORJOB_APP_LIST_H_

#include <string>

#include "job/run_context.h"

// Prints the name of every job in the configuration file, each once, in the
// order of first appearance, one per line. Malformed headers are skipped.
// A file that cannot be read is told to run.
void ListJobs(const std::string& path, TRunContext& run);

#endif  // VELMORJOB_APP_LIST_H_

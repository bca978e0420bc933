#ifndef VELMORJOB_APP_LOOKUP_H_
#define VELMORJOB_APP_LOOKUP_H_

#include <string>

// Scans the configuration file for the sections of the named job and hands
// each to the job reader, until one has been read to its end. Reports
// malformed job headers met on the way, and the job when it is not found.
void RunJob(const std::string& path, const std::string& job);

#endif  // VELMORJOB_APP_LOOKUP_H_

#ifndef VELMORJOB_APP_LIST_H_
#define VELMORJOB_APP_LIST_H_

#include <string>

// Prints the name of every job in the configuration file, each once, in the
// order of first appearance, one per line. Malformed headers are skipped.
void ListJobs(const std::string& path);

#endif  // VELMORJOB_APP_LIST_H_

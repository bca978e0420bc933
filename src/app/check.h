#ifndef VELMORJOB_APP_CHECK_H_
#define VELMORJOB_APP_CHECK_H_

#include <optional>
#include <string>

// Reads every job section of the configuration file as the job reader
// would, reports every bad line and every malformed job header with the
// line number a run would report, and runs nothing. With a job name, also
// reports that job when no section has its name. Ends with a summary line.
void CheckConfig(const std::string& path, const std::optional<std::string>& job);

#endif  // VELMORJOB_APP_CHECK_H_

#ifndef VELMORJOB_APP_CHECK_H_
#define VELMORJOB_APP_CHECK_H_

#include <optional>
#include <string>

#include "job/run_context.h"

// Reads every job section of the configuration file as the job reader
// would, and runs nothing. Every bad line and every malformed job header is
// reported as a run reports it, with the same line number, and followed by
// "PATH:N: error: REASON" on a line of its own; lines that a run takes
// without a word but that are likely not what was meant get
// "PATH:N: warning: TEXT". PATH is the configuration path as given. With a
// job name, also reports that job when no section has its name. Then
// "PATH: warning: TEXT" for each of the configuration file, the working
// directory and the steps' programs that others can change. Ends with a
// summary line that counts jobs, steps, errors and warnings; warnings leave
// the exit status alone. The errors are told to run and counted there.
void CheckConfig(const std::string& path, const std::optional<std::string>& job, TRunContext& run);

#endif  // VELMORJOB_APP_CHECK_H_

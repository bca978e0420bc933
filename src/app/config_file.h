#ifndef VELMORJOB_APP_CONFIG_FILE_H_
#define VELMORJOB_APP_CONFIG_FILE_H_

#include <string>

#include "job/run_context.h"

// Opens the configuration file into fp. When it cannot be opened, tells
// run of the configuration error.
bool OpenConfig(const std::string& path, TRunContext& run);

// Closes fp. When a read failed, tells run of the configuration error;
// returns whether the file was read without error.
bool CloseConfig(const std::string& path, TRunContext& run);

// Tells run that no section of the job is in the file, a configuration
// error.
void ReportJobNotFound(const std::string& job, TRunContext& run);

#endif  // VELMORJOB_APP_CONFIG_FILE_H_

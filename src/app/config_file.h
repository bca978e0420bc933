#ifndef VELMORJOB_APP_CONFIG_FILE_H_
#define VELMORJOB_APP_CONFIG_FILE_H_

#include <string>

// Opens the configuration file into fp. When it cannot be opened, says so
// and counts a configuration error.
bool OpenConfig(const std::string& path);

// Closes fp. When a read failed, says so and counts a configuration error;
// returns whether the file was read without error.
bool CloseConfig(const std::string& path);

// Says that no section of the job is in the file, and counts a
// configuration error.
void ReportJobNotFound(const std::string& job);

#endif  // VELMORJOB_APP_CONFIG_FILE_H_

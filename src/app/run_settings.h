#ifndef VELMORJOB_APP_RUN_SETTINGS_H_
#define VELMORJOB_APP_RUN_SETTINGS_H_

#include "app/command_line.h"
#include "job/run_settings.h"

// The settings of a run of the job the command line names, with the
// defaults of what it leaves out.
TRunSettings RunSettingsFrom(const TCommandLine& command_line);

#endif  // VELMORJOB_APP_RUN_SETTINGS_H_

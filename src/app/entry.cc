#include "app/entry.h"

#include <cstdio>

#include "app/banner.h"
#include "app/check.h"
#include "app/command_line.h"
#include "app/list.h"
#include "app/lookup.h"
#include "app/out_of_memory.h"
#include "core/outcome.h"
#include "core/read_state.h"
#include "job/step_runner.h"

int Main(int argc, const char* const* argv) {
  InstallOutOfMemoryHandler();
  outcome = TOutcome();
  jobend = 0;
  ClearLine();

  const TCommandLine command_line = ParseCommandLine(argc, argv);
  if (command_line.help) {
    PrintHelp();
    return kExitOk;
  }
  if (command_line.version) {
    PrintBanner();
    return kExitOk;
  }
  if (command_line.list) {
    ListJobs(ConfigPath(command_line));
    return ExitStatus(outcome);
  }
  PrintBanner();
  if (argc < 2) {
    PrintUsage();
    return kExitUsage;
  }
  if (command_line.check) {
    CheckConfig(ConfigPath(command_line), command_line.job);
    return ExitStatus(outcome);
  }
  if (!command_line.job) {
    std::printf("Job name has not been specified");
    return kExitUsage;
  }
  runsettings.dry_run = command_line.dry_run;
  runsettings.verbose = command_line.verbose;
  RunJob(ConfigPath(command_line), *command_line.job);
  return ExitStatus(outcome);
}

#include "app/entry.h"

#include <cstdio>

#include "app/banner.h"
#include "app/check.h"
#include "app/command_line.h"
#include "app/list.h"
#include "app/lookup.h"
#include "app/out_of_memory.h"
#include "core/outcome.h"
#include "core/output.h"
#include "core/read_state.h"
#include "job/step_runner.h"

namespace {

// Does what the command line asks. Returns false when the command line
// cannot be used, after saying why.
bool Dispatch(const TCommandLine& command_line, int argc) {
  if (!command_line.error.empty()) {
    PrintBanner();
    std::printf("%s\n", command_line.error.c_str());
    PrintUsage();
    return false;
  }
  if (command_line.help) {
    PrintHelp();
    return true;
  }
  if (command_line.version) {
    PrintBanner();
    return true;
  }
  if (command_line.list) {
    ListJobs(ConfigPath(command_line));
    return true;
  }
  // A dry run prints only the commands, so that its output can go to a
  // shell as it is.
  if (!command_line.dry_run || command_line.check) PrintBanner();
  if (argc < 2) {
    PrintUsage();
    return false;
  }
  if (command_line.check) {
    CheckConfig(ConfigPath(command_line), command_line.job);
    return true;
  }
  if (!command_line.job) {
    std::printf("Job name has not been specified");
    return false;
  }
  runsettings.dry_run = command_line.dry_run;
  runsettings.verbose = command_line.verbose;
  RunJob(ConfigPath(command_line), *command_line.job);
  return true;
}

}  // namespace

int Main(int argc, const char* const* argv) {
  InstallOutOfMemoryHandler();
  outcome = TOutcome();
  jobend = 0;
  ClearLine();

  const TCommandLine command_line = ParseCommandLine(argc, argv);
  const bool usable = Dispatch(command_line, argc);
  // Output that never reached its file is told at the end at the latest.
  FlushOutput();
  return usable ? ExitStatus(outcome) : kExitUsage;
}

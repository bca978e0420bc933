#include "app/entry.h"

#include <cstdio>

#include "app/banner.h"
#include "app/build_info.h"
#include "app/check.h"
#include "app/command_line.h"
#include "app/list.h"
#include "app/lookup.h"
#include "app/out_of_memory.h"
#include "app/run_outputs.h"
#include "core/exit_status.h"
#include "core/outcome.h"
#include "core/output.h"
#include "core/read_state.h"
#include "core/run_record.h"
#include "core/stop_signal.h"
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
    std::fputs(BuildLine().c_str(), stdout);
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
  runsettings.job = *command_line.job;
  runsettings.dry_run = command_line.dry_run;
  runsettings.verbose = command_line.verbose;
  runsettings.exit_on_error = command_line.exit_on_error;
  runsettings.limits = TStepLimits();
  runsettings.timeout_text.clear();
  if (command_line.timeout) {
    runsettings.limits.timeout = command_line.timeout->seconds;
    runsettings.timeout_text = command_line.timeout->text;
  }
  if (command_line.kill_after) runsettings.limits.kill_after = command_line.kill_after->seconds;
  runsettings.lock = command_line.lock;
  RunJob(ConfigPath(command_line), *command_line.job);
  return true;
}

void PrintStopped(const TCommandLine& command_line) {
  const char* name = StopSignalName(outcome.stop_signal);
  if (command_line.job) {
    std::printf("Job \"%s\" stopped by %s\n", command_line.job->c_str(), name);
  } else {
    std::printf("Stopped by %s\n", name);
  }
}

}  // namespace

int Main(int argc, const char* const* argv) {
  InstallOutOfMemoryHandler();
  InstallStopSignals();
  outcome = TOutcome();
  jobend = 0;
  ClearLine();
  runrecord.reset();

  const TCommandLine command_line = ParseCommandLine(argc, argv);
  if (RunsTheJob(command_line)) StartRunOutputs(command_line);
  const bool usable = Dispatch(command_line, argc);
  outcome.stop_signal = StopSignal();
  if (outcome.stop_signal != 0) PrintStopped(command_line);
  // Output that never reached its file is told at the end at the latest.
  FlushOutput();
  if (runrecord) FinishRunOutputs(command_line);
  return usable ? ExitStatus(outcome) : kExitUsage;
}

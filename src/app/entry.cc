#include "app/entry.h"

#include "app/banner.h"
#include "app/build_info.h"
#include "app/check.h"
#include "app/command_line.h"
#include "app/list.h"
#include "app/out_of_memory.h"
#include "app/run_job.h"
#include "app/run_settings.h"
#include "core/exit_status.h"
#include "core/outcome.h"
#include "core/output.h"
#include "core/read_state.h"
#include "core/run_record.h"
#include "core/stop_signal.h"
#include "job/step_process.h"

namespace {

// Says that a --check or --list was stopped, on standard error, so that
// nothing on its standard output looks like a whole answer.
void SayStopped(const char* what) {
  if (const int signal_number = StopSignal()) {
    SayError(std::string("velmorjob: ") + what + " stopped by " + StopSignalName(signal_number) +
             "\n");
  }
}

// Does what the command line asks and returns the exit status.
int Dispatch(const TCommandLine& command_line, int argc, const TExecute& execute) {
  // A dry run's standard output holds commands alone, for a shell to run.
  if (command_line.dry_run && !command_line.check && !command_line.list && !command_line.help &&
      !command_line.version) {
    SetMessages(TMessages::kStandardError);
  }
  if (!command_line.error.empty()) {
    PrintBanner();
    Say(command_line.error + "\n");
    PrintUsage();
    return kExitUsage;
  }
  if (command_line.help) {
    PrintHelp();
    return kExitOk;
  }
  if (command_line.version) {
    PrintBanner();
    Print(BuildLine());
    return kExitOk;
  }
  if (command_line.list) {
    ListJobs(ConfigPath(command_line));
    SayStopped("--list");
    return ExitStatus(outcome);
  }
  const TRunSettings settings = RunSettingsFrom(command_line);
  if (settings.quiet && !command_line.check && command_line.job) SetMessages(TMessages::kKept);
  // A dry run prints only the commands, so that its output can go to a
  // shell as it is.
  if (!command_line.dry_run || command_line.check) PrintBanner();
  if (argc < 2) {
    PrintUsage();
    return kExitUsage;
  }
  if (command_line.check) {
    CheckConfig(ConfigPath(command_line), command_line.job);
    SayStopped("--check");
    return ExitStatus(outcome);
  }
  if (!command_line.job) {
    Say("Job name has not been specified");
    return kExitUsage;
  }
  // A reader of the output that goes away costs the run an output error,
  // not its steps.
  if (!command_line.dry_run) IgnoreSigpipe();
  return RunJob(settings, execute);
}

}  // namespace

int Main(int argc, const char* const* argv) { return Main(argc, argv, RunProcess); }

int Main(int argc, const char* const* argv, const TExecute& execute) {
  KeepStandardDescriptorsOpen();
  InstallOutOfMemoryHandler();
  InstallStopSignals();
  outcome = TOutcome();
  jobend = 0;
  ClearLine();
  runrecord.reset();
  SetMessages(TMessages::kStandardOutput);

  const TCommandLine command_line = ParseCommandLine(argc, argv);
  const int status = Dispatch(command_line, argc, execute);
  outcome.stop_signal = StopSignal();
  if (status == kExitUsage) outcome.usage_error = true;
  // Output that never reached its file is told at the end at the latest.
  FlushOutput();
  return ExitStatus(outcome);
}

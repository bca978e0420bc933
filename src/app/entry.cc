#include "app/entry.h"

#include <cstdlib>

#include "app/banner.h"
#include "app/build_info.h"
#include "app/check.h"
#include "app/command_line.h"
#include "app/console.h"
#include "app/history_commands.h"
#include "app/list.h"
#include "app/out_of_memory.h"
#include "app/run_job.h"
#include "app/run_settings.h"
#include "core/exit_status.h"
#include "core/outcome.h"
#include "core/output.h"
#include "core/read_state.h"
#include "core/signal_names.h"
#include "core/stop_signal.h"
#include "job/run_context.h"
#include "job/step_process.h"

namespace {

// Says that a --check or --list was stopped, on standard error, so that
// nothing on its standard output looks like a whole answer.
void SayStopped(const char* what) {
  if (const int signal_number = StopSignal()) {
    SayError(TPriority::kError,
             std::string("velmorjob: ") + what + " stopped by " + SignalName(signal_number) + "\n");
  }
}

// A --check or a --list: what reads the file without running it, told to
// the console alone.
template <typename TRead>
TOutcome ReadOnly(const TRunSettings& settings, const char* what, const TRead& read) {
  TConsole console(settings);
  TRunContext run(console);
  read(run);
  SayStopped(what);
  return run.outcome;
}

TOutcome Usage() {
  TOutcome outcome;
  outcome.usage_error = true;
  return outcome;
}

// Does what the command line asks and returns what happened.
TOutcome Dispatch(const TCommandLine& command_line, int argc, const TExecute& execute) {
  // A dry run's standard output holds commands alone, for a shell to run.
  if (command_line.dry_run && !command_line.check && !command_line.list && !command_line.help &&
      !command_line.version) {
    SetMessages(TMessages::kStandardError);
  }
  if (!command_line.error.empty()) {
    PrintBanner();
    Say(TPriority::kError, command_line.error + "\n");
    PrintUsage();
    return Usage();
  }
  if (command_line.help) {
    PrintHelp();
    return TOutcome();
  }
  if (command_line.version) {
    PrintBanner();
    Print(BuildLine());
    return TOutcome();
  }
  const TRunSettings settings = RunSettingsFrom(command_line);
  if (command_line.list) {
    return ReadOnly(settings, "--list",
                    [&](TRunContext& run) { ListJobs(ConfigPath(command_line), run); });
  }
  // What the history says is data, as --list's names are: no banner.
  if (command_line.runs && !command_line.check) return ShowRuns(command_line);
  if (command_line.status && !command_line.check) return ShowStatus(command_line);
  if (settings.quiet && !command_line.check && command_line.job) SetMessages(TMessages::kKept);
  // A dry run prints only the commands, so that its output can go to a
  // shell as it is.
  if (!command_line.dry_run || command_line.check) PrintBanner();
  if (argc < 2) {
    PrintUsage();
    return Usage();
  }
  if (command_line.check) {
    return ReadOnly(settings, "--check", [&](TRunContext& run) {
      CheckConfig(ConfigPath(command_line), command_line.job, run);
    });
  }
  if (!command_line.job) {
    Say(TPriority::kError, "Job name has not been specified");
    return Usage();
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
  jobend = 0;
  ClearLine();
  ResetOutput();
  FindJournalStream(std::getenv("JOURNAL_STREAM"));

  const TCommandLine command_line = ParseCommandLine(argc, argv);
  TOutcome outcome = Dispatch(command_line, argc, execute);
  outcome.stop_signal = StopSignal();
  // Output that never reached its file is told at the end at the latest.
  FlushOutput();
  outcome.output_failed = outcome.output_failed || OutputFailed();
  return ExitStatus(outcome);
}

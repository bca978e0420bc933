#include "app/history_commands.h"

#include <algorithm>
#include <clocale>
#include <cstring>
#include <functional>
#include <langinfo.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "app/runs_view.h"
#include "app/status_view.h"
#include "core/output.h"
#include "history/history_file.h"
#include "history/history_reader.h"
#include "history/process_identity.h"
#include "report/text_escape.h"

namespace {

TOutcome CannotRead(const std::string& path, const std::string& reason) {
  SayError(TPriority::kError, "velmorjob: cannot read history " + path + ": " + reason + "\n");
  TOutcome outcome;
  outcome.config_errors = 1;
  return outcome;
}

// How the chart is drawn here: with Unicode blocks when the locale's
// character set is UTF-8, as wide as the terminal, or 80 columns.
TChartStyle ChartStyle() {
  TChartStyle style;
  if (std::setlocale(LC_CTYPE, "") != nullptr) {
    style.unicode = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
    std::setlocale(LC_CTYPE, "C");
  }
  winsize size = {};
  if (isatty(STDOUT_FILENO) && ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
    style.width = size.ws_col;
  }
  return style;
}

// Opens the history the command line names and reads it with `read`,
// which returns false when a read failed.
TOutcome ReadHistory(const TCommandLine& command_line,
                     const std::function<bool(THistoryReader& reader)>& read) {
  const std::string path = HistoryPath(command_line);
  TDatabase db;
  std::string reason;
  if (!OpenHistory(path, THistoryAccess::kRead, db, reason)) return CannotRead(path, reason);
  THistoryReader reader(db, OwnHostName());
  if (!read(reader)) return CannotRead(path, db.Error());
  return TOutcome();
}

}  // namespace

TOutcome ShowRuns(const TCommandLine& command_line) {
  return ReadHistory(command_line, [&](THistoryReader& reader) {
    std::vector<TRecordedRun> runs;
    const std::string& job = *command_line.job;
    if (!reader.Runs(job, *command_line.runs, runs)) return false;
    Print(command_line.json ? RunsJson(runs) : RunsText(job, runs, ChartStyle()));
    return true;
  });
}

TOutcome ShowStatus(const TCommandLine& command_line) {
  return ReadHistory(command_line, [&](THistoryReader& reader) {
    std::vector<std::string> names;
    if (command_line.job) {
      names.push_back(*command_line.job);
    } else if (!reader.Jobs(names)) {
      return false;
    }
    std::size_t width = 0;
    for (const std::string& name : names) {
      width = std::max(width, DisplayWidth(TerminalText(name)));
    }
    // A job at a time, so that the memory does not grow with the jobs.
    const TWallClock::time_point now = TWallClock::now();
    for (const std::string& name : names) {
      TJobRuns job;
      if (!reader.JobRuns(name, job)) return false;
      Print(command_line.json ? StatusJsonLine(job, now) : StatusLine(job, now, width));
    }
    return true;
  });
}

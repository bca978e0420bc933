#ifndef VELMORJOB_APP_COMMAND_LINE_H_
#define VELMORJOB_APP_COMMAND_LINE_H_

#include <cstddef>
#include <optional>
#include <string>

#include "job/retry_rule.h"

// A duration given on the command line: as written, for messages, and in
// seconds.
struct TDurationOption {
  std::string text;
  double seconds = 0;
};

// What the command line asks for. Every argument is examined in order; when
// an option or a job name is given more than once, the last one counts
// (but for the hooks, which may be given once).
struct TCommandLine {
  std::optional<std::string> job;     // the last argument not beginning with '-'
  std::optional<std::string> config;  // the text after the last "--config="
  bool dry_run = false;
  bool verbose = false;
  bool check = false;
  bool list = false;
  bool help = false;
  bool version = false;
  bool exit_on_error = false;
  bool quiet = false;
  bool status = false;  // --status: what runs now, and how each job last ran
  bool json = false;    // --runs and --status as JSON lines
  std::optional<TDurationOption> timeout;
  std::optional<TDurationOption> kill_after;
  std::optional<TDurationOption> job_timeout;
  std::optional<TDurationOption> retry_delay;
  std::optional<TDurationOption> lock_wait;
  std::optional<TDurationOption> hook_timeout;
  std::optional<int> retries;
  std::optional<TRetryOn> retry_on;
  std::optional<long> from_step;
  std::optional<std::size_t> keep_output;  // bytes
  std::optional<std::string> lock;         // --lock or --lock=FILE
  std::optional<std::string> report;       // --report=FILE
  std::optional<std::string> metrics;      // --metrics=FILE
  std::optional<std::string> on_start;     // --on-start=COMMAND
  std::optional<std::string> on_success;   // --on-success=COMMAND
  std::optional<std::string> on_failure;   // --on-failure=COMMAND
  std::optional<std::string> history;      // --history or --history=FILE
  std::optional<long> keep_days;           // --keep-days=N
  std::optional<long> keep_runs;           // --keep-runs=N
  std::optional<long> runs;                // --runs or --runs=N: how many
  // Why the command line cannot be used, as one line without its line end;
  // empty when it can. Only the first bad argument is told.
  std::string error;
};

// The lock file of --lock without a file name, in the current directory.
inline constexpr char kDefaultLockFile[] = ".velmorjob.lock";
// The history file of --history without a file name, beside the lock's.
inline constexpr char kDefaultHistoryFile[] = ".velmorjob.history";
// How many runs --runs shows without a number.
inline constexpr char kDefaultRunsShown[] = "20";
// The most --keep-output may keep of each step.
inline constexpr std::size_t kMaxKeepOutput = 16 * 1024 * 1024;

// Reads the arguments after the program's name. An argument that begins
// with "--" must be one of the options written in full (or "--" alone,
// which is passed over); other arguments that begin with '-' are ignored.
TCommandLine ParseCommandLine(int argc, const char* const* argv);

// One line or more for each option, as --help lists them.
std::string OptionHelp();

// The configuration file to read: the --config= path or "search.conf".
std::string ConfigPath(const TCommandLine& command_line);

// The history file to read: the --history= path or ".velmorjob.history".
std::string HistoryPath(const TCommandLine& command_line);

// "123", "64K", "16M": a count of bytes with an optional K (1024) or M
// (1024 * 1024), at most kMaxKeepOutput; nothing for any other text.
std::optional<std::size_t> ParseSize(std::string_view text);

#endif  // VELMORJOB_APP_COMMAND_LINE_H_

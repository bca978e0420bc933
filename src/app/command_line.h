#ifndef VELMORJOB_APP_COMMAND_LINE_H_
#define VELMORJOB_APP_COMMAND_LINE_H_

#include <optional>
#include <string>

// A duration given on the command line: as written, for messages, and in
// seconds.
struct TDurationOption {
  std::string text;
  double seconds = 0;
};

// What the command line asks for. Every argument is examined in order; when
// an option or a job name is given more than once, the last one counts.
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
  std::optional<TDurationOption> timeout;
  std::optional<TDurationOption> kill_after;
  std::optional<std::string> lock;     // --lock or --lock=FILE
  std::optional<std::string> report;   // --report=FILE
  std::optional<std::string> metrics;  // --metrics=FILE
  // Why the command line cannot be used, as one line without its line end;
  // empty when it can. Only the first bad argument is told.
  std::string error;
};

// The lock file of --lock without a file name, in the current directory.
inline constexpr char kDefaultLockFile[] = ".velmorjob.lock";

// Reads the arguments after the program's name. An argument that begins
// with "--" must be one of the options (or "--" alone, which is passed
// over); other arguments that begin with '-' are ignored.
TCommandLine ParseCommandLine(int argc, const char* const* argv);

// The configuration file to read: the --config= path or "search.conf".
std::string ConfigPath(const TCommandLine& command_line);

// Whether the command line runs a job for real (not --dry-run, --check,
// --list, --help or --version).
bool RunsTheJob(const TCommandLine& command_line);

#endif  // VELMORJOB_APP_COMMAND_LINE_H_

#ifndef VELMORJOB_APP_COMMAND_LINE_H_
#define VELMORJOB_APP_COMMAND_LINE_H_

#include <optional>
#include <string>

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
  // Why the command line cannot be used, as one line without its line end;
  // empty when it can. Only the first bad argument is told.
  std::string error;
};

// Reads the arguments after the program's name. An argument that begins
// with "--" must be one of the options (or "--" alone, which is passed
// over); other arguments that begin with '-' are ignored.
TCommandLine ParseCommandLine(int argc, const char* const* argv);

// The configuration file to read: the --config= path or "search.conf".
std::string ConfigPath(const TCommandLine& command_line);

#endif  // VELMORJOB_APP_COMMAND_LINE_H_

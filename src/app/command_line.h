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
};

// Reads the arguments after the program's name. Arguments that begin with
// '-' and are none of the known options are ignored.
TCommandLine ParseCommandLine(int argc, const char* const* argv);

// The configuration file to read: the --config= path or "search.conf".
std::string ConfigPath(const TCommandLine& command_line);

#endif  // VELMORJOB_APP_COMMAND_LINE_H_

#include "app/command_line.h"

#include <string_view>

#include "app/duration.h"

namespace {

constexpr std::string_view kConfigPrefix = "--config=";
constexpr char kDefaultConfig[] = "search.conf";

struct TFlag {
  const char* name;
  bool TCommandLine::*field;
};

const TFlag kFlags[] = {
    {"--dry-run", &TCommandLine::dry_run},
    {"--verbose", &TCommandLine::verbose},
    {"--check", &TCommandLine::check},
    {"--list", &TCommandLine::list},
    {"--help", &TCommandLine::help},
    {"--version", &TCommandLine::version},
    {"--exit-on-error", &TCommandLine::exit_on_error},
};

struct TDurationFlag {
  const char* name;  // without the "="
  std::optional<TDurationOption> TCommandLine::*field;
};

const TDurationFlag kDurationFlags[] = {
    {"--timeout", &TCommandLine::timeout},
    {"--kill-after", &TCommandLine::kill_after},
};

struct TFileFlag {
  const char* name;  // without the "="
  std::optional<std::string> TCommandLine::*field;
  const char* when_bare;  // the file when given without "=", or null if it needs one
};

const TFileFlag kFileFlags[] = {
    {"--lock", &TCommandLine::lock, kDefaultLockFile},
    {"--report", &TCommandLine::report, nullptr},
    {"--metrics", &TCommandLine::metrics, nullptr},
};

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

void SetError(TCommandLine& result, std::string message) {
  if (result.error.empty()) result.error = std::move(message);
}

// When arg is NAME=VALUE, sets value and returns true.
bool ValueOf(std::string_view arg, std::string_view name, std::string_view& value) {
  if (!StartsWith(arg, name) || arg.size() == name.size() || arg[name.size()] != '=') return false;
  value = arg.substr(name.size() + 1);
  return true;
}

// Reads arg when it is one of the options; false when it names none.
bool ReadOption(std::string_view arg, TCommandLine& result) {
  for (const TFlag& flag : kFlags) {
    if (arg == flag.name) {
      result.*flag.field = true;
      return true;
    }
  }
  std::string_view value;
  for (const TDurationFlag& flag : kDurationFlags) {
    const std::string name(flag.name);
    if (arg == name) {
      SetError(result, "Option " + name + " needs a value: " + name + "=DURATION");
      return true;
    }
    if (!ValueOf(arg, name, value)) continue;
    if (const std::optional<double> seconds = ParseDuration(value)) {
      result.*flag.field = TDurationOption{std::string(value), *seconds};
    } else {
      SetError(result, "Invalid duration \"" + std::string(value) + "\" for " + name +
                           ": give a positive number with an optional unit s, m, h or d");
    }
    return true;
  }
  for (const TFileFlag& flag : kFileFlags) {
    const std::string name(flag.name);
    if (arg == name && flag.when_bare != nullptr) {
      result.*flag.field = std::string(flag.when_bare);
      return true;
    }
    if (arg == name || (ValueOf(arg, name, value) && value.empty())) {
      SetError(result, "Option " + name + " needs a file name: " + name + "=FILE");
      return true;
    }
    if (ValueOf(arg, name, value)) {
      result.*flag.field = std::string(value);
      return true;
    }
  }
  return false;
}

}  // namespace

TCommandLine ParseCommandLine(int argc, const char* const* argv) {
  TCommandLine result;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg(argv[i]);
    if (arg.empty() || arg[0] != '-') {
      result.job = std::string(arg);
    } else if (StartsWith(arg, kConfigPrefix)) {
      result.config = std::string(arg.substr(kConfigPrefix.size()));
    } else if (StartsWith(arg, "--") && arg != "--" && !ReadOption(arg, result)) {
      // A mistyped option must not run the job as if it were not there.
      SetError(result, "Unknown option \"" + std::string(arg) + "\"");
    }
  }
  return result;
}

std::string ConfigPath(const TCommandLine& command_line) {
  return command_line.config.value_or(kDefaultConfig);
}

bool RunsTheJob(const TCommandLine& command_line) {
  return command_line.error.empty() && !command_line.help && !command_line.version &&
         !command_line.list && !command_line.check && !command_line.dry_run &&
         command_line.job.has_value();
}

#include "app/command_line.h"

#include <string_view>

namespace {

constexpr std::string_view kConfigPrefix = "--config=";
constexpr char kDefaultConfig[] = "search.conf";

struct TFlag {
  const char* name;
  bool TCommandLine::*field;
};

const TFlag kFlags[] = {
    {"--dry-run", &TCommandLine::dry_run}, {"--verbose", &TCommandLine::verbose},
    {"--check", &TCommandLine::check},     {"--list", &TCommandLine::list},
    {"--help", &TCommandLine::help},       {"--version", &TCommandLine::version},
};

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// Sets the flag the argument names; false when it names none.
bool SetFlag(std::string_view arg, TCommandLine& result) {
  for (const TFlag& flag : kFlags) {
    if (arg == flag.name) {
      result.*flag.field = true;
      return true;
    }
  }
  return false;
}

void SetError(TCommandLine& result, std::string message) {
  if (result.error.empty()) result.error = std::move(message);
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
    } else if (StartsWith(arg, "--") && arg != "--" && !SetFlag(arg, result)) {
      // A mistyped option must not run the job as if it were not there.
      SetError(result, "Unknown option \"" + std::string(arg) + "\"");
    }
  }
  return result;
}

std::string ConfigPath(const TCommandLine& command_line) {
  return command_line.config.value_or(kDefaultConfig);
}

#include "app/command_line.h"

#include <cstring>
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

}  // namespace

TCommandLine ParseCommandLine(int argc, const char* const* argv) {
  TCommandLine result;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg(argv[i]);
    if (arg.substr(0, kConfigPrefix.size()) == kConfigPrefix) {
      result.config = std::string(arg.substr(kConfigPrefix.size()));
    }
    if (arg.empty() || arg[0] != '-') result.job = std::string(arg);
    for (const TFlag& flag : kFlags) {
      if (arg == flag.name) result.*flag.field = true;
    }
  }
  return result;
}

std::string ConfigPath(const TCommandLine& command_line) {
  return command_line.config.value_or(kDefaultConfig);
}

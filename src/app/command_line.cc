#include "app/command_line.h"

#include <charconv>
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
    {"--quiet", &TCommandLine::quiet},
};

// Reads an option's value into the command line; returns why it cannot,
// or "".
using TReadValue = std::string (*)(const std::string& name, std::string_view value,
                                   TCommandLine& result);

template <std::optional<TDurationOption> TCommandLine::*field>
std::string ReadDuration(const std::string& name, std::string_view value, TCommandLine& result) {
  const std::optional<double> seconds = ParseDuration(value);
  if (!seconds) {
    return "Invalid duration \"" + std::string(value) + "\" for " + name +
           ": give a positive number with an optional unit s, m, h or d";
  }
  result.*field = TDurationOption{std::string(value), *seconds};
  return "";
}

template <std::optional<std::string> TCommandLine::*field>
std::string ReadText(const std::string&, std::string_view value, TCommandLine& result) {
  result.*field = std::string(value);
  return "";
}

// A whole number written in digits alone, within the bounds.
std::optional<long> WholeNumber(std::string_view text, long low, long high) {
  long number = 0;
  const auto read = std::from_chars(text.data(), text.data() + text.size(), number);
  if (text.empty() || text[0] < '0' || text[0] > '9' || read.ec != std::errc() ||
      read.ptr != text.data() + text.size() || number < low || number > high) {
    return std::nullopt;
  }
  return number;
}

std::string ReadRetries(const std::string& name, std::string_view value, TCommandLine& result) {
  const std::optional<long> retries = WholeNumber(value, 0, 100);
  if (!retries) {
    return "Invalid number \"" + std::string(value) + "\" for " + name +
           ": give a whole number from 0 to 100";
  }
  result.retries = static_cast<int>(*retries);
  return "";
}

std::string ReadFromStep(const std::string& name, std::string_view value, TCommandLine& result) {
  const std::optional<long> step = WholeNumber(value, 1, 1'000'000'000'000L);
  if (!step) {
    return "Invalid step number \"" + std::string(value) + "\" for " + name +
           ": give a whole number from 1 on";
  }
  result.from_step = *step;
  return "";
}

std::string ReadRetryOn(const std::string& name, std::string_view value, TCommandLine& result) {
  result.retry_on = ParseRetryOn(value);
  if (result.retry_on) return "";
  return "Invalid list \"" + std::string(value) + "\" for " + name +
         ": give exit statuses from 1 to 255 and the words timeout, signal and start, "
         "separated by commas";
}

std::string ReadKeepOutput(const std::string& name, std::string_view value, TCommandLine& result) {
  result.keep_output = ParseSize(value);
  if (result.keep_output) return "";
  return "Invalid size \"" + std::string(value) + "\" for " + name +
         ": give a number of bytes up to 16M, with an optional unit K or M";
}

// An option that takes a value after "=".
struct TValueOption {
  const char* name;        // without the "="
  const char* value_kind;  // for the message when the value is missing: "a value", ...
  const char* value_name;  // DURATION, FILE, ...
  bool empty_is_missing;   // "--name=" counts as no value
  const char* when_bare;   // the value when given without "=", or null if it needs one
  // Given once at most; the field is set when it was given before.
  std::optional<std::string> TCommandLine::*once;
  TReadValue read;
};

const TValueOption kValueOptions[] = {
    {"--timeout", "a value", "DURATION", false, nullptr, nullptr,
     ReadDuration<&TCommandLine::timeout>},
    {"--kill-after", "a value", "DURATION", false, nullptr, nullptr,
     ReadDuration<&TCommandLine::kill_after>},
    {"--job-timeout", "a value", "DURATION", false, nullptr, nullptr,
     ReadDuration<&TCommandLine::job_timeout>},
    {"--retry-delay", "a value", "DURATION", false, nullptr, nullptr,
     ReadDuration<&TCommandLine::retry_delay>},
    {"--lock-wait", "a value", "DURATION", false, nullptr, nullptr,
     ReadDuration<&TCommandLine::lock_wait>},
    {"--retries", "a value", "N", false, nullptr, nullptr, ReadRetries},
    {"--retry-on", "a value", "LIST", false, nullptr, nullptr, ReadRetryOn},
    {"--from-step", "a value", "N", false, nullptr, nullptr, ReadFromStep},
    {"--keep-output", "a value", "SIZE", false, nullptr, nullptr, ReadKeepOutput},
    {"--lock", "a file name", "FILE", true, kDefaultLockFile, nullptr,
     ReadText<&TCommandLine::lock>},
    {"--report", "a file name", "FILE", true, nullptr, nullptr, ReadText<&TCommandLine::report>},
    {"--metrics", "a file name", "FILE", true, nullptr, nullptr, ReadText<&TCommandLine::metrics>},
    {"--on-start", "a command", "COMMAND", true, nullptr, &TCommandLine::on_start,
     ReadText<&TCommandLine::on_start>},
    {"--on-success", "a command", "COMMAND", true, nullptr, &TCommandLine::on_success,
     ReadText<&TCommandLine::on_success>},
    {"--on-failure", "a command", "COMMAND", true, nullptr, &TCommandLine::on_failure,
     ReadText<&TCommandLine::on_failure>},
};

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

void SetError(TCommandLine& result, std::string message) {
  if (result.error.empty()) result.error = std::move(message);
}

// Reads arg when it is one of the options; false when it names none. An
// option's name must be followed by "=" or nothing: "--reports=x" is not
// --report.
bool ReadOption(std::string_view arg, TCommandLine& result) {
  for (const TFlag& flag : kFlags) {
    if (arg == flag.name) {
      result.*flag.field = true;
      return true;
    }
  }
  for (const TValueOption& option : kValueOptions) {
    const std::string name(option.name);
    const bool bare = arg == name;
    if (!bare && !StartsWith(arg, name + "=")) continue;
    const std::string_view value = bare ? std::string_view() : arg.substr(name.size() + 1);
    if (option.once != nullptr && result.*option.once) {
      SetError(result, "Option " + name + " may be given only once");
    } else if (bare && option.when_bare != nullptr) {
      SetError(result, option.read(name, option.when_bare, result));
    } else if (bare || (option.empty_is_missing && value.empty())) {
      SetError(result, "Option " + name + " needs " + option.value_kind + ": " + name + "=" +
                           option.value_name);
    } else {
      SetError(result, option.read(name, value, result));
    }
    return true;
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

std::optional<std::size_t> ParseSize(std::string_view text) {
  std::size_t scale = 1;
  if (!text.empty() && (text.back() == 'K' || text.back() == 'M')) {
    scale = text.back() == 'K' ? 1024 : 1024 * 1024;
    text.remove_suffix(1);
  }
  const std::optional<long> count = WholeNumber(text, 0, static_cast<long>(kMaxKeepOutput));
  if (!count || static_cast<std::size_t>(*count) > kMaxKeepOutput / scale) return std::nullopt;
  return static_cast<std::size_t>(*count) * scale;
}

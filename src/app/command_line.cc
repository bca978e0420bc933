#include "app/command_line.h"

#include <charconv>
#include <string_view>
#include <type_traits>

#include "app/duration.h"
#include "core/duration_text.h"
#include "job/run_settings.h"
#include "job/step_process.h"

namespace {

constexpr std::string_view kConfigPrefix = "--config=";
constexpr char kDefaultConfig[] = "search.conf";

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

// The words for what a whole number counts, in the message when it is bad.
constexpr char kNumber[] = "number";
constexpr char kStepNumber[] = "step number";
// The highest a number may be where no other bound matters.
constexpr long kNoBound = 1'000'000'000'000L;

// A whole number from low to high into the field: "--retries=2".
template <auto field, long low, long high, const char* what>
std::string ReadWholeNumber(const std::string& name, std::string_view value, TCommandLine& result) {
  const std::optional<long> number = WholeNumber(value, low, high);
  if (!number) {
    return std::string("Invalid ") + what + " \"" + std::string(value) + "\" for " + name +
           ": give a whole number from " + std::to_string(low) +
           (high == kNoBound ? std::string(" on") : " to " + std::to_string(high));
  }
  result.*field = static_cast<typename std::decay_t<decltype(result.*field)>::value_type>(*number);
  return "";
}

std::string DefaultHistoryFile() { return kDefaultHistoryFile; }
std::string DefaultRunsShown() { return kDefaultRunsShown; }
std::string DefaultKeepDays() { return std::to_string(kDefaultKeepDays); }
std::string DefaultKeepRuns() { return std::to_string(kDefaultKeepRuns); }

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

std::string Seconds(double seconds) { return DurationWords(seconds); }
std::string DefaultKillAfter() { return Seconds(TStepLimits().kill_after); }
std::string DefaultRetryDelay() { return Seconds(TRetryRule().delay); }
std::string DefaultHookTimeout() { return Seconds(kDefaultHookTimeout); }
std::string DefaultLockFile() { return kDefaultLockFile; }
std::string MaxKeepOutput() { return std::to_string(kMaxKeepOutput / (1024 * 1024)) + "M"; }

// One option of the command line: how it is read, and what --help says of
// it. A flag has a field and no value; an option with a value has a reader.
struct TOption {
  const char* name;  // without the "="
  bool TCommandLine::*flag;
  const char* value_kind;  // for the message when the value is missing: "a value", ...
  const char* value_name;  // DURATION, FILE, ...
  bool empty_is_missing;   // "--name=" counts as no value
  const char* when_bare;   // the value when given without "=", or null if it needs one
  // Given once at most; the field is set when it was given before.
  std::optional<std::string> TCommandLine::*once;
  TReadValue read;
  // What --help says, its lines separated by line ends; "{}" stands for
  // what `shown` gives, the option's default or limit.
  const char* help;
  std::string (*shown)();
};

// Every option, in the order --help lists them. --config= is read before
// the others (see ParseCommandLine); its row is here for --help.
const TOption kOptions[] = {
    {"--config", nullptr, "a file name", "filename", false, nullptr, nullptr, nullptr,
     "read the jobs from filename instead of search.conf", nullptr},
    {"--dry-run", &TCommandLine::dry_run, nullptr, nullptr, false, nullptr, nullptr, nullptr,
     "print each step's command instead of running it", nullptr},
    {"--verbose", &TCommandLine::verbose, nullptr, nullptr, false, nullptr, nullptr, nullptr,
     "also print each step's command, how it ended and how\nlong it took", nullptr},
    {"--quiet", &TCommandLine::quiet, nullptr, nullptr, false, nullptr, nullptr, nullptr,
     "print nothing unless the run fails; then everything,\nand the output of each failed step",
     nullptr},
    {"--timeout", nullptr, "a value", "DURATION", false, nullptr, nullptr,
     ReadDuration<&TCommandLine::timeout>,
     "stop a step that runs longer (SIGTERM to its process\ngroup); DURATION is a number with an "
     "optional unit\ns, m, h or d, as in 90, 0.5s, 45m, 2h",
     nullptr},
    {"--kill-after", nullptr, "a value", "DURATION", false, nullptr, nullptr,
     ReadDuration<&TCommandLine::kill_after>,
     "send SIGKILL this long after SIGTERM if anything of the\nstep still runs (default {})",
     DefaultKillAfter},
    {"--job-timeout", nullptr, "a value", "DURATION", false, nullptr, nullptr,
     ReadDuration<&TCommandLine::job_timeout>, "stop the run once it has run this long", nullptr},
    {"--retries", nullptr, "a value", "N", false, nullptr, nullptr,
     ReadWholeNumber<&TCommandLine::retries, 0, 100, kNumber>,
     "run a failed step again, up to N more times (0-100)", nullptr},
    {"--retry-delay", nullptr, "a value", "DURATION", false, nullptr, nullptr,
     ReadDuration<&TCommandLine::retry_delay>,
     "wait before the second attempt (default {}), then\ntwice as long before each later one",
     DefaultRetryDelay},
    {"--retry-on", nullptr, "a value", "LIST", false, nullptr, nullptr, ReadRetryOn,
     "retry only these failures: exit statuses and the words\ntimeout, signal and start, as in "
     "75,timeout",
     nullptr},
    {"--from-step", nullptr, "a value", "N", false, nullptr, nullptr,
     ReadWholeNumber<&TCommandLine::from_step, 1, kNoBound, kStepNumber>,
     "run the job's steps from step N on", nullptr},
    {"--exit-on-error", &TCommandLine::exit_on_error, nullptr, nullptr, false, nullptr, nullptr,
     nullptr, "run no further step after one failed", nullptr},
    {"--lock", nullptr, "a file name", "FILE", true, kDefaultLockFile, nullptr,
     ReadText<&TCommandLine::lock>,
     "run only if no other run holds FILE locked (default\n{}); status 75 if one does",
     DefaultLockFile},
    {"--lock-wait", nullptr, "a value", "DURATION", false, nullptr, nullptr,
     ReadDuration<&TCommandLine::lock_wait>, "wait this long for a lock another run holds",
     nullptr},
    {"--report", nullptr, "a file name", "FILE", true, nullptr, nullptr,
     ReadText<&TCommandLine::report>, "write what happened to FILE as JSON", nullptr},
    {"--metrics", nullptr, "a file name", "FILE", true, nullptr, nullptr,
     ReadText<&TCommandLine::metrics>,
     "write metrics to FILE for the Prometheus textfile\ncollector", nullptr},
    {"--keep-output", nullptr, "a value", "SIZE", false, nullptr, nullptr, ReadKeepOutput,
     "keep the last SIZE bytes (K, M; up to {}) of each\nstep's output for the report and the "
     "hooks",
     MaxKeepOutput},
    {"--on-start", nullptr, "a command", "COMMAND", true, nullptr, &TCommandLine::on_start,
     ReadText<&TCommandLine::on_start>, "run COMMAND before the first step", nullptr},
    {"--on-success", nullptr, "a command", "COMMAND", true, nullptr, &TCommandLine::on_success,
     ReadText<&TCommandLine::on_success>, "run COMMAND after a run that ended with status 0",
     nullptr},
    {"--on-failure", nullptr, "a command", "COMMAND", true, nullptr, &TCommandLine::on_failure,
     ReadText<&TCommandLine::on_failure>, "run COMMAND after a run that ended otherwise (not 75)",
     nullptr},
    {"--hook-timeout", nullptr, "a value", "DURATION", false, nullptr, nullptr,
     ReadDuration<&TCommandLine::hook_timeout>, "stop a hook that runs longer (default {})",
     DefaultHookTimeout},
    {"--history", nullptr, "a file name", "FILE", true, kDefaultHistoryFile, nullptr,
     ReadText<&TCommandLine::history>, "record the run in the SQLite database FILE (default\n{})",
     DefaultHistoryFile},
    {"--keep-days", nullptr, "a value", "N", false, nullptr, nullptr,
     ReadWholeNumber<&TCommandLine::keep_days, 0, kNoBound, kNumber>,
     "forget the runs in the history that ended more than N\ndays ago (default {})",
     DefaultKeepDays},
    {"--keep-runs", nullptr, "a value", "N", false, nullptr, nullptr,
     ReadWholeNumber<&TCommandLine::keep_runs, 0, kNoBound, kNumber>,
     "but keep at least the N newest runs of each job\n(default {})", DefaultKeepRuns},
    {"--runs", nullptr, "a value", "N", false, kDefaultRunsShown, nullptr,
     ReadWholeNumber<&TCommandLine::runs, 1, kNoBound, kNumber>,
     "print the last N runs of the job from the history\n(default {}), and run nothing",
     DefaultRunsShown},
    {"--status", &TCommandLine::status, nullptr, nullptr, false, nullptr, nullptr, nullptr,
     "print what runs now, and how each job (or the one\nnamed) last ran, from the history",
     nullptr},
    {"--json", &TCommandLine::json, nullptr, nullptr, false, nullptr, nullptr, nullptr,
     "print --runs and --status as JSON, one object a line", nullptr},
    {"--check", &TCommandLine::check, nullptr, nullptr, false, nullptr, nullptr, nullptr,
     "check every job in the configuration file; run nothing", nullptr},
    {"--list", &TCommandLine::list, nullptr, nullptr, false, nullptr, nullptr, nullptr,
     "print the name of every job in the configuration file", nullptr},
    {"--help", &TCommandLine::help, nullptr, nullptr, false, nullptr, nullptr, nullptr,
     "print this help", nullptr},
    {"--version", &TCommandLine::version, nullptr, nullptr, false, nullptr, nullptr, nullptr,
     "print the version banner and how the program was built", nullptr},
};

// Where the help of each option begins, and how far the lines after its
// first are indented.
constexpr std::size_t kHelpColumn = 24;

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
  for (const TOption& option : kOptions) {
    if (option.flag != nullptr) {
      if (arg != option.name) continue;
      result.*option.flag = true;
      return true;
    }
    if (option.read == nullptr) continue;
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
  // What the history is read for.
  if (result.runs && !result.job) {
    SetError(result, "Option --runs needs a job name: --runs[=N] JOB");
  }
  if (result.json && !result.runs && !result.status) {
    SetError(result, "Option --json goes with --runs or --status");
  }
  return result;
}

std::string OptionHelp() {
  std::string help;
  for (const TOption& option : kOptions) {
    std::string usage = std::string("  ") + option.name;
    if (option.value_name != nullptr) {
      usage += option.when_bare != nullptr ? std::string("[=") + option.value_name + "]"
                                           : std::string("=") + option.value_name;
    }
    usage += usage.size() < kHelpColumn ? std::string(kHelpColumn - usage.size(), ' ') : "  ";
    std::string text = option.help;
    const std::size_t mark = text.find("{}");
    if (mark != std::string::npos && option.shown != nullptr) text.replace(mark, 2, option.shown());
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
      help += usage + text.substr(start, end - start) + "\n";
      usage = std::string(kHelpColumn, ' ');
    }
    help += usage + text.substr(start) + "\n";
  }
  return help;
}

std::string ConfigPath(const TCommandLine& command_line) {
  return command_line.config.value_or(kDefaultConfig);
}

std::string HistoryPath(const TCommandLine& command_line) {
  return command_line.history.value_or(kDefaultHistoryFile);
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

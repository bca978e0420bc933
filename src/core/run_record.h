#ifndef VELMORJOB_CORE_RUN_RECORD_H_
#define VELMORJOB_CORE_RUN_RECORD_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/step_result.h"

// What one run of a job did, kept for the run report, the metrics file,
// the hooks and --quiet. Its attempts are kept only when one of them was
// asked for.

using TWallClock = std::chrono::system_clock;

// One attempt at a step that was started (or that could not be started).
struct TStepRecord {
  int number = 0;       // the step's number: 1, 2, ... in the order of the job's section
  int attempt = 1;      // 1, then 2 for the first retry, and so on
  std::string kind;     // the step kind: "Index" or "Runner"
  std::string program;  // "./indexer" or "./runner"
  std::string command;  // the exact text handed to /bin/sh
  TWallClock::time_point start;
  double seconds = 0;  // how long it ran
  TStepResult result;
  // The last bytes of its output and how many it wrote, when its output
  // was kept.
  std::optional<std::string> output_tail;
  std::optional<std::uint64_t> output_bytes;
  // An attempt the history holds as started and not ended: it has no
  // duration or result yet, and counts as neither failed nor succeeded.
  bool running = false;
};

// One configuration error as it was printed.
struct TConfigMessage {
  std::optional<long> line;  // the line number it names, if it names one
  std::string text;          // the message exactly as printed
  // Why the line is wrong, as --check says it; none for a message about no
  // line (a file that cannot be opened, a job that is not there).
  std::optional<std::string> reason;
};

struct TRunRecord {
  // At most this many configuration errors are kept; the rest are counted.
  static constexpr std::size_t kMaxConfigMessages = 1000;

  std::string job;        // the job name as given
  std::string config;     // absolute path of the configuration file
  std::string directory;  // absolute path of the working directory
  std::string host;       // the host name
  std::string run_id;     // a random id of this run, as a UUID
  long from_step = 1;     // the first step it was to run
  TWallClock::time_point start;
  // Set once the run has ended; until then (for --on-start) the report
  // has no end, status or result.
  bool ended = false;
  TWallClock::time_point end;
  int exit_status = 0;  // the status the run ends with
  std::string result;   // the word for it, from the table of exit statuses
  std::vector<TConfigMessage> config_errors;
  long config_errors_not_kept = 0;
  std::vector<TStepRecord> steps;  // every attempt, in the order they ran
};

// How every line about one step names it, after the word "Step": its number
// and program, 3 "./indexer".
std::string StepLabel(long number, const std::string& program);

// The number of the first step whose last attempt failed, if any.
std::optional<int> FirstFailedStep(const TRunRecord& record);

// How many steps failed: those whose last attempt failed.
long FailedSteps(const TRunRecord& record);

// The last attempt of each step that ran, in the order of their numbers.
std::vector<const TStepRecord*> LastAttempts(const TRunRecord& record);

#endif  // VELMORJOB_CORE_RUN_RECORD_H_

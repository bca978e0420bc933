#ifndef VELMORJOB_CORE_RUN_RECORD_H_
#define VELMORJOB_CORE_RUN_RECORD_H_

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// What one run of a job did, kept for the run report and the metrics file.
// Filled only when one of them was asked for.

using TWallClock = std::chrono::system_clock;

// One attempt at a step that was started (or that could not be started).
struct TStepRecord {
  int number = 0;       // the step's number: 1, 2, ... in the order the job lists them
  int attempt = 1;      // 1 for the first attempt, 2 for the first retry, ...
  std::string kind;     // the step kind: "Index" or "Runner"
  std::string program;  // "./indexer" or "./runner"
  std::string command;  // the exact text handed to /bin/sh
  TWallClock::time_point start;
  double seconds = 0;  // how long it ran
  // How it ended: the exit status of the shell that ran it, or the signal
  // that killed that shell. Neither when no shell could be started.
  std::optional<int> exit_status;
  std::optional<int> signal;
  bool timed_out = false;  // stopped because its time limit was reached
};

// One configuration error as it was printed.
struct TConfigMessage {
  std::optional<long> line;  // the line number it names, if it names one
  std::string text;          // the message exactly as printed
};

struct TRunRecord {
  // At most this many configuration errors are kept; the rest are counted.
  static constexpr std::size_t kMaxConfigMessages = 1000;

  std::string job;        // the job name as given
  std::string config;     // absolute path of the configuration file
  std::string directory;  // absolute path of the working directory
  std::string host;       // the host name
  TWallClock::time_point start;
  TWallClock::time_point end;
  int exit_status = 0;  // the status the run ends with
  std::string result;   // the word for it, from the table of exit statuses
  std::vector<TConfigMessage> config_errors;
  long config_errors_not_kept = 0;
  std::vector<TStepRecord> steps;  // every attempt, in the order they ran
};

// Whether the step failed: it could not be started, exited non-zero, was
// killed by a signal or reached its time limit.
bool StepFailed(const TStepRecord& step);

// The record of the run, kept only when a report or metrics were asked for.
extern std::optional<TRunRecord> runrecord;

// Keeps a configuration error that was printed, when the record is kept.
void NoteConfigError(std::optional<long> line, const std::string& text);

#endif  // VELMORJOB_CORE_RUN_RECORD_H_

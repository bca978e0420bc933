// Writes run reports and metrics files of varied runs into a directory, as
// velmorjob writes them, for the checkers in tools/ to read:
//   report_samples DIR
// For each sample NAME it writes DIR/NAME.json and DIR/NAME.prom.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "core/run_record.h"
#include "report/report_files.h"
#include "status_word.h"
#include "wall_time.h"

namespace {

constexpr std::int64_t kStart = 1796869800123;  // 2026-12-10T02:30:00.123Z

TRunRecord Record(const std::string& job, int exit_status, std::int64_t seconds) {
  TRunRecord record;
  record.job = job;
  record.config = "/srv/search/search.conf";
  record.directory = "/srv/search";
  record.host = "idx1.example";
  record.start = At(kStart);
  record.end = At(kStart + seconds * 1000 + 456);
  record.exit_status = exit_status;
  record.result = StatusWord(record.exit_status);
  return record;
}

TStepRecord Step(int number, bool index, std::string command, std::int64_t offset, double seconds) {
  TStepRecord step;
  step.number = number;
  step.kind = index ? "Index" : "Runner";
  step.program = index ? "./indexer" : "./runner";
  step.command = std::move(command);
  step.start = At(kStart + offset);
  step.seconds = seconds;
  return step;
}

TStepRecord Exited(TStepRecord step, int status) {
  step.result.end = TStepResult::TEnd::kExited;
  step.result.code = status;
  return step;
}

TStepRecord Killed(TStepRecord step, int signal, bool timed_out) {
  step.result.end = TStepResult::TEnd::kKilled;
  step.result.code = signal;
  if (timed_out) step.result.stopped = TStepResult::TStop::kTimeout;
  return step;
}

TStepRecord Retry(TStepRecord step, int attempt, std::int64_t offset) {
  step.attempt = attempt;
  step.start = At(kStart + offset);
  return step;
}

// Writes both files; a run refused by the lock leaves the metrics file as
// the run before it wrote it.
bool Write(const std::string& directory, const std::string& name, TRunRecord record) {
  if (record.run_id.empty()) record.run_id = "1b4e28ba-2fa1-41d2-883f-0016d3cca427";
  record.ended = true;
  std::string reason;
  if (!WriteReportFile(directory + "/" + name + ".json", record, reason)) {
    std::fprintf(stderr, "report_samples: %s\n", reason.c_str());
    return false;
  }
  const TMetricsWrite metrics = WriteMetricsFile(directory + "/" + name + ".prom", record, reason);
  if (metrics == TMetricsWrite::kRefused || metrics == TMetricsWrite::kFailed) {
    std::fprintf(stderr, "report_samples: %s\n", reason.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: report_samples DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  bool written = true;

  // A clean run: its success is the first.
  TRunRecord clean = Record("nightly", 0, 3723);
  clean.steps = {Exited(Step(1, true, "./indexer  --maxfiles=500 --charset=3", 1, 3600.25), 0),
                 Exited(Step(2, false, "./runner  --program=report", 3600300, 122.9), 0)};
  written &= Write(dir, "clean", clean);

  // A hostile job name and command texts; the success of an earlier run is
  // carried over by the failed one.
  const std::string hostile = "we\"ird\\name\nwith\tcontrol\x01 and \xFF\xC0 bytes";
  TRunRecord earlier = Record(hostile, 0, 10);
  written &= Write(dir, "hostile", earlier);
  TRunRecord failed = Record(hostile, 3, 20);
  failed.config = "/srv/we\"ird\\dir\n/search.conf";
  failed.directory = "/srv/we\"ird\\dir\n";
  failed.host = "host\xE2\x82";
  failed.start = At(kStart + 86'400'000);
  failed.end = At(kStart + 86'420'000);
  failed.steps = {
      Exited(Step(1, true, "./indexer  --url='http://h/?q=\"a\\b\"&x=\xFF' --proxy='a'\\''b'",
                  86'400'001, 0.5),
             1),
      Exited(Step(2, false, "./runner  --program='two\nlines'", 86'400'600, 0.0004), 0)};
  written &= Write(dir, "hostile", failed);

  // Configuration errors with and without line numbers, more than are kept;
  // the job never succeeded.
  TRunRecord errors = Record("weekly", 2, 0);
  errors.config_errors.push_back(
      {std::nullopt, "Cannot read \"search.conf\": Is a directory", std::nullopt});
  for (long line = 1; errors.config_errors.size() < TRunRecord::kMaxConfigMessages; ++line) {
    errors.config_errors.push_back({line,
                                    "Error at line " + std::to_string(line) + ":\nMaxFile\xFF 5\n",
                                    "unknown key \"MaxFile\\xff\" for an Index step"});
  }
  errors.config_errors_not_kept = 5;
  written &= Write(dir, "config-errors", errors);

  // Stopped by SIGTERM while the second step ran, after a success before.
  TRunRecord stopped = Record("nightly", 0, 50);
  written &= Write(dir, "stopped", stopped);
  stopped = Record("nightly", 143, 100);
  stopped.steps = {Exited(Step(1, true, "./indexer ", 2, 40), 0),
                   Killed(Step(2, false, "./runner ", 40003, 59.9), 15, false)};
  written &= Write(dir, "stopped", stopped);

  // A step that timed out and was killed, one that ignored the signal and
  // exited, and one that could not be started.
  TRunRecord timeout = Record("hourly", 3, 7205);
  timeout.steps = {Killed(Step(1, true, "./indexer  --maxfiles=9", 3, 7200.1), 9, true),
                   Exited(Step(2, false, "./runner ", 7200200, 3.25), 0),
                   Step(3, false, "./runner  --program=x", 7203500, 0)};
  timeout.steps[1].result.stopped = TStepResult::TStop::kTimeout;
  written &= Write(dir, "timeout", timeout);

  // A step that failed and succeeded on its retry, and one retried twice
  // that failed each time; the third step did not run.
  TRunRecord retried = Record("hourly", 3, 30);
  const TStepRecord first = Step(1, true, "./indexer ", 1, 2.5);
  const TStepRecord second = Step(2, false, "./runner ", 9000, 4);
  retried.steps = {Exited(first, 1), Exited(Retry(first, 2, 3000), 0), Exited(second, 2),
                   Killed(Retry(second, 2, 14000), 15, false), Exited(Retry(second, 3, 19000), 2)};
  for (TStepRecord& step : retried.steps) {
    step.output_tail = "tail \xFF of\noutput";
    step.output_bytes = 123456;
  }
  written &= Write(dir, "retried", retried);

  // Another run held the lock: nothing ran, and the metrics are those of
  // the run before, which failed and never succeeded.
  TRunRecord before = Record("nightly", 3, 5);
  before.steps = {Exited(Step(1, true, "./indexer ", 2, 4.5), 7)};
  written &= Write(dir, "locked", before);
  written &= Write(dir, "locked", Record("nightly", 75, 0));

  return written ? 0 : 1;
}

// Holds the readings of the configuration file to each other: for an
// arbitrary file and each job name in it (and one that the input names), the
// errors a run of the job reports are exactly the ones --check reports for
// what that run reads (the same line numbers, texts and reasons), and --list
// names exactly the jobs whose headers a run matches.
//
// What a run reads is worked out here from the file's job headers alone:
// the malformed headers up to the end of the first section of the job that
// has no error, and in each section of the job up to that one, its first
// error as --check reports it.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "app/check.h"
#include "app/list.h"
#include "app/lookup.h"
#include "app/console.h"
#include "core/output.h"
#include "core/read_state.h"
#include "core/run_record.h"
#include "core/stop_signal.h"
#include "job/record_keeper.h"
#include "job/run_context.h"
#include "job/section_scan.h"
#include "memory_file.h"

namespace {

struct THeader {
  long line;
  bool malformed;
  std::string name;
};

// The job headers of the file, with their line numbers as the readers
// count them.
std::vector<THeader> Headers(const std::string& path, long& lines) {
  std::vector<THeader> headers;
  if (!fp.Open(path.c_str())) std::abort();
  long counter = 0;
  while (ReadLine(counter) == TRead::kLine) {
    const TScannedLine line = ScanLine(str, false, nullptr);
    if (line.kind == TLineKind::kJobHeader) {
      headers.push_back({counter, false, std::string(line.header.name)});
    } else if (line.kind == TLineKind::kMalformedHeader) {
      headers.push_back({counter, true, ""});
    }
  }
  fp.Close();
  lines = counter;
  return headers;
}

// The configuration errors one reading reports, kept in a fresh record.
template <typename TReading>
std::vector<TConfigMessage> Errors(TReading reading) {
  jobend = 0;
  ClearLine();
  TRunSettings settings;
  TRunListeners listeners;
  TRunContext run(listeners);
  TRecordKeeper keeper(run.record, settings);
  TConsole console(settings);
  listeners.Add(keeper);
  listeners.Add(console);
  reading(run);
  FlushOutput();
  return std::move(run.record.config_errors);
}

bool Same(const TConfigMessage& a, const TConfigMessage& b) {
  return a.line == b.line && a.text == b.text && a.reason == b.reason;
}

// What a run of the job must report, from --check's errors and the headers.
std::vector<TConfigMessage> ExpectedRunErrors(const std::vector<THeader>& headers, long lines,
                                              const std::vector<TConfigMessage>& check,
                                              const std::string& job) {
  std::vector<TConfigMessage> expected;
  const auto first_error_in = [&](long from, long to) -> const TConfigMessage* {
    for (const TConfigMessage& error : check) {
      if (error.line && *error.line >= from && *error.line <= to) return &error;
    }
    return nullptr;
  };
  for (std::size_t i = 0; i < headers.size(); ++i) {
    const THeader& header = headers[i];
    if (header.malformed) {
      const TConfigMessage* error = first_error_in(header.line, header.line);
      if (error == nullptr) std::abort();  // --check reports every malformed header
      expected.push_back(*error);
      continue;
    }
    if (header.name != job) continue;
    // The section runs to the next header, which it takes with it.
    const long end = i + 1 < headers.size() ? headers[i + 1].line - 1 : lines;
    const TConfigMessage* error = first_error_in(header.line + 1, end);
    if (error == nullptr) return expected;  // the run reads no further
    expected.push_back(*error);
  }
  return expected;
}

// Standard output sent to a memory file while the reading runs; its text.
template <typename TReading>
std::string Printed(TReading reading) {
  const int memory = memfd_create("velmorjob-fuzz-out", 0);
  const int saved = dup(1);
  if (memory < 0 || saved < 0 || dup2(memory, 1) != 1) std::abort();
  reading();
  FlushOutput();
  dup2(saved, 1);
  close(saved);
  std::string text;
  char buffer[4096];
  for (off_t at = 0;;) {
    const ssize_t got = pread(memory, buffer, sizeof buffer, at);
    if (got <= 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
    at += got;
  }
  close(memory);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  InstallStopSignals();
  // Messages go nowhere: what counts is the record of them.
  SetMessages(TMessages::kDropped);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
  static TMemoryFile file;
  // The first line of the input names the job; the rest is the file.
  std::size_t name_end = 0;
  while (name_end < size && name_end < 32 && input[name_end] != '\n') ++name_end;
  const std::string job(reinterpret_cast<const char*>(input), name_end);
  const std::size_t skip = name_end < size ? name_end + 1 : name_end;
  file.Set(input + skip, size - skip);
  const std::string& path = file.path();

  long lines = 0;
  const std::vector<THeader> headers = Headers(path, lines);
  const std::vector<TConfigMessage> check =
      Errors([&](TRunContext& run) { CheckConfig(path, std::nullopt, run); });

  // --list names each job once, in the order of its first header.
  std::vector<std::string> names;
  for (const THeader& header : headers) {
    bool seen = header.malformed;
    for (const std::string& name : names) seen = seen || name == header.name;
    if (!seen) names.push_back(header.name);
  }
  std::string expected_list;
  for (const std::string& name : names) expected_list += name + "\n";
  TConsole console{TRunSettings()};
  TRunContext listing(console);
  if (Printed([&] { ListJobs(path, listing); }) != expected_list) std::abort();

  // A run of each job of the file, and of the one the input names, reports
  // what --check reports for what it reads, and finds exactly the jobs
  // listed. The first few names only, so that a file of many jobs still
  // runs fast.
  constexpr std::size_t kJobsOfTheFile = 8;
  std::vector<std::string> jobs = {job};
  for (const std::string& name : names) {
    if (jobs.size() <= kJobsOfTheFile && name != job) jobs.push_back(name);
  }
  for (const std::string& wanted : jobs) {
    bool found = false;
    std::vector<TConfigMessage> run = Errors([&](TRunContext& reading) {
      LookUpJob(path, wanted, reading, [&](const TServer*) { found = true; });
    });
    // A job that is not there is told after the rest.
    bool told_missing = false;
    if (!run.empty() && !run.back().line) {
      told_missing = true;
      run.pop_back();
    }
    const std::vector<TConfigMessage> expected = ExpectedRunErrors(headers, lines, check, wanted);
    if (run.size() != expected.size()) std::abort();
    for (std::size_t i = 0; i < run.size(); ++i) {
      if (!Same(run[i], expected[i])) std::abort();
    }
    bool listed = false;
    for (const std::string& name : names) listed = listed || name == wanted;
    if (told_missing == listed) std::abort();
    if (found && !listed) std::abort();
  }
  return 0;
}

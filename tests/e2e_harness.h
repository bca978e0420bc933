#ifndef VELMORJOB_TESTS_E2E_HARNESS_H_
#define VELMORJOB_TESTS_E2E_HARNESS_H_

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

#include <gtest/gtest.h>

#include "temp_dir.h"

// What one run of the built program gave.
struct TRun {
  std::string out;
  std::string err;
  int status = -1;      // exit status, or 128 + signal when it was killed
  long max_rss_kb = 0;  // peak resident memory of the program
};

// A run started in the background.
struct TStarted {
  pid_t pid = -1;
  std::string out;  // where its standard output goes
};

// The banner every run but --list, --help and --dry-run begins with, with
// the version and build number of this build.
extern const std::string kBanner;

// The example of a well-formed file: the job nightly runs the indexer with
// three options and the runner with one; the job weekly follows it.
extern const char kNightly[];

// Runs the built velmorjob in a fresh directory that holds stub ./indexer
// and ./runner scripts. Each stub appends one line to calls.log for each
// time it runs: its name and each argument it got in brackets.
class E2eTest : public ::testing::Test {
 protected:
  void SetUp() override;

  // Writes the configuration file (search.conf unless named otherwise).
  void Config(const std::string& content, const std::string& name = "search.conf");
  // Replaces a stub; the body runs after the arguments have been recorded.
  void Stub(const std::string& program, const std::string& body);
  // Runs velmorjob with the arguments; the directory is the current one.
  TRun Run(const std::vector<std::string>& args);
  // The same with standard output going to the given file (such as
  // /dev/full) instead of being captured.
  TRun RunWithOutputTo(const std::string& file, const std::vector<std::string>& args);
  // Starts velmorjob in the background; Finish waits for it to end.
  TStarted Start(const std::vector<std::string>& args);
  TStarted StartWithOutputTo(const std::string& file, const std::vector<std::string>& args);
  // The same with standard output on a descriptor of the test's (the
  // write end of a pipe, say), and SIGPIPE ignored when asked.
  TStarted StartWithOutputOn(int fd, const std::vector<std::string>& args,
                             bool ignore_sigpipe = false);
  // Waits for a started run. One that runs longer than kRunTimeLimit is
  // killed, and the test fails.
  TRun Finish(const TStarted& started);
  static constexpr std::chrono::seconds kRunTimeLimit{120};
  // Waits until a step has written the file, so that it is known to run
  // (up to 30 s; the test fails when it does not appear).
  void AwaitFile(const std::string& name) const;
  // What the stubs recorded.
  std::string Calls() const { return dir_.Read("calls.log"); }
  // Whether runs go through a wrapper such as valgrind.
  static bool Wrapped();

  // Runs a checker from tools/ (check-report, check-metrics) on files of
  // the test's directory, and fails the test when it finds a fault.
  void Check(const std::string& tool, const std::string& arguments) const;
  // The value of a Python expression over the JSON file of the test's
  // directory, read as r: ReportQuery("report.json", "r['result']").
  std::string ReportQuery(const std::string& file, const std::string& expression) const;

  // Checks a run's whole standard output, its exit status and that nothing
  // went to standard error.
  static void Expect(const TRun& run, const std::string& out, int status);
  // The same with what went to standard error.
  static void Expect(const TRun& run, const std::string& out, const std::string& err, int status);

  TTempDir dir_;
  // Where a run's standard output ("out", unless sent elsewhere) and
  // standard error ("err") go.
  TTempDir output_;
  // Variables set in the environment of the runs started from then on, or
  // removed from it (no value), on top of the test's own.
  std::map<std::string, std::optional<std::string>> environment_;

 private:
  // The environment a run gets, as NAME=value entries.
  std::vector<std::string> RunEnvironment() const;
};

#endif  // VELMORJOB_TESTS_E2E_HARNESS_H_

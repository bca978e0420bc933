// End-to-end runs with --report and --metrics: which runs write them, what
// they say, and that every file written passes the checkers built on the
// report's JSON Schema and on the Prometheus client's own parser.

#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "e2e_harness.h"

namespace {

using namespace std::chrono_literals;
using testing::HasSubstr;
using testing::Not;

class ReportTest : public E2eTest {
 protected:
  // Runs a checker from tools/ on files of the test's directory; the Debian
  // modules it needs belong to /usr/bin/python3.
  void Check(const std::string& tool, const std::string& arguments) {
    const std::string command = "cd '" + dir_.path() + "' && /usr/bin/python3 '" +
                                VELMORJOB_SOURCE_DIR + "/tools/" + tool + "' " + arguments +
                                " > checker.out 2>&1";
    EXPECT_EQ(0, std::system(command.c_str())) << tool << " " << arguments << ":\n"
                                               << dir_.Read("checker.out");
  }
  // Checks the report and the metrics written by a run with the standard
  // file names.
  void CheckBoth(const char* last_success) {
    Check("check-report", "report.json");
    Check("check-metrics",
          std::string("--job-of=report.json --last-success=") + last_success + " metrics.prom");
  }
  std::string Report() const { return dir_.Read("report.json"); }
  std::string Metrics() const { return dir_.Read("metrics.prom"); }
  // The value of the job's sample of a gauge in the metrics file.
  std::string Sample(const std::string& gauge, const std::string& job = "nightly") const {
    const std::string metrics = Metrics();
    const std::string head = gauge + "{job_name=\"" + job + "\"} ";
    const std::size_t at = metrics.find(head);
    if (at == std::string::npos) return "";
    const std::size_t begin = at + head.size();
    return metrics.substr(begin, metrics.find('\n', begin) - begin);
  }
};

const std::vector<std::string> kFiles = {"--report=report.json", "--metrics=metrics.prom"};

std::vector<std::string> With(std::vector<std::string> args) {
  args.insert(args.begin(), kFiles.begin(), kFiles.end());
  return args;
}

TEST_F(ReportTest, CleanRunIsReportedWithEveryStep) {
  Config(kNightly);
  Expect(Run(With({"nightly"})), kBanner, 0);
  CheckBoth("present");
  const std::string report = Report();
  EXPECT_THAT(report, HasSubstr("\"job\": \"nightly\""));
  EXPECT_THAT(report, HasSubstr("\"config_file\": \"" + dir_.File("search.conf") + "\""));
  EXPECT_THAT(report, HasSubstr("\"working_directory\": \"" + dir_.path() + "\""));
  EXPECT_THAT(report, HasSubstr("\"result\": \"ok\""));
  EXPECT_THAT(report,
              HasSubstr("\"command\": \"./indexer  --maxfiles=500 --charset=3 --statistic=1\""));
  EXPECT_THAT(report, HasSubstr("\"command\": \"./runner  --program=report\""));
  EXPECT_EQ("0", Sample("velmorjob_last_run_exit_status"));
  EXPECT_EQ("0", Sample("velmorjob_last_run_failed_steps"));
  EXPECT_EQ(Sample("velmorjob_last_run_timestamp_seconds"),
            Sample("velmorjob_last_success_timestamp_seconds"));
}

TEST_F(ReportTest, EveryWayARunEndsIsReported) {
  const struct {
    const char* what;
    std::string config;
    const char* indexer;
    std::vector<std::string> args;
    int status;
    const char* result;
    std::vector<std::string> in_report;
  } cases[] = {
      {"configuration error",
       "[Job nightly]\n[Index]\nBogus 1\n",
       "",
       {"nightly"},
       2,
       "config-error",
       {"\"line\": 3", "\"message\": \"Error at line 3:\\nBogus 1\\n\"", "\"steps\": []"}},
      {"job not found",
       "[Job other]\n",
       "",
       {"nightly"},
       2,
       "config-error",
       {"\"line\": null", "not found in your config file.\\n\""}},
      {"failed step",
       kNightly,
       "exit 6",
       {"nightly"},
       3,
       "step-failed",
       {"\"exit_status\": 6", "\"timed_out\": false"}},
      {"timed out step",
       kNightly,
       "sleep 300",
       {"--timeout=0.2", "nightly"},
       3,
       "step-failed",
       {"\"timed_out\": true"}},
      {"missing configuration file",
       kNightly,
       "",
       {"--config=absent.conf", "nightly"},
       2,
       "config-error",
       {"Config file [absent.conf] not found.\\n", "absent.conf\""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Config(c.config);
    Stub("indexer", c.indexer);
    const TRun run = Run(With(c.args));
    EXPECT_EQ(c.status, run.status);
    CheckBoth("never");
    EXPECT_THAT(Report(), HasSubstr(std::string("\"result\": \"") + c.result + "\""));
    EXPECT_THAT(Report(), HasSubstr("\"exit_status\": " + std::to_string(c.status) + ",\n"));
    for (const std::string& text : c.in_report) EXPECT_THAT(Report(), HasSubstr(text));
    EXPECT_EQ(std::to_string(c.status), Sample("velmorjob_last_run_exit_status"));
  }
}

TEST_F(ReportTest, LastSuccessIsCarriedOverUntilTheNextSuccess) {
  Config(kNightly);
  ASSERT_EQ(0, Run(With({"nightly"})).status);
  const std::string success = Sample("velmorjob_last_success_timestamp_seconds");
  ASSERT_NE("", success);
  std::this_thread::sleep_for(20ms);

  Stub("runner", "exit 1");
  ASSERT_EQ(3, Run(With({"nightly"})).status);
  CheckBoth("present");
  EXPECT_EQ(success, Sample("velmorjob_last_success_timestamp_seconds"));
  EXPECT_NE(success, Sample("velmorjob_last_run_timestamp_seconds"));
  EXPECT_EQ("1", Sample("velmorjob_last_run_failed_steps"));

  Stub("runner", "");
  ASSERT_EQ(0, Run(With({"nightly"})).status);
  EXPECT_NE(success, Sample("velmorjob_last_success_timestamp_seconds"));
}

TEST_F(ReportTest, LockedAndStoppedRunsAreReported) {
  Stub("indexer", "echo > started; sleep 300");
  Config(kNightly);
  const TStarted first = Start({"--lock", "nightly"});
  while (!dir_.Exists("started")) std::this_thread::sleep_for(5ms);

  const TRun locked = RunWithOutputTo(dir_.File("second.out"), With({"--lock", "nightly"}));
  EXPECT_EQ(75, locked.status);
  Check("check-report", "report.json");
  EXPECT_THAT(Report(), HasSubstr("\"result\": \"locked\""));
  // The metrics are those of the run that holds the lock: it wrote none.
  EXPECT_FALSE(dir_.Exists("metrics.prom"));

  kill(first.pid, SIGTERM);
  EXPECT_EQ(143, Finish(first).status);

  // Stopped while its step runs.
  unlink(dir_.File("started").c_str());
  const TStarted stopped = Start(With({"nightly"}));
  while (!dir_.Exists("started")) std::this_thread::sleep_for(5ms);
  kill(stopped.pid, SIGHUP);
  EXPECT_EQ(129, Finish(stopped).status);
  CheckBoth("never");
  EXPECT_THAT(Report(), HasSubstr("\"result\": \"stopped\""));
  EXPECT_EQ("129", Sample("velmorjob_last_run_exit_status"));
}

TEST_F(ReportTest, OutputErrorIsReported) {
  Config(kNightly);
  const TRun run = RunWithOutputTo("/dev/full", With({"nightly"}));
  EXPECT_EQ(4, run.status);
  CheckBoth("never");
  EXPECT_THAT(Report(), HasSubstr("\"result\": \"output-error\""));
}

TEST_F(ReportTest, RunsThatRunNoJobWriteNoFiles) {
  Config(kNightly);
  const std::vector<std::vector<std::string>> cases = {
      {"--dry-run", "nightly"}, {"--check"}, {"--list"}, {"--help"}, {"--version"}, {},
      {"--bogus", "nightly"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(testing::PrintToString(args));
    Run(With(args));
    EXPECT_FALSE(dir_.Exists("report.json"));
    EXPECT_FALSE(dir_.Exists("metrics.prom"));
  }
}

TEST_F(ReportTest, FileThatCannotBeWrittenIsToldWithStatus4UnlessWorseHappened) {
  Config(kNightly);
  const TRun run = Run({"--report=missing/report.json", "--metrics=metrics.prom", "nightly"});
  EXPECT_EQ(kBanner, run.out);
  EXPECT_EQ(4, run.status);
  EXPECT_THAT(run.err, testing::StartsWith("velmorjob: cannot write report missing/report.json: "));
  // The metrics are still written, and tell the status the run ends with.
  EXPECT_EQ("4", Sample("velmorjob_last_run_exit_status"));

  Stub("indexer", "exit 1");
  const TRun failed = Run({"--metrics=missing/metrics.prom", "nightly"});
  EXPECT_EQ(3, failed.status);
  EXPECT_THAT(failed.err, HasSubstr("velmorjob: cannot write metrics missing/metrics.prom: "));
  EXPECT_EQ(
      "indexer [--maxfiles=500] [--charset=3] [--statistic=1]\nrunner [--program=report]\n"
      "indexer [--maxfiles=500] [--charset=3] [--statistic=1]\nrunner [--program=report]\n",
      Calls());
}

TEST_F(ReportTest, HostileJobNamesAndLinesStayValid) {
  // A name with quotes, a backslash and bytes that are not UTF-8; a bad line
  // with control characters.
  const std::string job = "a\"b\\c\xff\xfe";
  Config("[Job " + job + "]\n[Index]\nBogus \x01\x1b[31m\xc3\n");
  const TRun run = Run(With({job}));
  EXPECT_EQ(2, run.status);
  CheckBoth("never");
  EXPECT_THAT(Metrics(), HasSubstr("{job_name=\"a\\\"b\\\\c\xef\xbf\xbd"));
  EXPECT_THAT(Report(), Not(HasSubstr("\x01")));
}

}  // namespace

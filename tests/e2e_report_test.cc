// End-to-end runs with --report and --metrics: which runs write them, what
// they say, and that every file written passes the checkers built on the
// report's JSON Schema and on the Prometheus client's own parser.

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
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
  // The same for a sample of a step of the job nightly.
  std::string StepSample(const std::string& gauge, int step, const std::string& program) const {
    return Sample(gauge, "nightly\",step=\"" + std::to_string(step) + "\",program=\"" + program);
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
  CheckBoth("set");
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

TEST_F(ReportTest, ConfigFileIsTheNormalAbsolutePath) {
  // sub is a real folder, so the path given leads to search.conf as it is.
  ASSERT_EQ(0, mkdir(dir_.File("sub").c_str(), 0755));
  Config(kNightly);
  Expect(Run({"--report=report.json", "--config=./sub/../search.conf", "nightly"}), kBanner, 0);
  EXPECT_EQ(dir_.File("search.conf"), ReportQuery("report.json", "r['config_file']"));
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
       {"\"line\": 3", "\"message\": \"Error at line 3:\\nBogus 1\\n\"",
        // What --check says of the line.
        "\"reason\": \"unknown key \\\"Bogus\\\" for an Index step\"", "\"steps\": []"}},
      {"empty line",
       "[Job nightly]\n[Index]\n\n",
       "",
       {"nightly"},
       2,
       "config-error",
       {"\"line\": 3", "\"reason\": \"empty line in the section of job \\\"nightly\\\": "}},
      {"malformed header",
       "[Job \n[Job nightly]\n[Index]\n",
       "",
       {"nightly"},
       2,
       "config-error",
       {"\"line\": 1", "\"reason\": \"job header \\\"[Job \\\" has no closing \\\"]\\\"\""}},
      {"job not found",
       "[Job other]\n",
       "",
       {"nightly"},
       2,
       "config-error",
       {"\"line\": null", "not found in your config file.\\n\",\n      \"reason\": null"}},
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
    CheckBoth("zero");
    EXPECT_THAT(Report(), HasSubstr(std::string("\"result\": \"") + c.result + "\""));
    EXPECT_THAT(Report(), HasSubstr("\"exit_status\": " + std::to_string(c.status) + ",\n"));
    for (const std::string& text : c.in_report) EXPECT_THAT(Report(), HasSubstr(text));
    EXPECT_EQ(std::to_string(c.status), Sample("velmorjob_last_run_exit_status"));
  }
}

// A run that ends 4 because its report could not be written writes the
// metrics twice; the second write must not take the first one's own
// "success" for the last one.
TEST_F(ReportTest, ARunThatEndsFourIsNoSuccessWhateverWriteOfItsFilesSaysSo) {
  Config(kNightly);
  const TRun first = Run({"--report=nodir/report.json", "--metrics=metrics.prom", "nightly"});
  EXPECT_EQ(4, first.status);
  EXPECT_EQ("4", Sample("velmorjob_last_run_exit_status"));
  EXPECT_EQ("0", Sample("velmorjob_last_success_timestamp_seconds"));

  // After a success, such a run carries that success over, not its own end.
  ASSERT_EQ(0, Run({"--metrics=metrics.prom", "nightly"}).status);
  const std::string success = Sample("velmorjob_last_success_timestamp_seconds");
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(4, Run({"--report=nodir/report.json", "--metrics=metrics.prom", "nightly"}).status);
  EXPECT_EQ(success, Sample("velmorjob_last_success_timestamp_seconds"));
  EXPECT_NE(success, Sample("velmorjob_last_run_timestamp_seconds"));
}

TEST_F(ReportTest, LastSuccessIsCarriedOverUntilTheNextSuccess) {
  Config(kNightly);
  ASSERT_EQ(0, Run(With({"nightly"})).status);
  const std::string success = Sample("velmorjob_last_success_timestamp_seconds");
  ASSERT_NE("", success);
  std::this_thread::sleep_for(20ms);

  Stub("runner", "exit 1");
  ASSERT_EQ(3, Run(With({"nightly"})).status);
  CheckBoth("set");
  EXPECT_EQ(success, Sample("velmorjob_last_success_timestamp_seconds"));
  EXPECT_NE(success, Sample("velmorjob_last_run_timestamp_seconds"));
  EXPECT_EQ("1", Sample("velmorjob_last_run_failed_steps"));

  Stub("runner", "");
  ASSERT_EQ(0, Run(With({"nightly"})).status);
  EXPECT_NE(success, Sample("velmorjob_last_success_timestamp_seconds"));
}

TEST_F(ReportTest, ARunRefusedByTheLockLeavesTheMetricsOfTheRunningOne) {
  Config(kNightly);
  ASSERT_EQ(0, Run({"--metrics=metrics.prom", "nightly"}).status);
  const std::string before = Metrics();
  const std::string success = Sample("velmorjob_last_success_timestamp_seconds");
  Stub("indexer", "echo > started; sleep 300");
  const TStarted first = Start({"--lock", "--metrics=metrics.prom", "nightly"});
  while (!dir_.Exists("started")) std::this_thread::sleep_for(5ms);

  // Refused by the lock: its report is written, the metrics are not.
  const TRun locked = RunWithOutputTo(dir_.File("second.out"), With({"--lock", "nightly"}));
  EXPECT_EQ(75, locked.status);
  EXPECT_EQ("", locked.err);
  Check("check-report", "report.json");
  EXPECT_THAT(Report(), HasSubstr("\"result\": \"locked\""));
  EXPECT_EQ(before, Metrics());

  // The running one writes its own when it ends.
  kill(first.pid, SIGTERM);
  EXPECT_EQ(143, Finish(first).status);
  EXPECT_EQ("143", Sample("velmorjob_last_run_exit_status"));
  EXPECT_EQ(success, Sample("velmorjob_last_success_timestamp_seconds"));
}

TEST_F(ReportTest, StoppedRunsAreReported) {
  Stub("indexer", "echo > started; sleep 300");
  Config(kNightly);
  const TStarted stopped = Start(With({"nightly"}));
  while (!dir_.Exists("started")) std::this_thread::sleep_for(5ms);
  kill(stopped.pid, SIGHUP);
  EXPECT_EQ(129, Finish(stopped).status);
  CheckBoth("zero");
  EXPECT_THAT(Report(), HasSubstr("\"result\": \"stopped\""));
  EXPECT_EQ("129", Sample("velmorjob_last_run_exit_status"));
  // The step's shell was killed by the signal passed on to it.
  EXPECT_EQ("129", StepSample("velmorjob_last_run_step_exit_status", 1, "./indexer"));
}

TEST_F(ReportTest, OutputErrorIsReported) {
  Config(kNightly);
  const TRun run = RunWithOutputTo("/dev/full", With({"nightly"}));
  EXPECT_EQ(4, run.status);
  CheckBoth("zero");
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

TEST_F(ReportTest, ReportWrittenBeforeTheMetricsFailedSaysTheStatusTheRunEndsWith) {
  Config(kNightly);
  // The report is written first; then the metrics cannot be, and the
  // report is written again to say 4, as the run ends.
  for (const char* metrics : {"--metrics=missing/metrics.prom", "--metrics=other.prom"}) {
    SCOPED_TRACE(metrics);
    dir_.Write("other.prom", "velmorjob_last_run_exit_status{job_name=\"weekly\"} 0\n");
    const TRun run = Run({"--report=report.json", metrics, "nightly"});
    EXPECT_EQ(4, run.status);
    EXPECT_EQ("4 output-error",
              ReportQuery("report.json", "'%s %s' % (r['exit_status'], r['result'])"));
    Check("check-report", "report.json");
    // One line for the file, not one for each time the files were written.
    EXPECT_EQ(1, std::count(run.err.begin(), run.err.end(), '\n')) << run.err;
  }
}

TEST_F(ReportTest, StopSignalWhileTheFilesAreWrittenEndsTheRunAndTheFilesSaySo) {
  // A report larger than a pipe holds, to a pipe whose reader stops taking
  // it: the signal comes while velmorjob writes it.
  std::string config = "[Job nightly]\n";
  for (int step = 0; step < 60; ++step) {
    config += "[Index]\n";
    for (const char* key : {"URL", "Exclude", "Language", "StartWord", "AFrom", "ATo", "Path"}) {
      config += std::string(key) + " " + std::string(240, 'v') + "\n";
    }
  }
  Config(config);
  ASSERT_EQ(0, mkfifo(dir_.File("report.fifo").c_str(), 0600));
  // Open before the run writes, so that it finds a reader.
  const int reader = open(dir_.File("report.fifo").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  fcntl(reader, F_SETFL, fcntl(reader, F_GETFL) & ~O_NONBLOCK);
  const TStarted run = Start({"--report=report.fifo", "--metrics=metrics.prom", "nightly"});
  // Until velmorjob opens it, the pipe has no writer and reads as ended.
  char first[16];
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  ssize_t got = 0;
  while ((got = read(reader, first, sizeof first)) == 0 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(5ms);
  }
  ASSERT_GT(got, 0);
  // Signalled while the pipe is full and velmorjob waits to write more.
  std::this_thread::sleep_for(300ms);
  kill(run.pid, SIGTERM);
  char buffer[4096];
  while (read(reader, buffer, sizeof buffer) > 0) {
  }
  close(reader);
  const TRun ended = Finish(run);
  EXPECT_EQ(143, ended.status);
  EXPECT_EQ("143", Sample("velmorjob_last_run_exit_status"));
}

TEST_F(ReportTest, HostileJobNamesAndLinesStayValid) {
  // A name with quotes, a backslash and bytes that are not UTF-8; a bad line
  // with control characters.
  const std::string job = "a\"b\\c\xff\xfe";
  Config("[Job " + job + "]\n[Index]\nBogus \x01\x1b[31m\xc3\n");
  const TRun run = Run(With({job}));
  EXPECT_EQ(2, run.status);
  CheckBoth("zero");
  EXPECT_THAT(Metrics(), HasSubstr("{job_name=\"a\\\"b\\\\c\xef\xbf\xbd"));
  EXPECT_THAT(Report(), Not(HasSubstr("\x01")));
}

TEST_F(ReportTest, AnotherJobsMetricsFileIsNotReplaced) {
  Config(kNightly);
  ASSERT_EQ(0, Run({"--metrics=nightly.prom", "nightly"}).status);
  const std::string nightly = dir_.Read("nightly.prom");
  // A mistyped job name: the job is not found, which is the worse status.
  const TRun mistyped = Run({"--metrics=nightly.prom", "nightlyy"});
  EXPECT_EQ(kBanner + "Job \"nightlyy\" not found in your config file.\n", mistyped.out);
  EXPECT_EQ(
      "velmorjob: metrics file [nightly.prom] is job \"nightly\"'s, not \"nightlyy\"'s: "
      "not written\n",
      mistyped.err);
  EXPECT_EQ(2, mistyped.status);
  EXPECT_EQ(nightly, dir_.Read("nightly.prom"));
  // Another job that runs well: the steps run, the run ends with 4.
  unlink(dir_.File("calls.log").c_str());
  const TRun weekly = Run({"--report=weekly.json", "--metrics=nightly.prom", "weekly"});
  EXPECT_EQ(kBanner, weekly.out);
  EXPECT_EQ(
      "velmorjob: metrics file [nightly.prom] is job \"nightly\"'s, not \"weekly\"'s: "
      "not written\n",
      weekly.err);
  EXPECT_EQ(4, weekly.status);
  EXPECT_EQ("indexer [--maxfiles=9]\n", Calls());
  EXPECT_EQ(nightly, dir_.Read("nightly.prom"));
  Check("check-metrics", "--job=nightly --last-success=set nightly.prom");
}

TEST_F(ReportTest, AMetricsFileThatCannotBeReadIsNotReplaced) {
  Config(kNightly);
  ASSERT_EQ(0, mkdir(dir_.File("metrics.prom").c_str(), 0755));
  const TRun run = Run({"--metrics=metrics.prom", "nightly"});
  EXPECT_EQ(kBanner, run.out);
  EXPECT_EQ("velmorjob: cannot write metrics metrics.prom: it is a directory\n", run.err);
  EXPECT_EQ(4, run.status);
  // A failed step is the more serious.
  Stub("runner", "exit 1");
  EXPECT_EQ(3, Run({"--metrics=metrics.prom", "nightly"}).status);
  EXPECT_TRUE(dir_.Exists("metrics.prom/."));
}

TEST_F(ReportTest, TheLastSuccessIsCarriedOverFromAnEarlierVersionsFile) {
  // As an earlier version wrote it, labelled job, then edited on another
  // system: CRLF line ends and none after the last line.
  Config(kNightly);
  dir_.Write("metrics.prom",
             "# TYPE velmorjob_last_run_exit_status gauge\r\n"
             "velmorjob_last_run_exit_status{job=\"nightly\"} 0\r\n"
             "# TYPE velmorjob_last_success_timestamp_seconds gauge\r\n"
             "velmorjob_last_success_timestamp_seconds{job=\"nightly\"} 1795000000.125");
  Stub("indexer", "exit 1");
  EXPECT_EQ(3, Run({"--metrics=metrics.prom", "nightly"}).status);
  Check("check-metrics", "--job=nightly --last-success=set metrics.prom");
  EXPECT_EQ("1795000000.125", Sample("velmorjob_last_success_timestamp_seconds"));
  EXPECT_THAT(Metrics(), Not(HasSubstr("{job=")));
}

TEST_F(ReportTest, EachStepThatRanHasItsSeries) {
  Config(kNightly);
  Stub("indexer", "sleep 0.3; exit 6");
  EXPECT_EQ(3, Run(With({"nightly"})).status);
  CheckBoth("zero");
  EXPECT_EQ("6", StepSample("velmorjob_last_run_step_exit_status", 1, "./indexer"));
  EXPECT_EQ("0", StepSample("velmorjob_last_run_step_exit_status", 2, "./runner"));
  EXPECT_GE(std::stod(StepSample("velmorjob_last_run_step_duration_seconds", 1, "./indexer")), 0.3);
  EXPECT_NE("", StepSample("velmorjob_last_run_step_duration_seconds", 2, "./runner"));
  EXPECT_EQ("1", Sample("velmorjob_last_run_failed_steps"));
  EXPECT_EQ("0", Sample("velmorjob_last_run_retries"));

  // The runner does not run after the failed indexer: it has no series.
  EXPECT_EQ(3, Run(With({"--exit-on-error", "nightly"})).status);
  CheckBoth("zero");
  EXPECT_EQ("6", StepSample("velmorjob_last_run_step_exit_status", 1, "./indexer"));
  EXPECT_THAT(Metrics(), Not(HasSubstr("step=\"2\"")));
  EXPECT_THAT(Metrics(), Not(HasSubstr("./runner")));

  // The shell cannot execute the indexer: it says so with 126.
  Stub("indexer", "");
  chmod(dir_.File("indexer").c_str(), 0644);
  EXPECT_EQ(3, Run(With({"nightly"})).status);
  CheckBoth("zero");
  EXPECT_EQ("126", StepSample("velmorjob_last_run_step_exit_status", 1, "./indexer"));
}

}  // namespace

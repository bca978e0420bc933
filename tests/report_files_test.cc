#include "report/report_files.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "status_word.h"

#include "report/previous_metrics.h"
#include "file_status.h"
#include "report/report_json.h"
#include "temp_dir.h"

namespace {

TRunRecord Record(const std::string& job, int exit_status, std::int64_t end_milliseconds) {
  TRunRecord record;
  record.job = job;
  record.config = "/srv/search.conf";
  record.directory = "/srv";
  record.host = "idx1";
  record.start = TWallClock::time_point(std::chrono::milliseconds(end_milliseconds - 2000));
  record.end = TWallClock::time_point(std::chrono::milliseconds(end_milliseconds));
  record.exit_status = exit_status;
  record.result = StatusWord(record.exit_status);
  return record;
}

std::string SuccessLine(const std::string& text) {
  const std::size_t at = text.find("\nvelmorjob_last_success_timestamp_seconds{");
  if (at == std::string::npos) return "";
  return text.substr(at + 1, text.find('\n', at + 1) - at - 1);
}

std::string Written(TMetricsWrite result) {
  switch (result) {
    case TMetricsWrite::kWritten: return "written";
    case TMetricsWrite::kNotTouched: return "not touched";
    case TMetricsWrite::kRefused: return "refused";
    case TMetricsWrite::kFailed: return "failed";
  }
  return "?";
}

// The metrics file of the job nightly as velmorjob 1.x wrote it, labelled
// job, with CRLF line ends and no final one, as an editor may leave it.
constexpr char kOldFile[] =
    "# HELP velmorjob_last_run_exit_status The exit status of the last run of the job.\r\n"
    "# TYPE velmorjob_last_run_exit_status gauge\r\n"
    "velmorjob_last_run_exit_status{job=\"nightly\"} 0\r\n"
    "# HELP velmorjob_last_success_timestamp_seconds When the last run of the job with exit "
    "status 0 ended, in seconds since the epoch.\r\n"
    "# TYPE velmorjob_last_success_timestamp_seconds gauge\r\n"
    "velmorjob_last_success_timestamp_seconds{job=\"nightly\"} 1795000000.125";

TEST(ReportFilesTest, TheLastSuccessIsCarriedOverThroughTheFile) {
  TTempDir dir;
  const std::string path = dir.File("velmorjob-nightly.prom");
  std::string reason;

  ASSERT_EQ("written", Written(WriteMetricsFile(path, Record("nightly", 3, 1796000000000), reason)))
      << reason;
  EXPECT_EQ("velmorjob_last_success_timestamp_seconds{job_name=\"nightly\"} 0",
            SuccessLine(dir.Read("velmorjob-nightly.prom")));

  ASSERT_EQ("written", Written(WriteMetricsFile(path, Record("nightly", 0, 1796000100250), reason)))
      << reason;
  const std::string success =
      "velmorjob_last_success_timestamp_seconds{job_name=\"nightly\"} 1796000100.250";
  EXPECT_EQ(success, SuccessLine(dir.Read("velmorjob-nightly.prom")));

  for (const int status : {3, 2, 4, 143}) {
    ASSERT_EQ("written",
              Written(WriteMetricsFile(path, Record("nightly", status, 1796000200000), reason)));
    EXPECT_EQ(success, SuccessLine(dir.Read("velmorjob-nightly.prom"))) << status;
  }

  ASSERT_EQ("written", Written(WriteMetricsFile(path, Record("nightly", 0, 1796000300000), reason)))
      << reason;
  EXPECT_EQ("velmorjob_last_success_timestamp_seconds{job_name=\"nightly\"} 1796000300.000",
            SuccessLine(dir.Read("velmorjob-nightly.prom")));
}

// A run whose status changes after its first write (a report that could
// not be written, a stop signal, a hook) writes the file again: the last
// success it carries over is the one from before the run, not the one its
// own first write put there.
TEST(ReportFilesTest, ASecondWriteOfOneRunCarriesOverTheLastSuccessFromBeforeTheRun) {
  const struct {
    const char* before;   // the file before the run, or null for none
    const char* success;  // the last success after the run's second write
  } cases[] = {
      {nullptr, "0"},
      {kOldFile, "1795000000.125"},
  };
  for (const auto& c : cases) {
    TTempDir dir;
    const std::string path =
        c.before ? dir.Write("nightly.prom", c.before) : dir.File("nightly.prom");
    std::string reason;
    std::optional<TPreviousSamples> before;
    ASSERT_EQ("written",
              Written(WriteMetricsFile(path, Record("nightly", 0, 1796000000000), before, reason)))
        << reason;
    EXPECT_EQ("velmorjob_last_success_timestamp_seconds{job_name=\"nightly\"} 1796000000.000",
              SuccessLine(dir.Read("nightly.prom")));
    ASSERT_EQ("written",
              Written(WriteMetricsFile(path, Record("nightly", 4, 1796000000000), before, reason)))
        << reason;
    EXPECT_EQ(
        std::string("velmorjob_last_success_timestamp_seconds{job_name=\"nightly\"} ") + c.success,
        SuccessLine(dir.Read("nightly.prom")));
  }
}

TEST(ReportFilesTest, TheLastSuccessIsCarriedOverFromAFileOfAnEarlierVersion) {
  TTempDir dir;
  const std::string path = dir.Write("nightly.prom", kOldFile);
  std::string reason;
  ASSERT_EQ("written", Written(WriteMetricsFile(path, Record("nightly", 3, 1796000000000), reason)))
      << reason;
  const std::string text = dir.Read("nightly.prom");
  EXPECT_EQ("velmorjob_last_success_timestamp_seconds{job_name=\"nightly\"} 1795000000.125",
            SuccessLine(text));
  EXPECT_EQ(std::string::npos, text.find("{job=")) << text;
}

TEST(ReportFilesTest, AnotherJobsFileIsLeftAsItIs) {
  TTempDir dir;
  const std::string path = dir.File("nightly.prom");
  std::string reason;
  ASSERT_EQ("written", Written(WriteMetricsFile(path, Record("nightly", 0, 1796000000000), reason)))
      << reason;
  const std::string nightly = dir.Read("nightly.prom");
  // A mistyped job name: not found, status 2; and a clean run of another job.
  for (const int status : {2, 0}) {
    EXPECT_EQ("refused",
              Written(WriteMetricsFile(path, Record("nightlyy", status, 1796000100000), reason)));
    EXPECT_EQ("is job \"nightly\"'s, not \"nightlyy\"'s", reason);
    EXPECT_EQ(nightly, dir.Read("nightly.prom"));
  }
  // The same for a file of an earlier version.
  dir.Write("old.prom", kOldFile);
  EXPECT_EQ("refused",
            Written(WriteMetricsFile(dir.File("old.prom"), Record("weekly", 0, 1), reason)));
  EXPECT_EQ("is job \"nightly\"'s, not \"weekly\"'s", reason);
  EXPECT_EQ(kOldFile, dir.Read("old.prom"));
}

TEST(ReportFilesTest, AFileThatCannotBeReadIsLeftAsItIs) {
  TTempDir dir;
  std::string reason;
  // A directory cannot be written at all, whatever the run: that is said
  // first.
  ASSERT_EQ(0, mkdir(dir.File("dir.prom").c_str(), 0755));
  for (const int status : {3, 0}) {
    EXPECT_EQ("failed", Written(WriteMetricsFile(dir.File("dir.prom"), Record("nightly", status, 1),
                                                 reason)));
    EXPECT_EQ("it is a directory", reason);
  }
  // Larger than any file velmorjob writes, even with this job's success.
  const std::string large = "velmorjob_last_success_timestamp_seconds{job_name=\"nightly\"} 5\n" +
                            std::string(kPreviousMetricsLimit, '#');
  dir.Write("large.prom", large);
  EXPECT_EQ("refused",
            Written(WriteMetricsFile(dir.File("large.prom"), Record("nightly", 3, 1), reason)));
  EXPECT_EQ("is larger than 4 MiB", reason);
  EXPECT_EQ(large, dir.Read("large.prom"));
}

TEST(ReportFilesTest, AFileWithoutReadPermissionIsLeftAsItIs) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads a file of mode 000";
  TTempDir dir;
  const std::string path = dir.Write("nightly.prom", kOldFile);
  ASSERT_EQ(0, chmod(path.c_str(), 0));
  std::string reason;
  EXPECT_EQ("refused", Written(WriteMetricsFile(path, Record("nightly", 3, 1), reason)));
  EXPECT_EQ("cannot be read (Permission denied)", reason);
  ASSERT_EQ(0, chmod(path.c_str(), 0644));
  EXPECT_EQ(kOldFile, dir.Read("nightly.prom"));
}

TEST(ReportFilesTest, ARunRefusedByTheLockLeavesTheMetricsAlone) {
  TTempDir dir;
  std::string reason;
  const std::string path = dir.Write("nightly.prom", kOldFile);
  EXPECT_EQ("not touched", Written(WriteMetricsFile(path, Record("nightly", 75, 1), reason)));
  EXPECT_EQ(kOldFile, dir.Read("nightly.prom"));
  EXPECT_EQ("not touched",
            Written(WriteMetricsFile(dir.File("new.prom"), Record("nightly", 75, 1), reason)));
  EXPECT_FALSE(dir.Exists("new.prom"));
  // Not even another job's file or one that cannot be read is told.
  EXPECT_EQ("not touched", Written(WriteMetricsFile(path, Record("weekly", 75, 1), reason)));
}

TEST(ReportFilesTest, WritesTheReportAndSaysWhyItCouldNot) {
  TTempDir dir;
  const TRunRecord record = Record("nightly", 0, 1796000000000);
  std::string reason;
  ASSERT_TRUE(WriteReportFile(dir.File("run.json"), record, reason)) << reason;
  EXPECT_EQ(ReportJson(record), dir.Read("run.json"));

  EXPECT_FALSE(WriteReportFile(dir.File("none/run.json"), record, reason));
  EXPECT_EQ("cannot create a temporary file in " + dir.File("none") + ": No such file or directory",
            reason);
  EXPECT_EQ("failed", Written(WriteMetricsFile(dir.File("none/x.prom"), record, reason)));
  EXPECT_EQ("cannot create a temporary file in " + dir.File("none") + ": No such file or directory",
            reason);
}

TEST(ReportFilesTest, TheReportIsTheOwnersAloneAndTheMetricsForAllToRead) {
  TTempDir dir;
  const TRunRecord record = Record("nightly", 0, 1796000000000);
  std::string reason;
  TUmask mask(027);
  ASSERT_TRUE(WriteReportFile(dir.File("run.json"), record, reason)) << reason;
  ASSERT_EQ(TMetricsWrite::kWritten, WriteMetricsFile(dir.File("run.prom"), record, reason))
      << reason;
  EXPECT_EQ(0600u, ModeOf(dir.File("run.json")));
  EXPECT_EQ(0640u, ModeOf(dir.File("run.prom")));
}

}  // namespace

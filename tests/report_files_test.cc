#include "report/report_files.h"

#include <chrono>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "status_word.h"

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

TEST(ReportFilesTest, TheLastSuccessIsCarriedOverThroughTheFile) {
  TTempDir dir;
  const std::string path = dir.File("velmorjob-nightly.prom");
  std::string reason;

  ASSERT_TRUE(WriteMetricsFile(path, Record("nightly", 3, 1796000000000), reason)) << reason;
  EXPECT_EQ("", SuccessLine(dir.Read("velmorjob-nightly.prom")));

  ASSERT_TRUE(WriteMetricsFile(path, Record("nightly", 0, 1796000100250), reason)) << reason;
  const std::string success =
      "velmorjob_last_success_timestamp_seconds{job=\"nightly\"} 1796000100.250";
  EXPECT_EQ(success, SuccessLine(dir.Read("velmorjob-nightly.prom")));

  for (const int status : {3, 2, 143, 75}) {
    ASSERT_TRUE(WriteMetricsFile(path, Record("nightly", status, 1796000200000), reason));
    EXPECT_EQ(success, SuccessLine(dir.Read("velmorjob-nightly.prom"))) << status;
  }

  ASSERT_TRUE(WriteMetricsFile(path, Record("nightly", 0, 1796000300000), reason)) << reason;
  EXPECT_EQ("velmorjob_last_success_timestamp_seconds{job=\"nightly\"} 1796000300.000",
            SuccessLine(dir.Read("velmorjob-nightly.prom")));

  // Another job's run into the same file does not inherit this job's time.
  ASSERT_TRUE(WriteMetricsFile(path, Record("weekly", 3, 1796000400000), reason)) << reason;
  EXPECT_EQ("", SuccessLine(dir.Read("velmorjob-nightly.prom")));
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
  EXPECT_FALSE(WriteMetricsFile(dir.File("none/x.prom"), record, reason));
  EXPECT_EQ("cannot create a temporary file in " + dir.File("none") + ": No such file or directory",
            reason);
}

TEST(ReportFilesTest, TheReportIsTheOwnersAloneAndTheMetricsForAllToRead) {
  TTempDir dir;
  const TRunRecord record = Record("nightly", 0, 1796000000000);
  std::string reason;
  TUmask mask(027);
  ASSERT_TRUE(WriteReportFile(dir.File("run.json"), record, reason)) << reason;
  ASSERT_TRUE(WriteMetricsFile(dir.File("run.prom"), record, reason)) << reason;
  EXPECT_EQ(0600u, ModeOf(dir.File("run.json")));
  EXPECT_EQ(0640u, ModeOf(dir.File("run.prom")));
}

TEST(ReportFilesTest, StagedFilesAppearOnlyWhenCommitted) {
  TTempDir dir;
  const TRunRecord first = Record("nightly", 0, 1796000000000);
  std::string reason;
  ASSERT_TRUE(WriteReportFile(dir.File("run.json"), first, reason)) << reason;
  ASSERT_TRUE(WriteMetricsFile(dir.File("run.prom"), first, reason)) << reason;
  const std::string report = dir.Read("run.json");
  const std::string metrics = dir.Read("run.prom");

  const TRunRecord second = Record("nightly", 3, 1796000100000);
  TStagedFile report_file;
  TStagedFile metrics_file;
  ASSERT_TRUE(StageReportFile(report_file, dir.File("run.json"), second, reason)) << reason;
  ASSERT_TRUE(StageMetricsFile(metrics_file, dir.File("run.prom"), second, reason)) << reason;
  EXPECT_EQ(report, dir.Read("run.json"));
  EXPECT_EQ(metrics, dir.Read("run.prom"));
  ASSERT_TRUE(report_file.Commit(reason)) << reason;
  ASSERT_TRUE(metrics_file.Commit(reason)) << reason;
  EXPECT_EQ(ReportJson(second), dir.Read("run.json"));
  // The last success was read from the file before it was replaced.
  EXPECT_EQ(SuccessLine(metrics), SuccessLine(dir.Read("run.prom")));
  EXPECT_NE("", SuccessLine(metrics));
  EXPECT_NE(metrics, dir.Read("run.prom"));
}

}  // namespace

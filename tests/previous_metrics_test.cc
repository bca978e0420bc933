#include "report/previous_metrics.h"

#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "status_word.h"

#include "report/metrics_text.h"
#include "temp_dir.h"

namespace {

TRunRecord Succeeded(const std::string& job, std::int64_t end_milliseconds) {
  TRunRecord record;
  record.job = job;
  record.start = TWallClock::time_point(std::chrono::milliseconds(end_milliseconds - 1000));
  record.end = TWallClock::time_point(std::chrono::milliseconds(end_milliseconds));
  record.exit_status = 0;
  record.result = StatusWord(record.exit_status);
  TStepRecord step;
  step.number = 1;
  step.program = "./indexer";
  step.result = TStepResult::FromWaitStatus(0);
  record.steps = {step};
  return record;
}

std::optional<double> LastSuccess(std::string_view text, std::string_view job) {
  return PreviousSamples(text, job).last_success;
}

std::optional<std::string> OtherJob(std::string_view text, std::string_view job) {
  return PreviousSamples(text, job).other_job;
}

TEST(PreviousMetricsTest, FindsTheLastSuccessThatMetricsTextWrote) {
  for (const std::string job : {"nightly", "", "a\"b\\c\nd", "bad\xFF\xC3 name", "x}=,\" 1"}) {
    const std::string text = MetricsText(Succeeded(job, 1796869861623), std::nullopt);
    EXPECT_EQ(1796869861.623, LastSuccess(text, job)) << text;
    EXPECT_EQ(std::nullopt, OtherJob(text, job)) << text;
    // The carried-over value reads back the same again.
    TRunRecord failed = Succeeded(job, 1796999999000);
    failed.exit_status = 3;
    failed.result = StatusWord(failed.exit_status);
    EXPECT_EQ(1796869861.623, LastSuccess(MetricsText(failed, LastSuccess(text, job)), job));
  }
}

TEST(PreviousMetricsTest, AnotherJobsSamplesAreToldAndNotTaken) {
  const std::string text = MetricsText(Succeeded("nightly", 1796869861623), std::nullopt);
  for (const char* other : {"night", "nightly2", "Nightly", "nightly ", "\"nightly\""}) {
    EXPECT_EQ(std::nullopt, LastSuccess(text, other)) << other;
    EXPECT_EQ("nightly", OtherJob(text, other)) << other;
  }
  // The name as the file holds it, escapes undone.
  EXPECT_EQ("a\"b\nc", OtherJob(MetricsText(Succeeded("a\"b\nc", 1), std::nullopt), "x"));
}

TEST(PreviousMetricsTest, ASamplesJobIsItsJobNameLabelOrElseItsJobLabel) {
  const struct {
    const char* text;
    std::optional<double> last_success;
    std::optional<std::string> other_job;
  } cases[] = {
      // As earlier versions wrote the file.
      {"velmorjob_last_success_timestamp_seconds{job=\"x\"} 17.5\n", 17.5, std::nullopt},
      {"velmorjob_last_success_timestamp_seconds{job=\"y\"} 17.5\n", std::nullopt, "y"},
      // job_name decides when both are there, in either order.
      {"velmorjob_last_success_timestamp_seconds{job=\"node\",job_name=\"x\"} 5\n", 5,
       std::nullopt},
      {"velmorjob_last_success_timestamp_seconds{job_name=\"y\",job=\"x\"} 5\n", std::nullopt, "y"},
      // Any sample tells whose the file is, the first other job is named.
      {"velmorjob_last_run_exit_status{job_name=\"x\"} 0\n"
       "some_other_gauge{instance=\"a\",job=\"y\"} 1\n"
       "velmorjob_last_run_exit_status{job_name=\"z\"} 0\n",
       std::nullopt, "y"},
      {"velmorjob_last_run_exit_status{job_name=\"y\"} NaN\n", std::nullopt, "y"},
      {"velmorjob_last_run_exit_status{job_name=\"y\"} +Inf 17\n", std::nullopt, "y"},
      // Samples with no job, comments and malformed lines are nobody's.
      {"velmorjob_last_success_timestamp_seconds{instance=\"y\"} 5\n"
       "velmorjob_last_success_timestamp_seconds 6\n"
       "# velmorjob_last_run_exit_status{job_name=\"y\"} 0\n"
       "# HELP velmorjob_last_run_exit_status {job_name=\"y\"} 0\n"
       "velmorjob_last_run_exit_status{job_name=\"y\"} zero\n"
       "velmorjob_last_run_exit_status{job_name=\"y\" 0\n",
       std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    const TPreviousSamples samples = PreviousSamples(c.text, "x");
    EXPECT_EQ(c.last_success, samples.last_success) << c.text;
    EXPECT_EQ(c.other_job, samples.other_job) << c.text;
  }
}

TEST(PreviousMetricsTest, ReadsTheSampleLinesOfTheTextFormat) {
  const std::string filler(70 * 1024, 'x');
  const struct {
    std::string text;
    std::optional<double> value;
  } cases[] = {
      {"velmorjob_last_success_timestamp_seconds{job_name=\"x\"} 17.5\n", 17.5},
      {"  velmorjob_last_success_timestamp_seconds\t{ job_name = \"x\" , }\t17.5  \n", 17.5},
      {"velmorjob_last_success_timestamp_seconds{instance=\"a\",job_name=\"x\"} 1.5e9\n", 1.5e9},
      {"velmorjob_last_success_timestamp_seconds{job_name=\"x\"} +17\n", 17},
      {"velmorjob_last_success_timestamp_seconds{job_name=\"x\"} 17 1700000000000\n", 17},
      {"velmorjob_last_success_timestamp_seconds{job_name=\"x\"} 1\n"
       "velmorjob_last_success_timestamp_seconds{job_name=\"x\"} 3\n",
       3},
      {"garbage\n\xFF\xFE\n{\"}\nvelmorjob_last_success_timestamp_seconds{job_name=\"x\"} 4\n", 4},
      // Line ends: CRLF, and a last line without one.
      {"velmorjob_last_success_timestamp_seconds{job_name=\"x\"} 17\r\n", 17},
      {"# HELP a b\r\nvelmorjob_last_success_timestamp_seconds{job_name=\"x\"} 18 5\r\n# EOF\r\n",
       18},
      {"velmorjob_last_success_timestamp_seconds{job_name=\"x\"} 19", 19},
      {"velmorjob_last_success_timestamp_seconds{job_name=\"x\"} 20\r", 20},
      {"# a\nvelmorjob_last_success_timestamp_seconds{job_name=\"x\"} 1\n"
       "velmorjob_last_success_timestamp_seconds{job_name=\"x\"} 21",
       21},
      // Far into the file, behind a long line.
      {"# " + filler + "\nvelmorjob_last_success_timestamp_seconds{job_name=\"x\"} 22\n", 22},
      {filler + "\r\nvelmorjob_last_success_timestamp_seconds{job_name=\"x\"} 23", 23},
      // Zero is a time; below it and not finite are not.
      {"velmorjob_last_success_timestamp_seconds{job_name=\"x\"} 0\n", 0},
      {"velmorjob_last_success_timestamp_seconds{job_name=\"x\"} -0.001\n", std::nullopt},
      {"velmorjob_last_success_timestamp_seconds{job_name=\"x\"} -1796869861.623\n", std::nullopt},
      {"velmorjob_last_success_timestamp_seconds{job_name=\"x\"} NaN\n", std::nullopt},
      {"velmorjob_last_success_timestamp_seconds{job_name=\"x\"} +Inf\n", std::nullopt},
      {"velmorjob_last_success_timestamp_seconds{job_name=\"x\"} inf\n", std::nullopt},
      // A bad value does not hide the good one before it.
      {"velmorjob_last_success_timestamp_seconds{job_name=\"x\"} 24\n"
       "velmorjob_last_success_timestamp_seconds{job_name=\"x\"} -5\n",
       24},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.value, LastSuccess(c.text, "x")) << c.text.substr(0, 100);
  }
}

TEST(PreviousMetricsTest, PassesOverLinesThatAreNotWellFormedSamples) {
  for (const std::string line : {
           "# velmorjob_last_success_timestamp_seconds{job_name=\"x\"} 17\n",
           "velmorjob_last_success_timestamp_seconds_total{job_name=\"x\"} 17\n",
           "xvelmorjob_last_success_timestamp_seconds{job_name=\"x\"} 17\n",
           "velmorjob_last_success_timestamp_seconds 17\n",
           "velmorjob_last_success_timestamp_seconds{job_name=\"x\"}\n",
           "velmorjob_last_success_timestamp_seconds{job_name=\"x\"} \n",
           "velmorjob_last_success_timestamp_seconds{job_name=\"x\"} 17abc\n",
           "velmorjob_last_success_timestamp_seconds{job_name=\"x\"} +-17\n",
           "velmorjob_last_success_timestamp_seconds{job_name=\"x\"} 17\r\r\n",
           "velmorjob_last_success_timestamp_seconds{job_name=\"x\"} 17 now\n",
           "velmorjob_last_success_timestamp_seconds{job_name=\"x\"} 17 1 2\n",
           "velmorjob_last_success_timestamp_seconds{job_name=\"x\" 17\n",
           "velmorjob_last_success_timestamp_seconds{job_name=\"x} 17\n",
           "velmorjob_last_success_timestamp_seconds{job_name=x} 17\n",
           "velmorjob_last_success_timestamp_seconds{job_name\"x\"} 17\n",
           "velmorjob_last_success_timestamp_seconds{=\"x\"} 17\n",
           "velmorjob_last_success_timestamp_seconds{job_name=\"x\"job=\"x\"} 17\n",
           "velmorjob_last_success_timestamp_seconds{job_name=\"\\x\"} 17\n",
           "velmorjob_last_success_timestamp_seconds{job_name=\"x\\\"} 17\n",
       }) {
    EXPECT_EQ(std::nullopt, LastSuccess(line, "x")) << line;
  }
}

TEST(PreviousMetricsTest, ReadsAnOrdinaryFileWhole) {
  TTempDir dir;
  // Longer than a block of the reader, with CRLF line ends and no final one.
  std::string content;
  while (content.size() < 200 * 1024) content += "# HELP velmorjob_x a long comment\r\n";
  content += "velmorjob_last_run_exit_status{job_name=\"x\"} 0";
  std::string text = "left over";
  std::string reason;
  EXPECT_TRUE(ReadPreviousMetrics(dir.Write("x.prom", content), text, reason)) << reason;
  EXPECT_EQ(content, text);
  EXPECT_TRUE(ReadPreviousMetrics(dir.Write("empty.prom", ""), text, reason)) << reason;
  EXPECT_EQ("", text);
}

TEST(PreviousMetricsTest, AFileUpToTheLimitIsReadAndALargerOneIsNot) {
  TTempDir dir;
  std::string text;
  std::string reason;
  const std::string full(kPreviousMetricsLimit, '#');
  EXPECT_TRUE(ReadPreviousMetrics(dir.Write("full.prom", full), text, reason)) << reason;
  EXPECT_EQ(full.size(), text.size());
  EXPECT_FALSE(ReadPreviousMetrics(dir.Write("over.prom", full + "\n"), text, reason));
  EXPECT_EQ("is larger than 4 MiB", reason);
  EXPECT_EQ("", text);
}

TEST(PreviousMetricsTest, NothingToReadIsNoError) {
  TTempDir dir;
  ASSERT_EQ(0, mkfifo(dir.File("fifo").c_str(), 0644));
  for (const std::string& path :
       {dir.File("missing"), dir.File("missing/x.prom"), dir.Write("file", "") + "/x.prom",
        dir.File("fifo"), std::string("/dev/null"), std::string("/dev/zero")}) {
    std::string text = "left over";
    std::string reason;
    EXPECT_TRUE(ReadPreviousMetrics(path, text, reason)) << path << ": " << reason;
    EXPECT_EQ("", text) << path;
  }
}

TEST(PreviousMetricsTest, AFifoIsNeitherReadNorWaitedOn) {
  TTempDir dir;
  const std::string fifo = dir.File("fifo");
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0644));
  // Both ends open here: what was written waits in the FIFO for its reader.
  const int fd = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_LE(0, fd);
  ASSERT_EQ(3, write(fd, "abc", 3));
  std::string text;
  std::string reason;
  EXPECT_TRUE(ReadPreviousMetrics(fifo, text, reason)) << reason;
  EXPECT_EQ("", text);
  char got[8] = {};
  EXPECT_EQ(3, read(fd, got, sizeof got));
  EXPECT_EQ(std::string("abc"), got);
  close(fd);
}

TEST(PreviousMetricsTest, AFileThatCannotBeReadIsTold) {
  TTempDir dir;
  ASSERT_EQ(0, mkdir(dir.File("dir").c_str(), 0755));
  std::string text = "left over";
  std::string reason;
  EXPECT_FALSE(ReadPreviousMetrics(dir.File("dir"), text, reason));
  EXPECT_EQ("cannot be read (Is a directory)", reason);
  EXPECT_EQ("", text);
  // A link to what cannot be read counts as that.
  ASSERT_EQ(0, symlink("dir", dir.File("link").c_str()));
  EXPECT_FALSE(ReadPreviousMetrics(dir.File("link"), text, reason));
  EXPECT_EQ("cannot be read (Is a directory)", reason);
  // So does a link that leads nowhere in the end.
  ASSERT_EQ(0, symlink("loop", dir.File("loop").c_str()));
  EXPECT_FALSE(ReadPreviousMetrics(dir.File("loop"), text, reason));
  EXPECT_EQ("cannot be read (Too many levels of symbolic links)", reason);
}

TEST(PreviousMetricsTest, AReadThatFailsIsNotTheEndOfTheFile) {
  // Reading this process's memory from address 0 fails with EIO.
  if (access("/proc/self/mem", F_OK) != 0) GTEST_SKIP() << "no /proc";
  std::string text = "left over";
  std::string reason;
  EXPECT_FALSE(ReadPreviousMetrics("/proc/self/mem", text, reason));
  EXPECT_EQ("cannot be read (Input/output error)", reason);
  EXPECT_EQ("", text);
}

TEST(PreviousMetricsTest, AFileWithoutReadPermissionIsTold) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads a file of mode 000";
  TTempDir dir;
  const std::string path =
      dir.Write("x.prom", "velmorjob_last_run_exit_status{job_name=\"x\"} 0\n");
  ASSERT_EQ(0, chmod(path.c_str(), 0));
  std::string text;
  std::string reason;
  EXPECT_FALSE(ReadPreviousMetrics(path, text, reason));
  EXPECT_EQ("cannot be read (Permission denied)", reason);
}

}  // namespace

#include "report/previous_metrics.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <sys/stat.h>

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
  return record;
}

TEST(PreviousMetricsTest, FindsTheLastSuccessThatMetricsTextWrote) {
  for (const std::string job : {"nightly", "", "a\"b\\c\nd", "bad\xFF\xC3 name", "x}=,\" 1"}) {
    const std::string text = MetricsText(Succeeded(job, 1796869861623), std::nullopt);
    EXPECT_EQ(1796869861.623, LastSuccess(text, job)) << text;
    // The carried-over value reads back the same again.
    TRunRecord failed = Succeeded(job, 1796999999000);
    failed.exit_status = 3;
    failed.result = StatusWord(failed.exit_status);
    EXPECT_EQ(1796869861.623, LastSuccess(MetricsText(failed, LastSuccess(text, job)), job));
  }
}

TEST(PreviousMetricsTest, OnlyTheSameJobsSampleCounts) {
  const std::string text = MetricsText(Succeeded("nightly", 1796869861623), std::nullopt);
  for (const char* other : {"night", "nightly2", "Nightly", "nightly ", "\"nightly\""}) {
    EXPECT_EQ(std::nullopt, LastSuccess(text, other)) << other;
  }
  EXPECT_EQ(std::nullopt,
            LastSuccess("velmorjob_last_success_timestamp_seconds{instance=\"nightly\"} 5\n"
                        "velmorjob_last_run_timestamp_seconds{job_name=\"nightly\"} 6\n",
                        "nightly"));
}

TEST(PreviousMetricsTest, ReadsTheSampleLinesOfTheTextFormat) {
  const struct {
    const char* text;
    std::optional<double> value;
  } cases[] = {
      {"velmorjob_last_success_timestamp_seconds{job_name=\"x\"} 17.5\n", 17.5},
      {"  velmorjob_last_success_timestamp_seconds\t{ job_name = \"x\" , }\t17.5  \n", 17.5},
      {"velmorjob_last_success_timestamp_seconds{instance=\"a\",job_name=\"x\"} 1.5e9\n", 1.5e9},
      {"velmorjob_last_success_timestamp_seconds{job_name=\"x\"} 17 1700000000000\n", 17},
      {"velmorjob_last_success_timestamp_seconds{job_name=\"x\"} 1\n"
       "velmorjob_last_success_timestamp_seconds{job_name=\"y\"} 2\n"
       "velmorjob_last_success_timestamp_seconds{job_name=\"x\"} 3\n",
       3},
      {"garbage\n\xFF\xFE\n{\"}\nvelmorjob_last_success_timestamp_seconds{job_name=\"x\"} 4\n", 4},
  };
  for (const auto& c : cases) EXPECT_EQ(c.value, LastSuccess(c.text, "x")) << c.text;
}

TEST(PreviousMetricsTest, PassesOverLinesThatAreNotWellFormedSamples) {
  for (const std::string line : {
           "velmorjob_last_success_timestamp_seconds{job_name=\"x\"} 17",  // no line feed
           "# velmorjob_last_success_timestamp_seconds{job_name=\"x\"} 17\n",
           "velmorjob_last_success_timestamp_seconds_total{job_name=\"x\"} 17\n",
           "xvelmorjob_last_success_timestamp_seconds{job_name=\"x\"} 17\n",
           "velmorjob_last_success_timestamp_seconds 17\n",
           "velmorjob_last_success_timestamp_seconds{job_name=\"x\"}\n",
           "velmorjob_last_success_timestamp_seconds{job_name=\"x\"} \n",
           "velmorjob_last_success_timestamp_seconds{job_name=\"x\"} 17abc\n",
           "velmorjob_last_success_timestamp_seconds{job_name=\"x\"} NaN\n",
           "velmorjob_last_success_timestamp_seconds{job_name=\"x\"} +Inf\n",
           "velmorjob_last_success_timestamp_seconds{job_name=\"x\"} inf\n",
           "velmorjob_last_success_timestamp_seconds{job_name=\"x\"} 17 now\n",
           "velmorjob_last_success_timestamp_seconds{job_name=\"x\"} 17 1 2\n",
           "velmorjob_last_success_timestamp_seconds{job_name=\"x\" 17\n",
           "velmorjob_last_success_timestamp_seconds{job_name=\"x} 17\n",
           "velmorjob_last_success_timestamp_seconds{job_name=x} 17\n",
           "velmorjob_last_success_timestamp_seconds{job_name\"x\"} 17\n",
           "velmorjob_last_success_timestamp_seconds{=\"x\"} 17\n",
           // The label a scrape adds is not the job's.
           "velmorjob_last_success_timestamp_seconds{job=\"x\"} 17\n",
           "velmorjob_last_success_timestamp_seconds{job_name=\"x\"job_name=\"x\"} 17\n",
           "velmorjob_last_success_timestamp_seconds{job_name=\"\\x\"} 17\n",
           "velmorjob_last_success_timestamp_seconds{job_name=\"x\\\"} 17\n",
       }) {
    EXPECT_EQ(std::nullopt, LastSuccess(line, "x")) << line;
  }
}

TEST(PreviousMetricsTest, ReadsAnOrdinaryFileWhole) {
  TTempDir dir;
  const std::string content = "velmorjob_last_run_exit_status{job_name=\"x\"} 0\n";
  EXPECT_EQ(content, ReadPreviousMetrics(dir.Write("x.prom", content)));
}

TEST(PreviousMetricsTest, ReadsNothingFromWhatIsNotAnOrdinaryFile) {
  TTempDir dir;
  ASSERT_EQ(0, mkfifo(dir.File("fifo").c_str(), 0644));
  ASSERT_EQ(0, mkdir(dir.File("dir").c_str(), 0755));
  // Opening a FIFO with no writer would block for ever.
  for (const char* name : {"missing", "fifo", "dir"}) {
    EXPECT_EQ("", ReadPreviousMetrics(dir.File(name))) << name;
  }
  EXPECT_EQ("", ReadPreviousMetrics("/dev/zero"));
}

TEST(PreviousMetricsTest, ReadsOnlyTheStartOfAHugeFile) {
  TTempDir dir;
  const std::string line =
      "velmorjob_last_success_timestamp_seconds{job_name=\"x\"} 1796869861.623\n";
  std::string content;
  while (content.size() < kPreviousMetricsLimit + 4096) content += line;
  const std::string read = ReadPreviousMetrics(dir.Write("huge.prom", content));
  EXPECT_EQ(content.substr(0, kPreviousMetricsLimit), read);
  // The line cut at the limit does not count with a wrong value.
  EXPECT_EQ(1796869861.623, LastSuccess(read, "x"));
  EXPECT_EQ(std::nullopt, LastSuccess(read.substr(0, line.size() - 5), "x"));
}

}  // namespace

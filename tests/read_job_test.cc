#include "job/read_job.h"

#include <cerrno>
#include <unistd.h>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/read_state.h"
#include "job/command_text.h"
#include "temp_dir.h"

namespace {

class ReadJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ran_.clear();
    handed_over_ = false;
    bad_line_.clear();
    jobend = 0;
  }
  void TearDown() override {
    fp.Close();
    fp.SetReadFunction(::read);
    jobend = 0;
  }

  // Opens the file and reads up to and including the first line, the job
  // header, as the lookup does.
  void OpenAtHeader(const std::string& content) {
    ASSERT_TRUE(fp.Open(dir_.Write("conf", content).c_str()));
    ClearLine();
    ASSERT_EQ(TRead::kLine, ReadLine(counter_));
  }

  long Read() {
    const TJobSteps steps = {[this](const TServer* head) {
                               handed_over_ = true;
                               for (const TServer* step = head; step != nullptr;
                                    step = step->next.get()) {
                                 ran_.push_back(CommandText(*step));
                               }
                             },
                             [this](long counter, const TScannedLine& line, const std::string& job,
                                    const std::string& step) {
                               EXPECT_EQ(TLineKind::kBadLine, line.kind);
                               bad_line_ = LineError(counter, "").text;
                               bad_job_ = job;
                               bad_step_ = step;
                             }};
    return ReadJob(counter_, steps);
  }

  TTempDir dir_;
  long counter_ = 0;
  // What was handed up of a bad line: its message, its job and step kind.
  std::string bad_line_;
  std::string bad_job_;
  std::string bad_step_;
  // The command texts of the steps handed over, and whether they were.
  std::vector<std::string> ran_;
  bool handed_over_ = false;
};

TEST_F(ReadJobTest, ReadsTheSectionToTheNextJobHeaderAndRunsItsSteps) {
  OpenAtHeader("[Job a]\n[Index]\nMaxFiles 5\n[Runner]\nFilename r\n[Job b]\n[Index]\n");
  EXPECT_EQ(6, Read());
  EXPECT_EQ(1, jobend);
  EXPECT_EQ("", bad_line_);
  EXPECT_EQ((std::vector<std::string>{"./indexer  --maxfiles=5", "./runner  --program=r"}), ran_);
  // The header that ended the section was consumed: reading goes on after it.
  ASSERT_EQ(TRead::kLine, ReadLine(counter_));
  EXPECT_STREQ("[Index]\n", str);
}

TEST_F(ReadJobTest, BadLineIsReportedAndNothingRuns) {
  OpenAtHeader("[Job a]\n[Index]\nMaxFiles 5\nBogus 1\n[Runner]\n[Job b]\n");
  EXPECT_EQ(4, Read());
  EXPECT_EQ(0, jobend);
  EXPECT_EQ("Error at line 4:\nBogus 1\n", bad_line_);
  EXPECT_TRUE(ran_.empty());
  EXPECT_EQ("a", bad_job_);
  EXPECT_EQ("Index", bad_step_);
  // The lookup scans on from the line after the bad one.
  long counter = 4;
  ASSERT_EQ(TRead::kLine, ReadLine(counter));
  EXPECT_STREQ("[Runner]\n", str);
}

TEST_F(ReadJobTest, HeaderOnTheLastLineEndsTheSectionAtOnce) {
  for (const char* content : {"[Job a]", "[Job a]\n"}) {
    SCOPED_TRACE(content);
    SetUp();
    counter_ = 0;
    OpenAtHeader(content);
    Read();
    EXPECT_EQ(1, jobend);
    EXPECT_EQ("", bad_line_);
    // Handed over without steps: the run decides that nothing runs.
    EXPECT_TRUE(handed_over_);
    EXPECT_TRUE(ran_.empty());
    fp.Close();
  }
}

TEST_F(ReadJobTest, SettingBeforeTheFirstStepIsAnError) {
  OpenAtHeader("[Job a]\n[index]\nMaxFiles 5\n[Index]\n");
  EXPECT_EQ(3, Read());
  EXPECT_EQ("Error at line 3:\nMaxFiles 5\n", bad_line_);
  EXPECT_EQ(0, jobend);
  EXPECT_TRUE(ran_.empty());
}

// Fails as a disk that gives up would.
ssize_t FailingRead(int, void*, std::size_t) {
  errno = EIO;
  return -1;
}

TEST_F(ReadJobTest, ReadErrorInsideTheSectionRunsNothing) {
  // The whole small file arrives in the first block, which OpenAtHeader
  // reads; the read after it fails instead of finding the end of the file.
  OpenAtHeader("[Job a]\n[Index]\nMaxFiles 5\n[Runner]\n");
  fp.SetReadFunction(FailingRead);
  Read();
  EXPECT_TRUE(fp.Error());
  EXPECT_EQ(0, jobend);
  EXPECT_EQ("", bad_line_);
  EXPECT_FALSE(handed_over_);
}

TEST_F(ReadJobTest, MalformedJobHeaderEndsTheSectionToo) {
  // The setting after the malformed header belongs to no job.
  OpenAtHeader("[Job a]\n[Index]\n[Job \nMaxFiles 5\n");
  EXPECT_EQ(3, Read());
  EXPECT_EQ(1, jobend);
  EXPECT_EQ((std::vector<std::string>{"./indexer "}), ran_);
}

}  // namespace

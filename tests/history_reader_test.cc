#include "history/history_reader.h"

#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "history/history_file.h"
#include "history/sqlite.h"

namespace {

using ::testing::ElementsAre;

// An empty history of this version, in memory.
void OpenEmptyHistory(TDatabase& db) {
  ASSERT_TRUE(db.Open(":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, 0));
  ASSERT_TRUE(db.Execute(kHistoryMigrations[0].sql)) << db.Error();
}

// Rows of runs that differ in their job alone, given as SQL values.
void AddRunsOf(TDatabase& db, const std::vector<std::string>& jobs) {
  int run = 0;
  for (const std::string& job : jobs) {
    const std::string insert =
        "INSERT INTO velmorjob_runs (run_id, job, config_file, working_directory, host, pid, "
        "boot_id, process_start, from_step, retries, retry_delay, start_time, result) "
        "VALUES ('run-" +
        std::to_string(++run) + "', " + job + ", '', '', '', 0, '', 0, 1, 0, 0, 0, 'ok')";
    ASSERT_TRUE(db.Execute(insert.c_str())) << db.Error();
  }
}

TEST(HistoryReaderTest, JobsAreTheTextNamesInByteOrderEachOnce) {
  TDatabase db;
  OpenEmptyHistory(db);
  AddRunsOf(db, {"'b'", "'a'", "'b'", "'\xC3\xA9'", "'B'", "''"});
  THistoryReader reader(db, "here");
  std::vector<std::string> jobs;
  ASSERT_TRUE(reader.Jobs(jobs)) << db.Error();
  EXPECT_THAT(jobs, ElementsAre("", "B", "a", "b", "\xC3\xA9"));
}

TEST(HistoryReaderTest, JobsLeaveOutNamesThatAreNoText) {
  // A blob sorts after every text: one with the bytes of a text name would
  // make the job's line twice, and another would come out of order.
  TDatabase db;
  OpenEmptyHistory(db);
  AddRunsOf(db, {"'b'", "X'62'", "'a'", "X'00'"});
  THistoryReader reader(db, "here");
  std::vector<std::string> jobs;
  ASSERT_TRUE(reader.Jobs(jobs)) << db.Error();
  EXPECT_THAT(jobs, ElementsAre("a", "b"));
}

}  // namespace

#include "history/history_writer.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "history/history_file.h"
#include "report/time_text.h"
#include "sqlite_query.h"
#include "temp_dir.h"
#include "wall_time.h"

namespace {

constexpr std::int64_t kStart = 1796869800123;  // 2026-12-10T02:30:00.123Z
constexpr std::int64_t kDay = 86'400'000;

TRunRecord Record(const std::string& job, const std::string& run_id) {
  TRunRecord record;
  record.job = job;
  record.run_id = run_id;
  record.config = "/srv/search/search.conf";
  record.directory = "/srv/search";
  record.host = OwnHostName();
  record.start = At(kStart);
  return record;
}

TStepRecord Attempt(int number, int attempt, std::int64_t start) {
  TStepRecord step;
  step.number = number;
  step.attempt = attempt;
  step.kind = "Index";
  step.program = "./indexer";
  step.command = "./indexer  --maxfiles=500";
  step.start = At(start);
  return step;
}

// A process id that no process has: a child's, once it has been reaped.
pid_t GonePid() {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  return child;
}

class HistoryWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string reason;
    ASSERT_TRUE(OpenHistory(path_, THistoryAccess::kWrite, db_, reason)) << reason;
  }

  // Puts a run into the file as another run left it.
  void Put(std::int64_t id, const std::string& job, const std::string& host, pid_t pid,
           std::int64_t process_start, std::int64_t start, const std::string& end,
           const std::string& result) {
    const std::string own_boot = OwnProcess().boot_id;
    ASSERT_EQ("", Query(path_,
                        "INSERT INTO velmorjob_runs (id, run_id, job, config_file, "
                        "working_directory, host, pid, boot_id, process_start, from_step, "
                        "retries, retry_delay, start_time, end_time, result) VALUES (" +
                            std::to_string(id) + ", 'run" + std::to_string(id) + "', '" + job +
                            "', '/c', '/d', '" + host + "', " + std::to_string(pid) + ", '" +
                            own_boot + "', " + std::to_string(process_start) + ", 1, 0, 30, " +
                            std::to_string(start) + ", " + end + ", '" + result +
                            "');"
                            "INSERT INTO velmorjob_attempts (run, number, attempt, kind, "
                            "program, command, start_time) VALUES (" +
                            std::to_string(id) + ", 1, 1, 'Index', './indexer', 'x', 0)"));
  }

  TTempDir dir_;
  const std::string path_ = dir_.File("history");
  TDatabase db_;
};

TEST_F(HistoryWriterTest, WritesTheRunAsItGoes) {
  THistoryWriter writer(db_);
  TRunRecord record = Record("nightly", "run-a");
  TRunSetup setup;
  setup.process = OwnProcess();
  setup.steps = 2;
  setup.job_timeout = 3600;
  setup.retries = 2;
  setup.retry_delay = 0.5;
  setup.retry_on = "75,timeout";
  ASSERT_TRUE(writer.Start(record, setup));
  EXPECT_EQ("nightly|" + std::to_string(getpid()) + "|2|NULL|3600.0|2|0.5|75,timeout|" +
                std::to_string(kStart) + "|NULL|NULL|running\n",
            Query(path_,
                  "SELECT job, pid, steps, timeout, job_timeout, retries, retry_delay, "
                  "retry_on, start_time, end_time, exit_status, result "
                  "FROM velmorjob_runs"));

  TStepRecord first = Attempt(1, 1, kStart + 5);
  ASSERT_TRUE(writer.StartAttempt(first));
  EXPECT_EQ("1|1|./indexer|" + std::to_string(kStart + 5) + "|NULL\n",
            Query(path_,
                  "SELECT number, attempt, program, start_time, duration "
                  "FROM velmorjob_attempts"));
  first.seconds = 1.5;
  first.result = TStepResult::FromWaitStatus(9, TStepResult::TStop::kTimeout);
  first.output_tail = "end of it\n";
  first.output_bytes = 123456;
  ASSERT_TRUE(writer.EndAttempt(first, true));
  TStepRecord second = Attempt(1, 2, kStart + 2000);
  ASSERT_TRUE(writer.StartAttempt(second));
  second.seconds = 0.25;
  second.result = TStepResult::FromWaitStatus(3 << 8);
  // The tail --quiet keeps for itself is not the history's.
  second.output_tail = "quiet's own\n";
  second.output_bytes = 12;
  ASSERT_TRUE(writer.EndAttempt(second, false));
  EXPECT_EQ(
      "1|1.5|NULL|9|1|timeout|end of it\n|123456\n"
      "2|0.25|3|NULL|0|NULL|NULL|NULL\n",
      Query(path_,
            "SELECT attempt, duration, exit_status, signal, timed_out, stopped, "
            "output_tail, output_bytes FROM velmorjob_attempts ORDER BY attempt"));

  record.steps = {first, second};
  record.ended = true;
  record.end = At(kStart + 9000);
  record.exit_status = 3;
  record.result = "step-failed";
  ASSERT_TRUE(writer.End(record, setup, TRetention()));
  EXPECT_EQ(std::to_string(kStart + 9000) + "|3|step-failed|1\n",
            Query(path_,
                  "SELECT end_time, exit_status, result, first_failed_step "
                  "FROM velmorjob_runs"));
}

TEST_F(HistoryWriterTest, ARunThatNeverStartedIsWrittenWholeAtItsEnd) {
  THistoryWriter writer(db_);
  TRunRecord record = Record("nightly", "run-b");
  record.ended = true;
  record.end = At(kStart + 10);
  record.exit_status = 2;
  record.result = "config-error";
  record.config_errors.push_back({4, "Error at line 4:\nMaxFile 5\n", "unknown key"});
  record.config_errors.push_back({std::nullopt, "Job \"x\" is not in the file", std::nullopt});
  ASSERT_TRUE(writer.End(record, TRunSetup(), TRetention()));
  // Written again with the status it ends with, it is the same run.
  record.exit_status = 143;
  record.result = "stopped";
  ASSERT_TRUE(writer.End(record, TRunSetup(), TRetention()));
  EXPECT_EQ("run-b|143|stopped\n",
            Query(path_, "SELECT run_id, exit_status, result FROM velmorjob_runs"));
  EXPECT_EQ(
      "1|4|Error at line 4:\nMaxFile 5\n|unknown key\n"
      "2|NULL|Job \"x\" is not in the file|NULL\n",
      Query(path_,
            "SELECT position, line, message, reason FROM velmorjob_config_errors "
            "ORDER BY position"));
}

TEST_F(HistoryWriterTest, MarksAbandonedTheRunsOfTheJobHereWhoseProcessIsGone) {
  const TProcessIdentity own = OwnProcess();
  const std::string here = OwnHostName();
  Put(1, "nightly", here, GonePid(), 0, kStart - 5 * kDay, "NULL", "running");
  Put(2, "nightly", here, own.pid, own.start, kStart - 4 * kDay, "NULL", "running");
  // The process id of a process that started at another time.
  Put(3, "nightly", here, own.pid, own.start + 1, kStart - 3 * kDay, "NULL", "running");
  Put(4, "nightly", "elsewhere", GonePid(), 0, kStart - 2 * kDay, "NULL", "running");
  Put(5, "weekly", here, GonePid(), 0, kStart - 1 * kDay, "NULL", "running");
  THistoryWriter writer(db_);
  TRunSetup setup;
  setup.process = own;
  ASSERT_TRUE(writer.Start(Record("nightly", "run-new"), setup));
  EXPECT_EQ("1|abandoned\n2|running\n3|abandoned\n4|running\n5|running\n6|running\n",
            Query(path_, "SELECT id, result FROM velmorjob_runs ORDER BY id"));
}

TEST_F(HistoryWriterTest, ForgetsTheEndedRunsPastTheDaysButTheNewestOfEachJob) {
  struct TCase {
    long days;
    long runs;
    const char* kept;
  };
  // Runs 1-5 of nightly ended 100, 95, 50, 10 and 1 days ago; 6-8 of weekly
  // 200, 150 and 100 days ago; 9 of weekly was abandoned 300 days ago; 10,
  // of weekly on another host, runs since 120 days; 11 is the run of
  // nightly that ends now, the newest of its job.
  const TCase cases[] = {
      {90, 2, "3 4 5 8 10 11"},
      {90, 0, "3 4 5 10 11"},
      {0, 0, "10 11"},
      {0, 1, "8 10 11"},
      {3650, 0, "1 2 3 4 5 6 7 8 9 10 11"},
      {160, 1, "1 2 3 4 5 7 8 10 11"},
  };
  const std::int64_t now = EpochMilliseconds(TWallClock::now());
  for (const TCase& c : cases) {
    ASSERT_EQ("", Query(path_, "DELETE FROM velmorjob_attempts; DELETE FROM velmorjob_runs"));
    const std::string here = OwnHostName();
    const std::int64_t ended[] = {100, 95, 50, 10, 1, 200, 150, 100};
    for (int i = 0; i < 8; ++i) {
      const std::int64_t end = now - ended[i] * kDay;
      Put(i + 1, i < 5 ? "nightly" : "weekly", here, 1, 0, end - 1000, std::to_string(end), "ok");
    }
    Put(9, "weekly", here, 1, 0, now - 300 * kDay, "NULL", "abandoned");
    Put(10, "weekly", "elsewhere", 1, 0, now - 120 * kDay, "NULL", "running");
    THistoryWriter writer(db_);
    TRunRecord record = Record("nightly", "run-new");
    record.start = At(now - 1000);
    record.end = At(now);
    record.ended = true;
    record.result = "ok";
    ASSERT_TRUE(writer.End(record, TRunSetup(), TRetention{c.days, c.runs}));
    EXPECT_EQ(std::string(c.kept) + "\n", Query(path_,
                                                "SELECT group_concat(id, ' ') FROM "
                                                "(SELECT id FROM velmorjob_runs ORDER BY id)"))
        << c.days << " days, " << c.runs << " runs";
    // The attempts of the runs forgotten go with them.
    EXPECT_EQ("0\n", Query(path_,
                           "SELECT count(*) FROM velmorjob_attempts WHERE run NOT IN "
                           "(SELECT id FROM velmorjob_runs)"));
  }
}

}  // namespace

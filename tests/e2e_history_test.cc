// End-to-end runs with a history (--history): what a run leaves in the
// file, read back with the SQLite library rather than by the program; runs
// killed outright, several runs into one file, retention, a history that
// cannot be used, and what --runs and --status print of it.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <csignal>
#include <cstdlib>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "e2e_harness.h"
#include "sqlite_query.h"

namespace {

using testing::HasSubstr;
using testing::StartsWith;

constexpr char kHistory[] = ".velmorjob.history";
// A user that is neither root, nobody, nor the one the tests run as.
constexpr uid_t kOtherUser = 4243;
constexpr long long kDay = 86'400'000;

class HistoryTest : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    // Times on the console are local: here, UTC; and charts in ASCII.
    environment_["TZ"] = "UTC";
    environment_["LC_ALL"] = "C";
  }

  std::string History(const std::string& sql) const { return Query(dir_.File(kHistory), sql); }

  // A history with the schema of this program and no run in it.
  void EmptyHistory() {
    Config("[Job setup]\n[Runner]\n", "setup.conf");
    ASSERT_EQ(0, Run({"--config=setup.conf", "--history", "setup"}).status);
    ASSERT_EQ("", History("DELETE FROM velmorjob_attempts; DELETE FROM velmorjob_runs"));
  }

  // Puts a run of the job on another host into the history, its steps
  // having taken these many seconds: ended with the result, or, running or
  // abandoned, with its last step not ended.
  void PutRun(int id, const std::string& job, long long start, const std::vector<double>& steps,
              const std::string& result = "ok") {
    const bool ended = result != "running" && result != "abandoned";
    double total = 0;
    for (const double seconds : steps) total += seconds;
    const long long end = start + static_cast<long long>(total * 1000);
    std::string sql =
        "INSERT INTO velmorjob_runs (id, run_id, job, config_file, working_directory, host, pid, "
        "boot_id, process_start, from_step, steps, retries, retry_delay, start_time, end_time, "
        "exit_status, result) VALUES (" +
        std::to_string(id) + ", '00000000-0000-4000-8000-00000000000" + std::to_string(id % 10) +
        "', '" + job + "', '/srv/search.conf', '/srv', 'elsewhere', 1, '', 0, 1, " +
        std::to_string(steps.size()) + ", 0, 30, " + std::to_string(start) + ", " +
        (ended ? std::to_string(end) : "NULL") + ", " +
        (ended ? (result == "ok" ? "0" : "3") : "NULL") + ", '" + result + "');";
    long long at = start;
    for (std::size_t i = 0; i < steps.size(); ++i) {
      const bool last = i + 1 == steps.size();
      const std::string status = !ended && last ? "NULL" : result != "ok" && last ? "1" : "0";
      sql +=
          "INSERT INTO velmorjob_attempts (run, number, attempt, kind, program, command, "
          "start_time, duration, exit_status, timed_out) VALUES (" +
          std::to_string(id) + ", " + std::to_string(i + 1) + ", 1, 'Index', './indexer', " +
          "'./indexer ', " + std::to_string(at) + ", " +
          (!ended && last ? "NULL" : std::to_string(steps[i])) + ", " + status + ", 0);";
      at += static_cast<long long>(steps[i] * 1000);
    }
    ASSERT_EQ("", History(sql));
  }
};

long long NowMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

TEST_F(HistoryTest, ARunsRowsAreItsReport) {
  // The runner fails once, and passes on its second attempt.
  Stub("runner",
       "echo out of runner; n=$(cat count 2>/dev/null || echo 0); echo $((n + 1)) > count; "
       "[ $n -gt 0 ]");
  Config(kNightly);
  Expect(Run({"--history", "--report=report.json", "--keep-output=1K", "--retries=1",
              "--retry-delay=0.1", "--job-timeout=1h", "nightly"}),
         kBanner +
             "out of runner\nStep 2 \"./runner\" failed (exit status 1); attempt 2 of 2 in "
             "0.1s\nout of runner\n",
         0);
  const std::string fields =
      "'\\n'.join('|'.join('NULL' if v is None else str(int(v) if type(v) is bool else v) "
      "for v in row) for row in "
      "[[r['job'], r['run_id'], r['config_file'], r['working_directory'], r['host'], "
      "ms(r['start_time']), ms(r['end_time']), r['exit_status'], r['result'], r['from_step'], "
      "r['first_failed_step']]] + "
      "[[s['number'], s['attempt'], s['kind'], s['program'], s['command'], ms(s['start_time']), "
      "'%.3f' % s['duration_seconds'], s['exit_status'], s['signal'], s['timed_out'], "
      "s['output_tail'], s['output_bytes']] for s in r['steps']]) + '\\n'";
  const std::string ms =
      "(lambda t: round(__import__('datetime').datetime.strptime(t, '%Y-%m-%dT%H:%M:%S.%fZ')"
      ".replace(tzinfo=__import__('datetime').timezone.utc).timestamp() * 1000))";
  const std::string report = ReportQuery("report.json", "(lambda ms: " + fields + ")(" + ms + ")");
  EXPECT_EQ(report,
            History("SELECT job, run_id, config_file, working_directory, host, start_time, "
                    "end_time, exit_status, result, from_step, first_failed_step "
                    "FROM velmorjob_runs;"
                    "SELECT number, attempt, kind, program, command, start_time, "
                    "printf('%.3f', duration), exit_status, signal, timed_out, output_tail, "
                    "output_bytes FROM velmorjob_attempts ORDER BY number, attempt"));
  // Three attempts, the second of step 2 with the output it kept.
  EXPECT_THAT(report, HasSubstr("\n2|2|Runner|./runner|./runner  --program=report|"));
  EXPECT_THAT(report, HasSubstr("|0|NULL|0|out of runner\n|14\n"));
  // What the run was told of retries and its deadline, and whose process it
  // was.
  EXPECT_EQ("2|1|0.1|NULL|3600.0|1\n",
            History("SELECT steps, retries, retry_delay, retry_on, job_timeout, "
                    "pid > 0 AND process_start > 0 AND boot_id <> '' FROM velmorjob_runs"));
}

TEST_F(HistoryTest, ARunKilledOutrightStaysRunningUntilTheNextRunMarksItAbandoned) {
  Stub("indexer", "echo > started; while [ ! -e go ]; do sleep 0.02; done");
  Config(kNightly);
  const TStarted first = Start({"--history", "nightly"});
  AwaitFile("started");
  // Each moment is in the file as soon as it happens.
  EXPECT_EQ("running|1|NULL\n", History("SELECT result, number, duration FROM velmorjob_runs "
                                        "JOIN velmorjob_attempts ON run = id"));
  const TRun running = Run({"--status", "--json", "nightly"});
  EXPECT_EQ(0, running.status);
  EXPECT_THAT(running.out, HasSubstr("\"state\": \"running\", \"host\": "));
  EXPECT_THAT(running.out, HasSubstr("\"pid\": " + std::to_string(first.pid) + ", "));
  EXPECT_THAT(running.out, HasSubstr("\"step\": 1, \"steps\": 2, \"expected_end\": null, "));
  kill(first.pid, SIGKILL);
  EXPECT_EQ(128 + SIGKILL, Finish(first).status);
  dir_.Write("go", "");

  // Gone, it shows as abandoned; the file says so once the next run has
  // begun.
  const TRun gone = Run({"--status", "nightly"});
  EXPECT_THAT(gone.out, StartsWith("nightly  abandoned (started "));
  EXPECT_THAT(gone.out, HasSubstr(" ago); never succeeded\n"));
  EXPECT_EQ("running\n", History("SELECT result FROM velmorjob_runs"));
  Stub("indexer", "");
  Expect(Run({"--history", "nightly"}), kBanner, 0);
  EXPECT_EQ("abandoned|NULL|0\nok|0|2\n",
            History("SELECT result, exit_status, (SELECT count(*) FROM velmorjob_attempts "
                    "WHERE run = id AND duration IS NOT NULL) FROM velmorjob_runs ORDER BY id"));
}

// Three successful runs whose steps took 100 and 50, 120 and 40, 90 and
// 60 s: at its first step, a run is expected to end 100 + 50 s after it
// started.
TEST_F(HistoryTest, TheExpectedEndComesFromTheStepsOfTheLastSuccessfulRuns) {
  EmptyHistory();
  const long long now = NowMilliseconds();
  PutRun(1, "nightly", now - 3 * kDay, {100, 50});
  PutRun(2, "nightly", now - 2 * kDay, {120, 40});
  PutRun(3, "nightly", now - 1 * kDay, {90, 60});
  PutRun(4, "nightly", now - kDay / 2, {500, 500}, "step-failed");
  Stub("indexer", "echo > started; while [ ! -e go ]; do sleep 0.02; done");
  Config("[Job nightly]\n[Index]\n[Index]\n");
  const long long before = NowMilliseconds();
  const TStarted run = Start({"--history", "nightly"});
  AwaitFile("started");
  const std::string json = Run({"--status", "--json"}).out;
  const long long after = NowMilliseconds();
  dir_.Write("go", "");
  EXPECT_EQ(0, Finish(run).status);
  const std::string at = "\"expected_end\": \"";
  const std::size_t found = json.find(at);
  ASSERT_NE(std::string::npos, found) << json;
  // The time as milliseconds, from the text of the RFC 3339 time.
  const std::string expected_end = json.substr(found + at.size(), 24);
  std::tm parts = {};
  ASSERT_NE(nullptr, strptime(expected_end.c_str(), "%Y-%m-%dT%H:%M:%S", &parts)) << json;
  const long long end =
      static_cast<long long>(timegm(&parts)) * 1000 + std::stoll(expected_end.substr(20, 3));
  EXPECT_GE(end, before + 150'000 - 1000) << json;
  EXPECT_LE(end, after + 150'000 + 1000) << json;
  EXPECT_THAT(json, HasSubstr("\"overrunning\": false, "));
}

TEST_F(HistoryTest, RetentionKeepsTheRunsOfTheLastDaysAndTheNewestOfEachJob) {
  EmptyHistory();
  const long long now = NowMilliseconds();
  // nightly: 40, 20, 10 and 5 days ago; weekly: 60 and 50 days ago.
  PutRun(1, "nightly", now - 40 * kDay, {1});
  PutRun(2, "nightly", now - 20 * kDay, {1});
  PutRun(3, "nightly", now - 10 * kDay, {1});
  PutRun(4, "nightly", now - 5 * kDay, {1});
  PutRun(5, "weekly", now - 60 * kDay, {1});
  PutRun(6, "weekly", now - 50 * kDay, {1});
  Config(kNightly);
  Expect(Run({"--history", "--keep-days=15", "--keep-runs=1", "nightly"}), kBanner, 0);
  EXPECT_EQ("3|4|6|7\n", History("SELECT group_concat(id, '|') FROM "
                                 "(SELECT id FROM velmorjob_runs ORDER BY id)"));
  EXPECT_EQ("0\n", History("SELECT count(*) FROM velmorjob_attempts WHERE run IN (1, 2, 5)"));
}

// The history has the run's end before the hook that tells of it runs, as
// the report and the metrics do.
TEST_F(HistoryTest, AHookThatReadsTheHistoryFindsTheRunEnded) {
  Config(kNightly);
  const std::string read =
      std::string("'") + VELMORJOB_BINARY + "' --runs=1 --json nightly > seen.json";
  Expect(Run({"--history", "--on-success=" + read, "nightly"}), kBanner, 0);
  EXPECT_EQ("ok 0", ReportQuery("seen.json", "r['result'] + ' ' + str(r['exit_status'])"));
}

TEST_F(HistoryTest, TwoJobsRunningIntoOneFileAtOnceLoseNothing) {
  std::string config;
  for (const char* job : {"left", "right"}) {
    config += std::string("[Job ") + job + "]\n";
    for (int step = 0; step < 25; ++step) config += "[Runner]\n";
  }
  Config(config);
  const TStarted left = Start({"--history", "left"});
  const TStarted right = StartWithOutputTo(dir_.File("right.out"), {"--history", "right"});
  EXPECT_EQ(0, Finish(left).status);
  EXPECT_EQ(0, Finish(right).status);
  EXPECT_EQ("", output_.Read("err"));
  EXPECT_EQ("left|ok|25|25\nright|ok|25|25\n",
            History("SELECT job, result, count(*), count(duration) FROM velmorjob_runs "
                    "JOIN velmorjob_attempts ON run = id GROUP BY job ORDER BY job"));
}

// Each history that cannot be used: one line naming it and why, status 4,
// and the steps run as without it.
TEST_F(HistoryTest, AHistoryThatCannotBeUsedCostsStatus4AndNotTheSteps) {
  struct TCase {
    const char* name;
    const char* sql;    // makes the file as a new database; or null: bytes
    const char* bytes;  // or null, and nothing: a directory
    const char* reason;
  };
  const TCase cases[] = {
      {"garbage", nullptr, "not a database, not at all, no\n", "file is not a database"},
      {"a table missing",
       "PRAGMA application_id = 1447710530; PRAGMA user_version = 1;"
       "CREATE TABLE velmorjob_runs (id INTEGER PRIMARY KEY)",
       nullptr, "it is damaged: table velmorjob_attempts is missing"},
      {"a later schema", "PRAGMA application_id = 1447710530; PRAGMA user_version = 9", nullptr,
       "it was written by a later version of velmorjob (schema 9; this one reads up to 1)"},
      {"another program's", "CREATE TABLE accounts (name TEXT); INSERT INTO accounts VALUES ('a')",
       nullptr, "it is a database of another program"},
      {"a directory", nullptr, nullptr, "it is a directory"},
  };
  Config(kNightly);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::system(("rm -rf '" + dir_.File(kHistory) + "' '" + dir_.File("calls.log") + "'").c_str());
    if (c.sql != nullptr) {
      dir_.Write(kHistory, "");
      ASSERT_EQ("", History(c.sql));
    } else if (c.bytes != nullptr) {
      dir_.Write(kHistory, c.bytes);
    } else {
      ASSERT_EQ(0, mkdir(dir_.File(kHistory).c_str(), 0700));
    }
    const std::string before = c.bytes != nullptr || c.sql != nullptr ? dir_.Read(kHistory) : "";
    Expect(Run({"--history", "nightly"}), kBanner,
           std::string("velmorjob: cannot write history .velmorjob.history: ") + c.reason + "\n",
           4);
    EXPECT_EQ(
        "indexer [--maxfiles=500] [--charset=3] [--statistic=1]\nrunner "
        "[--program=report]\n",
        Calls());
    if (c.bytes != nullptr || c.sql != nullptr) {
      EXPECT_EQ(before, dir_.Read(kHistory));
    }
  }
  // Under --quiet the run failed, and says so.
  Expect(Run({"--quiet", "--history", "nightly"}), kBanner,
         "velmorjob: cannot write history .velmorjob.history: it is a directory\n", 4);
}

TEST_F(HistoryTest, AHistoryOnAFileSystemThatIsFullOrReadOnlyCostsStatus4) {
  if (geteuid() != 0) GTEST_SKIP() << "only root mounts a file system";
  const std::string mount_point = dir_.File("small");
  ASSERT_EQ(0, mkdir(mount_point.c_str(), 0700));
  if (mount("tmpfs", mount_point.c_str(), "tmpfs", 0, "size=256k") != 0) {
    GTEST_SKIP() << "cannot mount a file system here: " << std::strerror(errno);
  }
  struct TUnmount {
    std::string path;
    ~TUnmount() { umount2(path.c_str(), MNT_DETACH); }
  } unmount{mount_point};
  Config(kNightly);
  const std::string history = "--history=small/history";
  Expect(Run({history, "nightly"}), kBanner, 0);
  // Full: what is left is taken by another file.
  std::system(("dd if=/dev/zero of='" + mount_point + "/filler' bs=4k 2>/dev/null").c_str());
  Expect(Run({history, "nightly"}), kBanner,
         "velmorjob: cannot write history small/history: disk I/O error (No space left on "
         "device)\n",
         4);
  unlink((mount_point + "/filler").c_str());
  // Read-only.
  unlink(dir_.File("calls.log").c_str());
  ASSERT_EQ(0, mount("tmpfs", mount_point.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr));
  const TRun read_only = Run({history, "nightly"});
  EXPECT_EQ(4, read_only.status);
  EXPECT_EQ(kBanner, read_only.out);
  EXPECT_EQ("velmorjob: cannot write history small/history: attempt to write a readonly database\n",
            read_only.err);
  EXPECT_EQ("indexer [--maxfiles=500] [--charset=3] [--statistic=1]\nrunner [--program=report]\n",
            Calls());
}

TEST_F(HistoryTest, ALinkOfAnotherUserIsNotFollowed) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can give a link to another user";
  ASSERT_EQ(0, symlink("elsewhere", dir_.File(kHistory).c_str()));
  ASSERT_EQ(0, lchown(dir_.File(kHistory).c_str(), kOtherUser, static_cast<gid_t>(-1)));
  Config(kNightly);
  Expect(Run({"--history", "nightly"}), kBanner,
         "velmorjob: cannot write history .velmorjob.history: it is a symbolic link owned by "
         "user 4243\n",
         4);
  EXPECT_FALSE(dir_.Exists("elsewhere"));
}

TEST_F(HistoryTest, RunsNotRunAreNotKeptButARunWithAnErrorIs) {
  Config(kNightly + std::string("[Job broken]\n[Index]\nMaxFile 5\n"));
  EXPECT_EQ(0, Run({"--history", "--dry-run", "nightly"}).status);
  EXPECT_FALSE(dir_.Exists(kHistory));
  EXPECT_EQ(2, Run({"--history", "broken"}).status);
  EXPECT_EQ("broken|2|config-error|NULL|14|Error at line 14:\nMaxFile 5\n\n",
            History("SELECT job, exit_status, result, steps, line, message FROM velmorjob_runs "
                    "JOIN velmorjob_config_errors ON run = id"));
  // Refused by the lock another run holds, a run is not the job's.
  Stub("indexer", "echo > started; while [ ! -e go ]; do sleep 0.02; done");
  const TStarted first = Start({"--lock", "--history", "nightly"});
  AwaitFile("started");
  EXPECT_EQ(75, Run({"--lock", "--history", "nightly"}).status);
  dir_.Write("go", "");
  EXPECT_EQ(0, Finish(first).status);
  EXPECT_EQ("broken|config-error\nnightly|ok\n",
            History("SELECT job, result FROM velmorjob_runs ORDER BY id"));
}

constexpr long long kNight = 1796869800000;  // 2026-12-10T02:30:00Z

// The chart's bar takes 80 - (16 + 2 + 2 + 7) = 53 columns for the 900 s of
// steps of each run.
TEST_F(HistoryTest, RunsPrintsTheLastRunsOfTheJobTheirStepsAndAChart) {
  EmptyHistory();
  PutRun(1, "nightly", kNight - 3 * kDay, {600, 300});
  PutRun(2, "nightly", kNight - 2 * kDay, {660, 240}, "step-failed");
  PutRun(3, "nightly", kNight - 1 * kDay, {540, 360});
  PutRun(4, "weekly", kNight - 1 * kDay, {60});
  PutRun(5, "nightly", kNight, {900, 30}, "running");
  Expect(Run({"--runs=3", "nightly"}),
         "Job \"nightly\": the last 3 runs, newest first\n"
         "START                DURATION  RESULT       FAILED STEP  RETRIES\n"
         "2026-12-10 02:30:00  -         running      -            0\n"
         "2026-12-09 02:30:00  15m       ok           -            0\n"
         "2026-12-08 02:30:00  15m       step-failed  2            0\n"
         "\n"
         "Steps over the 1 successful run among these:\n"
         "STEP         MIN  MEDIAN  MAX  LAST RUN\n"
         "1 ./indexer  9m   9m      9m   9m (+0%)\n"
         "2 ./indexer  6m   6m      6m   6m (+0%)\n"
         "\n"
         "2026-12-10 02:30  #####################################################  running\n"
         "2026-12-09 02:30  ################################=====================  15m\n"
         "2026-12-08 02:30  #######################################==============  15m\n"
         "# 1 ./indexer  = 2 ./indexer\n",
         0);

  // With a character set of UTF-8, the bars are blocks.
  environment_["LC_ALL"] = "C.UTF-8";
  EXPECT_THAT(Run({"--runs=1", "nightly"}).out, HasSubstr("2026-12-10 02:30  \u2588\u2588\u2588"));

  // As JSON, each run is a report of its own, newest first.
  PutRun(6, "nightly", kNight - 4 * kDay, {1}, "abandoned");
  const TRun json = Run({"--runs", "--json", "nightly"});
  EXPECT_EQ(0, json.status);
  std::string lines = json.out;
  int count = 0;
  std::string files;
  for (std::size_t end; (end = lines.find('\n')) != std::string::npos; lines.erase(0, end + 1)) {
    const std::string name = "run" + std::to_string(++count) + ".json";
    dir_.Write(name, lines.substr(0, end + 1));
    files += " " + name;
  }
  EXPECT_EQ(5, count);
  Check("check-report", files);
  EXPECT_EQ("running abandoned\n", ReportQuery("run1.json", "r['result']") + " " +
                                       ReportQuery("run5.json", "r['result']") + "\n");
}

TEST_F(HistoryTest, WhatTheHistoryCannotTellIsAnError) {
  Expect(Run({"--runs", "nightly"}), "",
         "velmorjob: cannot read history .velmorjob.history: No such file or directory\n", 2);
  Expect(Run({"--status", "--history=other"}), "",
         "velmorjob: cannot read history other: No such file or directory\n", 2);
  EXPECT_FALSE(dir_.Exists(kHistory));
  const std::string usage =
      "Use: velmorjob [--config=filename] Jobname\n See manual for details.\n";
  Expect(Run({"--runs"}), kBanner + "Option --runs needs a job name: --runs[=N] JOB\n" + usage, 1);
  Expect(Run({"--json", "nightly"}),
         kBanner + "Option --json goes with --runs or --status\n" + usage, 1);
  Expect(Run({"--runs=0", "nightly"}),
         kBanner + "Invalid number \"0\" for --runs: give a whole number from 1 on\n" + usage, 1);
  EmptyHistory();
  Expect(Run({"--runs", "nightly"}), "Job \"nightly\" has no runs in the history.\n", 0);
}

TEST_F(HistoryTest, WithoutTheSqliteLibraryTheStepsRunAndTheRunEndsFour) {
  // A library of that name that is no library.
  ASSERT_EQ(0, mkdir(dir_.File("lib").c_str(), 0700));
  dir_.Write("lib/libsqlite3.so.0", "");
  environment_["LD_LIBRARY_PATH"] = dir_.File("lib");
  Config(kNightly);
  Expect(Run({"--history", "nightly"}), kBanner,
         "velmorjob: cannot write history .velmorjob.history: cannot load the SQLite library: " +
             dir_.File("lib/libsqlite3.so.0") + ": file too short\n",
         4);
  EXPECT_EQ("indexer [--maxfiles=500] [--charset=3] [--statistic=1]\nrunner [--program=report]\n",
            Calls());
  // A run without a history does not need it.
  Expect(Run({"nightly"}), kBanner, 0);
}

}  // namespace

// End-to-end runs with JOURNAL_STREAM set, as systemd sets it when standard
// output or standard error is the journal's stream: here it names the
// device and inode of the file one of them goes to. Each line of
// velmorjob's messages there begins with its priority; the steps' and
// hooks' output is never touched, and anywhere else nothing changes.

#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "app/version.h"
#include "e2e_harness.h"

namespace {

// Writes "out N" on standard output and "err N" on standard error, where N
// counts the runs, and fails; its first run leaves a line unfinished.
constexpr char kIndexer[] =
    "n=$(cat attempts 2>/dev/null || echo 0); n=$((n + 1)); echo $n > attempts\n"
    "echo \"out $n\"; [ $n = 1 ] && printf partial; echo \"err $n\" >&2; exit 2";

// Three attempts at a failing step, then a hook that fails after leaving a
// line unfinished on standard error.
const std::vector<std::string> kFailedRun = {"--retries=2", "--retry-delay=0.01s",
                                             "--on-failure=printf hook-partial >&2; exit 3",
                                             "nightly"};

const std::string kJournalBanner = std::string("<6>\n<6>Velmoran ver.") + kVersion + " [build " +
                                   kBuild +
                                   "]\n<6>Compiled Tue Jun 25 18:27:36 GMT 2002 under SunOS 5.8\n"
                                   "<6>\n";

const char kRetried[] = "Step 1 \"./indexer\" failed (exit status 2); attempt 2 of 3 in 0.01s\n";
const char kRetriedAgain[] =
    "Step 1 \"./indexer\" failed (exit status 2); attempt 3 of 3 in 0.02s\n";
const char kHookFailed[] = "velmorjob: --on-failure command failed: exit status 3\n";

// The failed run's output where neither stream is the journal.
const std::string kPlainOut =
    kBanner + "out 1\npartial" + kRetried + "out 2\n" + kRetriedAgain + "out 3\n";
const std::string kPlainErr = std::string("err 1\nerr 2\nerr 3\nhook-partial") + kHookFailed;

// A file with warnings and an error, for --check.
constexpr char kWarned[] =
    "[Job nightly]\n[Index]\nMaxFiles 5\nMaxFiles 6\nBogus 1\n[Job nightly]\n[Index]\n";

struct TDeviceAndInode {
  unsigned long long device = 0;
  unsigned long long inode = 0;
};

TDeviceAndInode OfFile(const std::string& path) {
  struct stat status = {};
  EXPECT_EQ(0, stat(path.c_str(), &status)) << path;
  return {status.st_dev, status.st_ino};
}

std::string Named(const TDeviceAndInode& file) {
  return std::to_string(file.device) + ":" + std::to_string(file.inode);
}

class JournalTest : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    Stub("indexer", kIndexer);
    // A run truncates its output files, it does not replace them: made
    // now, their inodes are known before it starts.
    output_.Write("out", "");
    output_.Write("err", "");
  }

  // Runs velmorjob with JOURNAL_STREAM as given (none: unset) and a fresh
  // count of the indexer's runs.
  TRun RunWithJournal(const std::optional<std::string>& journal,
                      const std::vector<std::string>& args) {
    unlink(dir_.File("attempts").c_str());
    environment_["JOURNAL_STREAM"] = journal;
    return Run(args);
  }
};

TEST_F(JournalTest, EachLineOfAMessageOnTheJournalBeginsWithItsPriority) {
  const struct {
    const char* what;
    const char* config;
    std::vector<std::string> args;
    const char* journal;  // the file that is the journal's stream
    std::string out;
    std::string err;
    int status;
  } cases[] = {
      // The step writes to the journal itself: velmorjob cannot see whether
      // it ended its line, so its next line begins with a line end.
      {"a failed step on standard output", kNightly, kFailedRun, "out",
       kJournalBanner + "out 1\npartial\n<3>" + kRetried + "out 2\n\n<3>" + kRetriedAgain +
           "out 3\n",
       kPlainErr, 3},
      // Passed on by velmorjob, which sees where the step left the line.
      {"a failed step passed on",
       kNightly,
       {"--keep-output=1K", "--retries=2", "--retry-delay=0.01s",
        "--on-failure=printf hook-partial >&2; exit 3", "nightly"},
       "out",
       kJournalBanner + "out 1\npartial\n<3>" + kRetried + "out 2\n<3>" + kRetriedAgain + "out 3\n",
       kPlainErr,
       3},
      {"a hook that failed on standard error", kNightly, kFailedRun, "err", kPlainOut,
       std::string("err 1\nerr 2\nerr 3\nhook-partial\n<3>") + kHookFailed, 3},
      {"a bad line", "[Job nightly]\n[Index]\nBogus 1\n", kFailedRun, "out",
       kJournalBanner + "<3>Error at line 3:\n<3>Bogus 1\n",
       std::string("hook-partial") + kHookFailed, 2},
      {"--check with warnings",
       kWarned,
       {"--check"},
       "out",
       kJournalBanner +
           "<4>search.conf:4: warning: key \"MaxFiles\" is set again in this step (first at line "
           "3); both options are passed\n"
           "<3>Error at line 5:\n"
           "<3>Bogus 1\n"
           "<3>search.conf:5: error: unknown key \"Bogus\" for an Index step\n"
           "<4>search.conf:6: warning: job \"nightly\" is defined again; a run reads this section "
           "only because the one at line 1 has errors\n"
           "<6>Checked 2 jobs and 2 steps: 1 error, 2 warnings.\n",
       "",
       2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Config(c.config);
    Expect(RunWithJournal(Named(OfFile(output_.File(c.journal))), c.args), c.out, c.err, c.status);
  }
}

TEST_F(JournalTest, AnywhereElseNotAByteChanges) {
  Config(kNightly);
  const TDeviceAndInode out = OfFile(output_.File("out"));
  const struct {
    const char* what;
    std::optional<std::string> journal;
  } cases[] = {
      {"unset", std::nullopt},
      {"another file", Named(OfFile(dir_.File("search.conf")))},
      {"standard output's inode on another device", Named({out.device + 1, out.inode})},
      {"standard error's device and inode with more after them",
       Named(OfFile(output_.File("err"))) + ":0"},
      {"empty", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Expect(RunWithJournal(c.journal, kFailedRun), kPlainOut, kPlainErr, 3);
  }
}

}  // namespace

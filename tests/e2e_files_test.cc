// End-to-end runs that write the report, the metrics file and the lock
// file: what is at a file's path is never destroyed, what is written is
// readable only by whom it should be, and no other user can take the lock.

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "e2e_harness.h"
#include "file_status.h"

namespace {

using testing::HasSubstr;

constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;

const std::string kCalls =
    "indexer [--maxfiles=500] [--charset=3] [--statistic=1]\nrunner [--program=report]\n";

class FilesTest : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    Config(kNightly);
  }
  std::string Path(const std::string& name) const { return dir_.File(name); }
  // Sets the time of a file in the directory seconds ago.
  void MakeOld(const std::string& name, std::time_t seconds) const {
    timespec times[2] = {};
    times[0].tv_sec = times[1].tv_sec = std::time(nullptr) - seconds;
    ASSERT_EQ(0, utimensat(AT_FDCWD, Path(name).c_str(), times, AT_SYMLINK_NOFOLLOW)) << name;
  }
  // Runs a shell command as nobody in the test's directory; its exit status.
  int AsNobody(const std::string& command) const {
    const std::string line =
        "cd '" + dir_.path() +
        "' && setpriv --reuid=65534 --regid=65534 --clear-groups /bin/sh -c '" + command +
        "' 2>/dev/null";
    return WEXITSTATUS(std::system(line.c_str()));
  }
};

// A FIFO's read end, opened without waiting for a writer.
class TReader {
 public:
  explicit TReader(const std::string& fifo) : fd_(open(fifo.c_str(), O_RDONLY | O_NONBLOCK)) {}
  ~TReader() {
    if (fd_ >= 0) close(fd_);
  }
  TReader(const TReader&) = delete;
  TReader& operator=(const TReader&) = delete;
  bool Open() const { return fd_ >= 0; }
  // What is in the pipe now.
  std::string Take() const {
    std::string taken;
    char buffer[4096];
    for (ssize_t got; (got = read(fd_, buffer, sizeof buffer)) > 0;) taken.append(buffer, got);
    return taken;
  }

 private:
  int fd_;
};

TEST_F(FilesTest, FifosAreWrittenInPlaceWhenRead) {
  ASSERT_EQ(0, mkfifo(Path("report.fifo").c_str(), 0600));
  ASSERT_EQ(0, mkfifo(Path("metrics.fifo").c_str(), 0644));
  TReader report(Path("report.fifo"));
  TReader metrics(Path("metrics.fifo"));
  ASSERT_TRUE(report.Open() && metrics.Open());
  Expect(Run({"--report=report.fifo", "--metrics=metrics.fifo", "nightly"}), kBanner, 0);
  EXPECT_THAT(report.Take(), HasSubstr("\"result\": \"ok\""));
  EXPECT_THAT(metrics.Take(),
              HasSubstr("velmorjob_last_run_exit_status{job_name=\"nightly\"} 0\n"));
  EXPECT_EQ(static_cast<mode_t>(S_IFIFO), KindOf(Path("report.fifo")));
  EXPECT_EQ(static_cast<mode_t>(S_IFIFO), KindOf(Path("metrics.fifo")));
  EXPECT_EQ(0600u, ModeOf(Path("report.fifo")));
  EXPECT_EQ(0644u, ModeOf(Path("metrics.fifo")));
}

TEST_F(FilesTest, AFifoThatNoOneReadsIsToldWithStatus4AndStays) {
  ASSERT_EQ(0, mkfifo(Path("collector").c_str(), 0600));
  ASSERT_EQ(0, symlink("collector", Path("to-collector").c_str()));
  const struct {
    std::string option;
    std::string err;
  } cases[] = {
      {"--report=collector",
       "velmorjob: cannot write report collector: it is a FIFO that no one reads\n"},
      {"--metrics=to-collector",
       "velmorjob: cannot write metrics to-collector: it is a symbolic link to a FIFO that no "
       "one reads\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.option);
    unlink(Path("calls.log").c_str());
    const TRun run = Run({c.option, "nightly"});
    EXPECT_EQ(kBanner, run.out);
    EXPECT_EQ(c.err, run.err);
    EXPECT_EQ(4, run.status);
    EXPECT_EQ(kCalls, Calls());
    EXPECT_EQ(static_cast<mode_t>(S_IFIFO), KindOf(Path("collector")));
    EXPECT_EQ(static_cast<mode_t>(S_IFLNK), KindOf(Path("to-collector")));
  }
}

TEST_F(FilesTest, ACharacterDeviceIsWrittenInPlaceAndStays) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can make device nodes";
  ASSERT_EQ(0, mknod(Path("null").c_str(), S_IFCHR | 0666, makedev(1, 3)));
  ASSERT_EQ(0, chmod(Path("null").c_str(), 0666));
  ASSERT_EQ(0, symlink("null", Path("to-null").c_str()));
  Expect(Run({"--report=null", "--metrics=to-null", "nightly"}), kBanner, 0);
  Expect(Run({"--report=to-null", "--metrics=null", "nightly"}), kBanner, 0);
  const struct stat null = StatusOf(Path("null"));
  EXPECT_TRUE(S_ISCHR(null.st_mode));
  EXPECT_EQ(makedev(1, 3), null.st_rdev);
  EXPECT_EQ(0666u, null.st_mode & 07777);
  EXPECT_EQ(static_cast<mode_t>(S_IFLNK), KindOf(Path("to-null")));
}

TEST_F(FilesTest, TheReportToStandardOutputFollowsWhatWasPrinted) {
  // As /dev/stdout is, when the output goes to a file.
  ASSERT_EQ(0, symlink("/proc/self/fd/1", Path("stdout").c_str()));
  const TRun run = Run({"--report=stdout", "nightly"});
  EXPECT_EQ(0, run.status);
  EXPECT_EQ("", run.err);
  EXPECT_EQ(0u, run.out.rfind(kBanner + "{", 0)) << run.out;
  EXPECT_THAT(run.out, HasSubstr("\"result\": \"ok\""));
  EXPECT_EQ(static_cast<mode_t>(S_IFLNK), KindOf(Path("stdout")));
}

TEST_F(FilesTest, WhatCannotBeWrittenIsLeftAloneAndToldWithStatus4) {
  ASSERT_EQ(0, mkdir(Path("directory").c_str(), 0755));
  ASSERT_EQ(0, symlink("directory", Path("to-directory").c_str()));
  ASSERT_EQ(0, symlink("loop-b", Path("loop-a").c_str()));
  ASSERT_EQ(0, symlink("loop-a", Path("loop-b").c_str()));
  const int listening = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(listening, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  const std::string socket_path = Path("socket");
  ASSERT_LT(socket_path.size(), sizeof address.sun_path);
  socket_path.copy(address.sun_path, socket_path.size());
  ASSERT_EQ(0, bind(listening, reinterpret_cast<const sockaddr*>(&address), sizeof address));
  const struct {
    std::string option;
    std::string err;
  } cases[] = {
      {"--report=directory", "velmorjob: cannot write report directory: it is a directory\n"},
      {"--metrics=to-directory",
       "velmorjob: cannot write metrics to-directory: it is a symbolic link to a directory\n"},
      {"--report=loop-a",
       "velmorjob: cannot write report loop-a: it is a loop of symbolic links\n"},
      {"--metrics=socket", "velmorjob: cannot write metrics socket: it is a socket\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.option);
    const TRun run = Run({c.option, "nightly"});
    EXPECT_EQ(kBanner, run.out);
    EXPECT_EQ(c.err, run.err);
    EXPECT_EQ(4, run.status);
  }
  close(listening);
  EXPECT_EQ(static_cast<mode_t>(S_IFDIR), KindOf(Path("directory")));
  EXPECT_EQ(static_cast<mode_t>(S_IFSOCK), KindOf(Path("socket")));
  EXPECT_EQ(static_cast<mode_t>(S_IFLNK), KindOf(Path("to-directory")));
  EXPECT_EQ(static_cast<mode_t>(S_IFLNK), KindOf(Path("loop-a")));
}

// What an earlier run left there.
const char kOldReport[] = "{\n  \"job\": \"nightly\",\n  \"result\": \"ok\"\n}\n";
const char kOldMetrics[] = "velmorjob_last_run_exit_status{job_name=\"nightly\"} 0\n";

TEST_F(FilesTest, AFileThatIsNoReportOrMetricsIsNotReplaced) {
  // A mistyped --report= or --metrics= names the configuration file.
  Config(kNightly);
  const std::string before = dir_.Read("search.conf");
  Expect(Run({"--report=search.conf", "nightly"}), kBanner,
         "velmorjob: cannot write report search.conf: it holds something other than a report "
         "of velmorjob's\n",
         4);
  Expect(Run({"--metrics=search.conf", "nightly"}), kBanner,
         "velmorjob: metrics file [search.conf] holds no metrics of velmorjob's: not written\n", 4);
  EXPECT_EQ(before, dir_.Read("search.conf"));
  // An empty file, and one an earlier run wrote, are replaced.
  dir_.Write("report.json", "");
  dir_.Write("metrics.prom", "");
  Expect(Run({"--report=report.json", "--metrics=metrics.prom", "nightly"}), kBanner, 0);
  dir_.Write("report.json", kOldReport);
  dir_.Write("metrics.prom", kOldMetrics);
  Expect(Run({"--report=report.json", "--metrics=metrics.prom", "nightly"}), kBanner, 0);
  EXPECT_THAT(dir_.Read("report.json"), HasSubstr("\"run_id\""));
}

TEST_F(FilesTest, LinksAreFollowedAndStay) {
  TUmask mask(022);
  ASSERT_EQ(0, mkdir(Path("archive").c_str(), 0755));
  dir_.Write("archive/current.json", kOldReport);
  ASSERT_EQ(0, chmod(Path("archive/current.json").c_str(), 0640));
  ASSERT_EQ(0, symlink("archive/current.json", Path("report.json").c_str()));
  ASSERT_EQ(0, symlink("archive/current.prom", Path("metrics.prom").c_str()));
  Expect(Run({"--report=report.json", "--metrics=metrics.prom", "nightly"}), kBanner, 0);
  EXPECT_EQ(static_cast<mode_t>(S_IFLNK), KindOf(Path("report.json")));
  EXPECT_EQ(static_cast<mode_t>(S_IFLNK), KindOf(Path("metrics.prom")));
  EXPECT_THAT(dir_.Read("archive/current.json"), HasSubstr("\"result\": \"ok\""));
  EXPECT_THAT(dir_.Read("archive/current.prom"), HasSubstr("velmorjob_last_run_exit_status"));
  EXPECT_EQ(0640u, ModeOf(Path("archive/current.json")));
  EXPECT_EQ(0644u, ModeOf(Path("archive/current.prom")));
}

TEST_F(FilesTest, ALinkOfAnotherUserIsRefusedWithStatus4AndNothingIsWritten) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can give a link to another user";
  // As in a directory that user nobody may write: their links lead root's
  // files nowhere, whether at the file itself, a directory of the path, or
  // the end of root's own link.
  ASSERT_EQ(0, mkdir(Path("archive").c_str(), 0755));
  dir_.Write("archive/current.json", kOldReport);
  const auto link = [this](const char* text, const char* name, uid_t owner) {
    ASSERT_EQ(0, symlink(text, Path(name).c_str())) << name;
    ASSERT_EQ(0, lchown(Path(name).c_str(), owner, static_cast<gid_t>(-1))) << name;
  };
  link("archive/current.json", "report.json", kNobody);
  link("archive", "out", kNobody);
  link("theirs.json", "mine.json", 0);
  link("archive/new.json", "theirs.json", kNobody);
  const struct {
    std::string option;
    std::string err;
  } cases[] = {
      {"--report=report.json",
       "velmorjob: cannot write report report.json: it is a symbolic link owned by user 65534\n"},
      {"--metrics=out/metrics.prom",
       "velmorjob: cannot write metrics out/metrics.prom: it is a symbolic link owned by user "
       "65534\n"},
      {"--report=mine.json",
       "velmorjob: cannot write report mine.json: it is a symbolic link owned by user 65534\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.option);
    unlink(Path("calls.log").c_str());
    const TRun run = Run({c.option, "nightly"});
    EXPECT_EQ(kBanner, run.out);
    EXPECT_EQ(c.err, run.err);
    EXPECT_EQ(4, run.status);
    EXPECT_EQ(kCalls, Calls());
    EXPECT_EQ(kOldReport, dir_.Read("archive/current.json"));
    EXPECT_FALSE(dir_.Exists("archive/new.json"));
    EXPECT_FALSE(dir_.Exists("archive/metrics.prom"));
  }
  // Both files at once: each is told, and neither is written.
  const TRun both = Run({"--report=report.json", "--metrics=out/metrics.prom", "nightly"});
  EXPECT_EQ(cases[0].err + cases[1].err, both.err);
  EXPECT_EQ(4, both.status);
  EXPECT_EQ(kOldReport, dir_.Read("archive/current.json"));
  EXPECT_FALSE(dir_.Exists("archive/metrics.prom"));
  // Once root's, the same links are followed.
  for (const char* name : {"report.json", "out", "theirs.json"}) {
    ASSERT_EQ(0, lchown(Path(name).c_str(), 0, static_cast<gid_t>(-1))) << name;
  }
  Expect(Run({"--report=report.json", "--metrics=out/metrics.prom", "nightly"}), kBanner, 0);
  EXPECT_THAT(dir_.Read("archive/current.json"), HasSubstr("\"result\": \"ok\""));
  EXPECT_THAT(dir_.Read("archive/metrics.prom"), HasSubstr("velmorjob_last_run_exit_status"));
  Expect(Run({"--report=mine.json", "nightly"}), kBanner, 0);
  EXPECT_THAT(dir_.Read("archive/new.json"), HasSubstr("\"result\": \"ok\""));
  EXPECT_EQ(static_cast<mode_t>(S_IFLNK), KindOf(Path("report.json")));
  EXPECT_EQ(static_cast<mode_t>(S_IFLNK), KindOf(Path("out")));
}

TEST_F(FilesTest, TheReportIsTheOwnersAloneWhateverTheUmask) {
  const struct {
    mode_t mask;
    mode_t report;
    mode_t metrics;
  } cases[] = {{077, 0600, 0600}, {027, 0600, 0640}, {002, 0600, 0644}, {0, 0600, 0644}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::oct << c.mask);
    unlink(Path("report.json").c_str());
    unlink(Path("metrics.prom").c_str());
    TUmask mask(c.mask);
    Expect(Run({"--report=report.json", "--metrics=metrics.prom", "nightly"}), kBanner, 0);
    EXPECT_EQ(c.report, ModeOf(Path("report.json")));
    EXPECT_EQ(c.metrics, ModeOf(Path("metrics.prom")));
  }
}

TEST_F(FilesTest, AnExistingFileKeepsItsMode) {
  TUmask mask(022);
  dir_.Write("report.json", kOldReport);
  ASSERT_EQ(0, chmod(Path("report.json").c_str(), 0640));
  dir_.Write("metrics.prom", kOldMetrics);
  ASSERT_EQ(0, chmod(Path("metrics.prom").c_str(), 0600));
  for (int run = 0; run < 2; ++run) {
    Expect(Run({"--report=report.json", "--metrics=metrics.prom", "nightly"}), kBanner, 0);
    EXPECT_EQ(0640u, ModeOf(Path("report.json")));
    EXPECT_EQ(0600u, ModeOf(Path("metrics.prom")));
  }
  EXPECT_THAT(dir_.Read("report.json"), HasSubstr("\"result\": \"ok\""));
}

TEST_F(FilesTest, RootKeepsTheOwnerOfAnExistingFile) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
  dir_.Write("report.json", kOldReport);
  ASSERT_EQ(0, chown(Path("report.json").c_str(), kNobody, kNogroup));
  ASSERT_EQ(0, chmod(Path("report.json").c_str(), 0600));
  Expect(Run({"--report=report.json", "nightly"}), kBanner, 0);
  const struct stat status = StatusOf(Path("report.json"));
  EXPECT_EQ(kNobody, status.st_uid);
  EXPECT_EQ(kNogroup, status.st_gid);
  EXPECT_EQ(0600u, status.st_mode & 07777);
  EXPECT_THAT(dir_.Read("report.json"), HasSubstr("\"result\": \"ok\""));
}

TEST_F(FilesTest, ATemporaryFileLeftByAKilledRunIsRemovedByTheNextRun) {
  const struct {
    const char* name;
    std::time_t age;
    bool kept;
  } cases[] = {
      {".report.json.AbC123", 120, false},
      {".report.json.Fresh1", 10, true},
      {".report.json.old", 120, true},
      {".metrics.prom.AbC123", 120, true},
  };
  for (const auto& c : cases) {
    dir_.Write(c.name, "left");
    MakeOld(c.name, c.age);
  }
  Expect(Run({"--report=report.json", "nightly"}), kBanner, 0);
  for (const auto& c : cases) EXPECT_EQ(c.kept, dir_.Exists(c.name)) << c.name;
}

TEST_F(FilesTest, AnotherUsersTemporaryFileIsLeftAlone) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
  dir_.Write(".report.json.AbC123", "left");
  ASSERT_EQ(0, chown(Path(".report.json.AbC123").c_str(), kNobody, kNogroup));
  MakeOld(".report.json.AbC123", 120);
  Expect(Run({"--report=report.json", "nightly"}), kBanner, 0);
  EXPECT_EQ("left", dir_.Read(".report.json.AbC123"));
}

TEST_F(FilesTest, ALockFileThatIsNotTheUsersRegularFileIsRefused) {
  ASSERT_EQ(0, symlink("elsewhere.lock", Path(".velmorjob.lock").c_str()));
  ASSERT_EQ(0, mkdir(Path("directory.lock").c_str(), 0755));
  const struct {
    std::string option;
    std::string message;
  } cases[] = {
      {"--lock", "Lock file [.velmorjob.lock] could not be opened: it is a symbolic link\n"},
      {"--lock=directory.lock",
       "Lock file [directory.lock] could not be opened: it is not a regular file\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.option);
    Expect(Run({c.option, "nightly"}), kBanner + c.message, 2);
  }
  EXPECT_FALSE(dir_.Exists("calls.log"));
  EXPECT_FALSE(dir_.Exists("elsewhere.lock"));
}

TEST_F(FilesTest, RootRefusesALockFileOfAnotherUser) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
  dir_.Write("run.lock", "");
  ASSERT_EQ(0, chown(Path("run.lock").c_str(), kNobody, kNogroup));
  Expect(Run({"--lock=run.lock", "nightly"}),
         kBanner +
             "Lock file [run.lock] could not be opened: it is owned by user 65534, not by you or "
             "root\n",
         2);
  EXPECT_FALSE(dir_.Exists("calls.log"));
}

TEST_F(FilesTest, TheLockFileIsTheUsersAloneWhateverTheUmask) {
  for (const mode_t mask : {002, 0}) {
    SCOPED_TRACE(testing::Message() << std::oct << mask);
    unlink(Path(".velmorjob.lock").c_str());
    TUmask set(mask);
    Expect(Run({"--lock", "nightly"}), kBanner, 0);
    EXPECT_EQ(0600u, ModeOf(Path(".velmorjob.lock")));
  }
}

TEST_F(FilesTest, AnOpenLockFileIsMadeTheUsersAloneAndThatIsSaid) {
  dir_.Write("run.lock", "");
  ASSERT_EQ(0, chmod(Path("run.lock").c_str(), 0644));
  const TRun first = Run({"--lock=run.lock", "nightly"});
  EXPECT_EQ(kBanner, first.out);
  EXPECT_EQ(
      "velmorjob: lock file [run.lock] could be opened by other users; its mode is now 0600\n",
      first.err);
  EXPECT_EQ(0, first.status);
  EXPECT_EQ(0600u, ModeOf(Path("run.lock")));
  Expect(Run({"--lock=run.lock", "nightly"}), kBanner, 0);
}

// --quiet keeps the lock file's line with the run's other messages: none
// for a run that succeeds, all of them in order for one that fails.
TEST_F(FilesTest, QuietKeepsTheLineAboutTheLockFilesModeWithTheOtherMessages) {
  const std::string notice =
      "velmorjob: lock file [run.lock] could be opened by other users; its mode is now 0600\n";
  dir_.Write("run.lock", "");
  ASSERT_EQ(0, chmod(Path("run.lock").c_str(), 0644));
  Expect(Run({"--quiet", "--lock=run.lock", "nightly"}), "", "", 0);
  ASSERT_EQ(0, chmod(Path("run.lock").c_str(), 0644));
  Stub("runner", "exit 1");
  const TRun failed = Run({"--quiet", "--lock=run.lock", "nightly"});
  EXPECT_EQ(3, failed.status);
  EXPECT_EQ(notice, failed.err);
  EXPECT_THAT(failed.out,
              testing::StartsWith(kBanner + "Step 2 \"./runner\" failed: exit status 1"));
}

TEST_F(FilesTest, AnotherUserCannotOpenTheLockFile) {
  if (geteuid() != 0) GTEST_SKIP() << "the other user is nobody, which takes root";
  ASSERT_EQ(0, chmod(dir_.path().c_str(), 0755));
  dir_.Write("old.lock", "");
  ASSERT_EQ(0, chmod(Path("old.lock").c_str(), 0644));
  // As it was: anyone could open it and hold the lock.
  ASSERT_EQ(0, AsNobody(": < old.lock"));
  const TRun run = Run({"--lock=old.lock", "nightly"});
  EXPECT_EQ(0, run.status);
  EXPECT_NE(0, AsNobody(": < old.lock"));
  Expect(Run({"--lock=new.lock", "nightly"}), kBanner, 0);
  EXPECT_NE(0, AsNobody(": < new.lock"));
}

}  // namespace

#include "report/atomic_file.h"

#include <algorithm>
#include <csignal>
#include <dirent.h>
#include <filesystem>
#include <grp.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "temp_dir.h"

namespace {

// The names in a directory, sorted.
std::vector<std::string> Names(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

mode_t ModeOf(const std::string& path) {
  struct stat status {};
  EXPECT_EQ(0, stat(path.c_str(), &status)) << path;
  return status.st_mode & 07777;
}

// Sets the umask for the life of the object.
class TUmask {
 public:
  explicit TUmask(mode_t mask) : old_(umask(mask)) {}
  ~TUmask() { umask(old_); }
  TUmask(const TUmask&) = delete;
  TUmask& operator=(const TUmask&) = delete;

 private:
  mode_t old_;
};

struct TAttempt {
  bool written = false;
  std::string reason;
};

// Writes in a child process, first prepared by prepare, so that the
// identity and limits an attempt needs do not touch the test process.
TAttempt WriteInChild(const std::string& path, const std::string& content, void (*prepare)()) {
  int channel[2];
  if (pipe(channel) != 0) return {false, "no pipe"};
  const pid_t child = fork();
  if (child == 0) {
    close(channel[0]);
    prepare();
    std::string reason;
    const std::string result = (WriteFileAtomically(path, content, reason) ? "1" : "0") + reason;
    const ssize_t ignored = write(channel[1], result.data(), result.size());
    static_cast<void>(ignored);
    _exit(0);
  }
  close(channel[1]);
  std::string result;
  char buffer[512];
  for (ssize_t got; (got = read(channel[0], buffer, sizeof buffer)) > 0;)
    result.append(buffer, got);
  close(channel[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (result.empty()) return {false, "the child wrote nothing"};
  return {result[0] == '1', result.substr(1)};
}

// Root writes anywhere whatever the modes say: attempts that test
// permissions are made as nobody.
void DropRoot() {
  if (geteuid() != 0) return;
  constexpr gid_t kNogroup = 65534;
  constexpr uid_t kNobody = 65534;
  if (setgroups(0, nullptr) != 0 || setgid(kNogroup) != 0 || setuid(kNobody) != 0) _exit(1);
}

void LimitFileSize() {
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{};
  getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = 1000;
  if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(1);
}

TEST(AtomicFileTest, WritesANewFileAndLeavesNothingElse) {
  TTempDir dir;
  std::string reason;
  ASSERT_TRUE(WriteFileAtomically(dir.File("x.prom"), "new\n", reason)) << reason;
  EXPECT_EQ("new\n", dir.Read("x.prom"));
  EXPECT_EQ(std::vector<std::string>{"x.prom"}, Names(dir.path()));
}

TEST(AtomicFileTest, ReplacesTheOldFileWhole) {
  TTempDir dir;
  dir.Write("x.json", std::string(10000, 'o'));
  std::string reason;
  ASSERT_TRUE(WriteFileAtomically(dir.File("x.json"), "short", reason)) << reason;
  EXPECT_EQ("short", dir.Read("x.json"));
  ASSERT_TRUE(WriteFileAtomically(dir.File("x.json"), "", reason)) << reason;
  EXPECT_EQ("", dir.Read("x.json"));
  EXPECT_TRUE(dir.Exists("x.json"));
  EXPECT_EQ(std::vector<std::string>{"x.json"}, Names(dir.path()));
}

TEST(AtomicFileTest, WritesLargeContentWhole) {
  TTempDir dir;
  std::string content;
  for (int i = 0; content.size() < 3 * 1024 * 1024; ++i) content += std::to_string(i) + "\n";
  std::string reason;
  ASSERT_TRUE(WriteFileAtomically(dir.File("big"), content, reason)) << reason;
  EXPECT_EQ(content, dir.Read("big"));
}

TEST(AtomicFileTest, GivesTheFileMode0644LessTheUmask) {
  const struct {
    mode_t mask;
    mode_t mode;
  } cases[] = {{022, 0644}, {027, 0640}, {077, 0600}, {0, 0644}, {0133, 0644}, {0266, 0400}};
  for (const auto& c : cases) {
    TTempDir dir;
    dir.Write("x.prom", "old");
    chmod(dir.File("x.prom").c_str(), 0600);
    std::string reason;
    {
      TUmask mask(c.mask);
      ASSERT_TRUE(WriteFileAtomically(dir.File("x.prom"), "new", reason)) << reason;
    }
    EXPECT_EQ(c.mode, ModeOf(dir.File("x.prom"))) << std::oct << c.mask;
  }
}

TEST(AtomicFileTest, WritesInTheCurrentDirectoryWhenThePathHasNoSlash) {
  TTempDir dir;
  const std::string previous = std::filesystem::current_path().string();
  ASSERT_EQ(0, chdir(dir.path().c_str()));
  std::string reason;
  const bool written = WriteFileAtomically("report.json", "{}\n", reason);
  ASSERT_EQ(0, chdir(previous.c_str()));
  ASSERT_TRUE(written) << reason;
  EXPECT_EQ("{}\n", dir.Read("report.json"));
  EXPECT_EQ(std::vector<std::string>{"report.json"}, Names(dir.path()));
}

TEST(AtomicFileTest, AMissingDirectoryIsReportedWithTheReason) {
  TTempDir dir;
  std::string reason;
  EXPECT_FALSE(WriteFileAtomically(dir.File("missing/x.prom"), "new", reason));
  EXPECT_EQ(
      "cannot create a temporary file in " + dir.File("missing") + ": No such file or directory",
      reason);
  EXPECT_TRUE(Names(dir.path()).empty());
}

TEST(AtomicFileTest, ADirectoryNamedAsTheFileStaysAndNothingIsLeftBehind) {
  TTempDir dir;
  ASSERT_EQ(0, mkdir(dir.File("x.prom").c_str(), 0755));
  dir.Write("x.prom/inside", "kept");
  std::string reason;
  EXPECT_FALSE(WriteFileAtomically(dir.File("x.prom"), "new", reason));
  EXPECT_EQ(0u, reason.rfind("cannot rename " + dir.File(".x.prom."), 0)) << reason;
  EXPECT_NE(std::string::npos, reason.find(" to " + dir.File("x.prom") + ": Is a directory"))
      << reason;
  EXPECT_EQ("kept", dir.Read("x.prom/inside"));
  EXPECT_EQ(std::vector<std::string>{"x.prom"}, Names(dir.path()));

  EXPECT_FALSE(WriteFileAtomically(dir.path() + "/", "new", reason));
  EXPECT_EQ("cannot write " + dir.path() + "/: Is a directory", reason);
  EXPECT_EQ(std::vector<std::string>{"x.prom"}, Names(dir.path()));
}

TEST(AtomicFileTest, AReadOnlyDirectoryKeepsTheOldFile) {
  TTempDir dir;
  // The attempt may be made as another user, who must reach the directory.
  ASSERT_EQ(0, chmod(dir.path().c_str(), 0755));
  ASSERT_EQ(0, mkdir(dir.File("ro").c_str(), 0755));
  dir.Write("ro/x.prom", "old\n");
  ASSERT_EQ(0, chmod(dir.File("ro").c_str(), 0555));
  const TAttempt attempt = WriteInChild(dir.File("ro/x.prom"), "new\n", DropRoot);
  chmod(dir.File("ro").c_str(), 0755);
  EXPECT_FALSE(attempt.written);
  EXPECT_EQ("cannot create a temporary file in " + dir.File("ro") + ": Permission denied",
            attempt.reason);
  EXPECT_EQ("old\n", dir.Read("ro/x.prom"));
  EXPECT_EQ(std::vector<std::string>{"x.prom"}, Names(dir.File("ro")));
}

TEST(AtomicFileTest, AWriteThatFailsPartWayKeepsTheOldFileAndRemovesTheNew) {
  TTempDir dir;
  dir.Write("x.json", "old\n");
  // The first write stops at the size limit; the next one fails.
  const TAttempt attempt = WriteInChild(dir.File("x.json"), std::string(5000, 'n'), LimitFileSize);
  EXPECT_FALSE(attempt.written);
  EXPECT_EQ(0u, attempt.reason.rfind("cannot write " + dir.File(".x.json."), 0)) << attempt.reason;
  EXPECT_NE(std::string::npos, attempt.reason.find(": File too large")) << attempt.reason;
  EXPECT_EQ("old\n", dir.Read("x.json"));
  EXPECT_EQ(std::vector<std::string>{"x.json"}, Names(dir.path()));

  // Under the same limit, content that fits is written.
  const TAttempt fits = WriteInChild(dir.File("x.json"), std::string(1000, 'n'), LimitFileSize);
  EXPECT_TRUE(fits.written) << fits.reason;
  EXPECT_EQ(std::string(1000, 'n'), dir.Read("x.json"));
}

}  // namespace

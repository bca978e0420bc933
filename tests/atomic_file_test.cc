#include "report/atomic_file.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/types.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "file_status.h"
#include "child_process.h"
#include "temp_dir.h"

namespace {

using namespace std::chrono_literals;

constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;
// A group nobody is in, unless a test puts them in it.
constexpr gid_t kOtherGroup = 4242;
// A user that is neither root nor nobody.
constexpr uid_t kOtherUser = 4243;

// The names in a directory, sorted.
std::vector<std::string> Names(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The text of the symbolic link at path.
std::string LinkText(const std::string& path) {
  char text[4096];
  const ssize_t length = readlink(path.c_str(), text, sizeof text);
  return length < 0 ? "" : std::string(text, static_cast<std::size_t>(length));
}

// Sets the time of the file at path (not following a link) seconds ago.
void MakeOld(const std::string& path, std::time_t seconds) {
  timespec times[2] = {};
  times[0].tv_sec = times[1].tv_sec = std::time(nullptr) - seconds;
  ASSERT_EQ(0, utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW)) << path;
}

struct TAttempt {
  bool written = false;
  std::string reason;
};

// Writes the file at path, relative to the directory, in a child process
// that works in the directory and is first prepared by prepare, so that the
// identity and limits an attempt needs do not touch the test process. From
// the directory, another user needs no access to the directories above it.
TAttempt WriteInChild(const TTempDir& dir, const std::string& path, const std::string& content,
                      void (*prepare)()) {
  const std::string result = InChild(dir.path(), prepare, [&] {
    std::string reason;
    return (WriteFileAtomically(path, content, 0644, reason) ? "1" : "0") + reason;
  });
  if (result.empty()) return {false, "the child wrote nothing"};
  return {result[0] == '1', result.substr(1)};
}

// Root writes anywhere whatever the modes say: attempts that test
// permissions are made as nobody.
void DropRoot() {
  if (geteuid() != 0) return;
  if (setgroups(0, nullptr) != 0 || setgid(kNogroup) != 0 || setuid(kNobody) != 0) _exit(1);
}

// Nobody, in kOtherGroup besides their own group.
void BecomeNobodyInTheOtherGroup() {
  const gid_t groups[] = {kOtherGroup};
  if (setgroups(1, groups) != 0 || setgid(kNogroup) != 0 || setuid(kNobody) != 0) _exit(1);
}

void LimitFileSize() {
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{};
  getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = 1000;
  if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(1);
}

// The log the child's standard output goes to in SendOutputToTheLog.
std::string the_log;

void SendOutputToTheLog() {
  const int fd = open(the_log.c_str(), O_WRONLY | O_APPEND);
  if (fd < 0 || dup2(fd, STDOUT_FILENO) < 0) _exit(1);
}

// A FIFO's read end, opened without waiting for a writer.
class TReader {
 public:
  explicit TReader(const std::string& fifo) : fd_(open(fifo.c_str(), O_RDONLY | O_NONBLOCK)) {}
  ~TReader() { Close(); }
  TReader(const TReader&) = delete;
  TReader& operator=(const TReader&) = delete;
  bool Open() const { return fd_ >= 0; }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  // What is in the pipe now.
  std::string Take() {
    std::string taken;
    char buffer[4096];
    for (ssize_t got; (got = read(fd_, buffer, sizeof buffer)) > 0;) taken.append(buffer, got);
    return taken;
  }
  // Reads until size bytes came, or a minute passed, pausing after each
  // read that got something.
  std::string Take(std::size_t size, std::chrono::milliseconds pause) {
    std::string taken;
    char buffer[65536];
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (taken.size() < size && std::chrono::steady_clock::now() < deadline) {
      const ssize_t got = read(fd_, buffer, sizeof buffer);
      if (got > 0) {
        taken.append(buffer, static_cast<std::size_t>(got));
        std::this_thread::sleep_for(pause);
      } else {
        std::this_thread::sleep_for(1ms);
      }
    }
    return taken;
  }

 private:
  int fd_;
};

TEST(AtomicFileTest, WritesANewFileAndLeavesNothingElse) {
  TTempDir dir;
  std::string reason;
  ASSERT_TRUE(WriteFileAtomically(dir.File("x.prom"), "new\n", 0644, reason)) << reason;
  EXPECT_EQ("new\n", dir.Read("x.prom"));
  EXPECT_EQ(std::vector<std::string>{"x.prom"}, Names(dir.path()));
}

TEST(AtomicFileTest, ReplacesTheOldFileWhole) {
  TTempDir dir;
  dir.Write("x.json", std::string(10000, 'o'));
  std::string reason;
  ASSERT_TRUE(WriteFileAtomically(dir.File("x.json"), "short", 0600, reason)) << reason;
  EXPECT_EQ("short", dir.Read("x.json"));
  ASSERT_TRUE(WriteFileAtomically(dir.File("x.json"), "", 0600, reason)) << reason;
  EXPECT_EQ("", dir.Read("x.json"));
  EXPECT_TRUE(dir.Exists("x.json"));
  EXPECT_EQ(std::vector<std::string>{"x.json"}, Names(dir.path()));
}

TEST(AtomicFileTest, WritesLargeContentWhole) {
  TTempDir dir;
  std::string content;
  for (int i = 0; content.size() < 3 * 1024 * 1024; ++i) content += std::to_string(i) + "\n";
  std::string reason;
  ASSERT_TRUE(WriteFileAtomically(dir.File("big"), content, 0644, reason)) << reason;
  EXPECT_EQ(content, dir.Read("big"));
}

TEST(AtomicFileTest, NewFilesGetTheirModeLessTheUmaskWhichStaysAsItWas) {
  const struct {
    mode_t mask;
    mode_t report;
    mode_t metrics;
  } cases[] = {{022, 0600, 0644}, {027, 0600, 0640},  {077, 0600, 0600}, {002, 0600, 0644},
               {0, 0600, 0644},   {0133, 0600, 0644}, {0266, 0400, 0400}};
  for (const auto& c : cases) {
    TTempDir dir;
    std::string reason;
    TUmask mask(c.mask);
    // Two files one after the other: the second must see the umask the
    // first was given.
    ASSERT_TRUE(WriteFileAtomically(dir.File("x.json"), "new", 0600, reason)) << reason;
    ASSERT_TRUE(WriteFileAtomically(dir.File("x.prom"), "new", 0644, reason)) << reason;
    EXPECT_EQ(c.report, ModeOf(dir.File("x.json"))) << std::oct << c.mask;
    EXPECT_EQ(c.metrics, ModeOf(dir.File("x.prom"))) << std::oct << c.mask;
    EXPECT_EQ(c.mask, umask(c.mask)) << std::oct << c.mask;
  }
}

TEST(AtomicFileTest, AnExistingFileKeepsItsMode) {
  const struct {
    mode_t old;
    mode_t kept;
  } cases[] = {{0600, 0600}, {0640, 0640}, {0604, 0604}, {0664, 0664},
               {0444, 0444}, {0755, 0755}, {04755, 0755}};
  TUmask mask(022);
  for (const auto& c : cases) {
    TTempDir dir;
    dir.Write("x.json", "old");
    ASSERT_EQ(0, chmod(dir.File("x.json").c_str(), c.old));
    std::string reason;
    ASSERT_TRUE(WriteFileAtomically(dir.File("x.json"), "new", 0644, reason)) << reason;
    EXPECT_EQ("new", dir.Read("x.json"));
    EXPECT_EQ(c.kept, ModeOf(dir.File("x.json"))) << std::oct << c.old;
  }
}

TEST(AtomicFileTest, RootKeepsTheOwnerAndGroupOfAnExistingFile) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
  TTempDir dir;
  dir.Write("x.json", "old");
  ASSERT_EQ(0, chown(dir.File("x.json").c_str(), kNobody, kOtherGroup));
  ASSERT_EQ(0, chmod(dir.File("x.json").c_str(), 0640));
  std::string reason;
  ASSERT_TRUE(WriteFileAtomically(dir.File("x.json"), "new", 0600, reason)) << reason;
  const struct stat status = StatusOf(dir.File("x.json"));
  EXPECT_EQ(kNobody, status.st_uid);
  EXPECT_EQ(kOtherGroup, status.st_gid);
  EXPECT_EQ(0640u, status.st_mode & 07777);
  EXPECT_EQ("new", dir.Read("x.json"));
  // A new file is root's.
  ASSERT_TRUE(WriteFileAtomically(dir.File("y.json"), "new", 0600, reason)) << reason;
  EXPECT_EQ(0u, StatusOf(dir.File("y.json")).st_uid);
}

TEST(AtomicFileTest, AnotherUserKeepsTheGroupOnlyWhenInIt) {
  if (geteuid() != 0) GTEST_SKIP() << "the attempts are made as nobody, which takes root";
  const struct {
    const char* what;
    uid_t owner;
    void (*prepare)();
    uid_t new_owner;
    gid_t new_group;
  } cases[] = {
      {"in the group", kNobody, BecomeNobodyInTheOtherGroup, kNobody, kOtherGroup},
      {"not in the group", kNobody, DropRoot, kNobody, kNogroup},
      {"another owner", 0, BecomeNobodyInTheOtherGroup, kNobody, kOtherGroup},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TTempDir dir;
    ASSERT_EQ(0, chmod(dir.path().c_str(), 0777));
    dir.Write("x.json", "old");
    ASSERT_EQ(0, chown(dir.File("x.json").c_str(), c.owner, kOtherGroup));
    ASSERT_EQ(0, chmod(dir.File("x.json").c_str(), 0666));
    const TAttempt attempt = WriteInChild(dir, "x.json", "new", c.prepare);
    ASSERT_TRUE(attempt.written) << attempt.reason;
    const struct stat status = StatusOf(dir.File("x.json"));
    EXPECT_EQ(c.new_owner, status.st_uid);
    EXPECT_EQ(c.new_group, status.st_gid);
    EXPECT_EQ(0666u, status.st_mode & 07777);
    EXPECT_EQ("new", dir.Read("x.json"));
  }
}

TEST(AtomicFileTest, WritesInTheCurrentDirectoryWhenThePathHasNoSlash) {
  TTempDir dir;
  const std::string previous = std::filesystem::current_path().string();
  ASSERT_EQ(0, chdir(dir.path().c_str()));
  std::string reason;
  const bool written = WriteFileAtomically("report.json", "{}\n", 0600, reason);
  ASSERT_EQ(0, chdir(previous.c_str()));
  ASSERT_TRUE(written) << reason;
  EXPECT_EQ("{}\n", dir.Read("report.json"));
  EXPECT_EQ(std::vector<std::string>{"report.json"}, Names(dir.path()));
}

TEST(AtomicFileTest, AMissingDirectoryIsReportedWithTheReason) {
  TTempDir dir;
  std::string reason;
  EXPECT_FALSE(WriteFileAtomically(dir.File("missing/x.prom"), "new", 0644, reason));
  EXPECT_EQ(
      "cannot create a temporary file in " + dir.File("missing") + ": No such file or directory",
      reason);
  EXPECT_TRUE(Names(dir.path()).empty());
}

TEST(AtomicFileTest, WhatIsNeitherAFileNorAFifoNorADeviceIsNotTouched) {
  TTempDir dir;
  ASSERT_EQ(0, mkdir(dir.File("directory").c_str(), 0755));
  dir.Write("directory/inside", "kept");
  const int listening = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(listening, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  const std::string socket_path = dir.File("socket");
  ASSERT_LT(socket_path.size(), sizeof address.sun_path);
  socket_path.copy(address.sun_path, socket_path.size());
  ASSERT_EQ(0, bind(listening, reinterpret_cast<const sockaddr*>(&address), sizeof address));
  ASSERT_EQ(0, symlink("directory", dir.File("to-directory").c_str()));
  ASSERT_EQ(0, symlink("socket", dir.File("to-socket").c_str()));
  ASSERT_EQ(0, symlink("loop-b", dir.File("loop-a").c_str()));
  ASSERT_EQ(0, symlink("loop-a", dir.File("loop-b").c_str()));
  const std::vector<std::string> before = Names(dir.path());
  const struct {
    std::string path;
    std::string reason;
  } cases[] = {
      {dir.File("directory"), "it is a directory"},
      {dir.File("socket"), "it is a socket"},
      {dir.File("to-directory"), "it is a symbolic link to a directory"},
      {dir.File("to-socket"), "it is a symbolic link to a socket"},
      {dir.File("loop-a"), "it is a loop of symbolic links"},
      {dir.path() + "/", "it is a directory"},
  };
  for (const auto& c : cases) {
    std::string reason;
    EXPECT_FALSE(WriteFileAtomically(c.path, "new", 0644, reason)) << c.path;
    EXPECT_EQ(c.reason, reason) << c.path;
  }
  close(listening);
  EXPECT_EQ(before, Names(dir.path()));
  EXPECT_EQ(std::vector<std::string>{"inside"}, Names(dir.File("directory")));
  EXPECT_EQ(static_cast<mode_t>(S_IFSOCK), KindOf(dir.File("socket")));
  EXPECT_EQ("loop-b", LinkText(dir.File("loop-a")));

  // A name that ends in a slash names a directory, even one that is not there.
  std::string reason;
  EXPECT_FALSE(WriteFileAtomically(dir.File("none/"), "new", 0644, reason));
  EXPECT_EQ("cannot write " + dir.File("none/") + ": Is a directory", reason);
  EXPECT_EQ(before, Names(dir.path()));
}

TEST(AtomicFileTest, ALinkIsFollowedAndTheFileItLeadsToReplacedInItsDirectory) {
  const struct {
    const char* what;
    std::vector<std::pair<std::string, std::string>> links;  // name, text
    const char* target;
    bool exists;
  } cases[] = {
      {"relative link", {{"x.json", "real/t.json"}}, "real/t.json", true},
      {"link from another directory", {{"sub/x.json", "../real/t.json"}}, "real/t.json", true},
      {"chain of links",
       {{"x.json", "sub/second"}, {"sub/second", "../real/t.json"}},
       "real/t.json",
       true},
      {"dangling link", {{"x.json", "real/new.json"}}, "real/new.json", false},
      {"absolute link", {{"x.json", "ABSOLUTE/real/t.json"}}, "real/t.json", true},
  };
  TUmask mask(022);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TTempDir dir;
    ASSERT_EQ(0, mkdir(dir.File("real").c_str(), 0755));
    ASSERT_EQ(0, mkdir(dir.File("sub").c_str(), 0755));
    dir.Write("real/t.json", "old");
    ASSERT_EQ(0, chmod(dir.File("real/t.json").c_str(), 0640));
    for (const auto& [name, text] : c.links) {
      std::string resolved = text;
      if (resolved.rfind("ABSOLUTE/", 0) == 0) resolved = dir.path() + resolved.substr(8);
      ASSERT_EQ(0, symlink(resolved.c_str(), dir.File(name).c_str()));
    }
    const std::vector<std::string> sub_before = Names(dir.File("sub"));
    std::string reason;
    ASSERT_TRUE(WriteFileAtomically(dir.File(c.links.front().first), "new", 0644, reason))
        << reason;
    EXPECT_EQ("new", dir.Read(c.target));
    EXPECT_EQ(static_cast<mode_t>(S_IFREG), KindOf(dir.File(c.target)));
    EXPECT_EQ(c.exists ? 0640u : 0644u, ModeOf(dir.File(c.target)));
    for (const auto& [name, text] : c.links) {
      EXPECT_EQ(static_cast<mode_t>(S_IFLNK), KindOf(dir.File(name))) << name;
    }
    EXPECT_EQ(sub_before, Names(dir.File("sub")));
    const std::vector<std::string> real = c.exists ? std::vector<std::string>{"t.json"}
                                                   : std::vector<std::string>{"new.json", "t.json"};
    EXPECT_EQ(real, Names(dir.File("real")));
  }
}

// Makes a symbolic link at path with the text, owned by owner.
void Link(const std::string& text, const std::string& path, uid_t owner) {
  ASSERT_EQ(0, symlink(text.c_str(), path.c_str())) << path;
  ASSERT_EQ(0, lchown(path.c_str(), owner, static_cast<gid_t>(-1))) << path;
}

TEST(AtomicFileTest, ALinkOfAnotherUserIsRefusedAndNothingIsWritten) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can give a link to another user";
  const struct {
    const char* what;
    std::vector<std::pair<std::string, uid_t>> links;  // name, owner; each to the next
    std::string path;
  } cases[] = {
      {"the file itself", {{"x.json", kNobody}}, "x.json"},
      {"a directory of the path", {{"out", kNobody}}, "out/x.json"},
      {"the end of another link", {{"x.json", 0}, {"hop", kNobody}}, "x.json"},
      {"a directory in another link's text", {{"x.json", 0}, {"hop", kNobody}}, "x.json/t.json"},
  };
  for (const bool exists : {true, false}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (exists ? ", to a file" : ", to nothing"));
      TTempDir dir;
      ASSERT_EQ(0, mkdir(dir.File("real").c_str(), 0755));
      if (exists) dir.Write("real/t.json", "old");
      // Each link leads to the next; the last to the file, or its directory.
      for (std::size_t i = 0; i < c.links.size(); ++i) {
        const bool end = i + 1 == c.links.size();
        const std::string text = !end                                    ? c.links[i + 1].first
                                 : c.path.find('/') == std::string::npos ? "real/t.json"
                                                                         : "real";
        Link(text, dir.File(c.links[i].first), c.links[i].second);
      }
      const std::vector<std::string> before = Names(dir.path());
      std::string reason;
      EXPECT_FALSE(WriteFileAtomically(dir.File(c.path), "new", 0600, reason));
      EXPECT_EQ("it is a symbolic link owned by user 65534", reason);
      EXPECT_EQ(before, Names(dir.path()));
      EXPECT_EQ(exists ? std::vector<std::string>{"t.json"} : std::vector<std::string>{},
                Names(dir.File("real")));
      if (exists) {
        EXPECT_EQ("old", dir.Read("real/t.json"));
      }
    }
  }
}

TEST(AtomicFileTest, LinksOfTheUserAndOfRootAreFollowed) {
  if (geteuid() != 0) GTEST_SKIP() << "the attempts are made as nobody, which takes root";
  TTempDir dir;
  ASSERT_EQ(0, chmod(dir.path().c_str(), 0755));
  ASSERT_EQ(0, mkdir(dir.File("real").c_str(), 0777));
  ASSERT_EQ(0, chmod(dir.File("real").c_str(), 0777));
  Link("real/nobodys.json", dir.File("nobodys.json"), kNobody);
  Link("real", dir.File("roots"), 0);
  Link("real/others.json", dir.File("others.json"), kOtherUser);
  TAttempt attempt = WriteInChild(dir, "nobodys.json", "one", DropRoot);
  EXPECT_TRUE(attempt.written) << attempt.reason;
  attempt = WriteInChild(dir, "roots/roots.json", "two", DropRoot);
  EXPECT_TRUE(attempt.written) << attempt.reason;
  attempt = WriteInChild(dir, "others.json", "three", DropRoot);
  EXPECT_FALSE(attempt.written);
  EXPECT_EQ("it is a symbolic link owned by user 4243", attempt.reason);
  EXPECT_EQ("one", dir.Read("real/nobodys.json"));
  EXPECT_EQ("two", dir.Read("real/roots.json"));
  EXPECT_EQ((std::vector<std::string>{"nobodys.json", "roots.json"}), Names(dir.File("real")));
}

TEST(AtomicFileTest, ADirectorySwappedForALinkAfterTheLookupChangesNothing) {
  for (const bool exists : {true, false}) {
    SCOPED_TRACE(exists ? "a file to replace" : "a new file");
    TTempDir dir;
    ASSERT_EQ(0, mkdir(dir.File("out").c_str(), 0755));
    ASSERT_EQ(0, mkdir(dir.File("elsewhere").c_str(), 0755));
    if (exists) dir.Write("out/x.json", "old");
    TFileTarget target;
    std::string reason;
    ASSERT_TRUE(FindFileTarget(dir.File("out/x.json"), target, reason)) << reason;
    // Between the lookup and the write, the directory is moved away and a
    // link put in its place, one that a new lookup would follow.
    ASSERT_EQ(0, rename(dir.File("out").c_str(), dir.File("moved").c_str()));
    ASSERT_EQ(0, symlink("elsewhere", dir.File("out").c_str()));
    if (exists) dir.Write("elsewhere/x.json", "planted");
    TStagedFile file;
    ASSERT_TRUE(file.Stage(std::move(target), "new", 0600, reason)) << reason;
    EXPECT_EQ((exists ? std::vector<std::string>{"x.json"} : std::vector<std::string>{}),
              Names(dir.File("elsewhere")));
    EXPECT_EQ(exists ? 2u : 1u, Names(dir.File("moved")).size());
    ASSERT_TRUE(file.Commit(reason)) << reason;
    EXPECT_EQ("new", dir.Read("moved/x.json"));
    EXPECT_EQ(std::vector<std::string>{"x.json"}, Names(dir.File("moved")));
    EXPECT_EQ((exists ? std::vector<std::string>{"x.json"} : std::vector<std::string>{}),
              Names(dir.File("elsewhere")));
    if (exists) {
      EXPECT_EQ("planted", dir.Read("elsewhere/x.json"));
    }
  }
}

TEST(AtomicFileTest, TheNewFileIsMadeInTheDirectoryOfTheFileALinkLeadsTo) {
  TTempDir dir;
  ASSERT_EQ(0, chmod(dir.path().c_str(), 0755));
  // The link's directory cannot be written in; the target's can.
  ASSERT_EQ(0, mkdir(dir.File("links").c_str(), 0755));
  ASSERT_EQ(0, mkdir(dir.File("real").c_str(), 0777));
  ASSERT_EQ(0, chmod(dir.File("real").c_str(), 0777));
  dir.Write("real/t.json", "old");
  ASSERT_EQ(0, chmod(dir.File("real/t.json").c_str(), 0666));
  ASSERT_EQ(0, symlink("../real/t.json", dir.File("links/x.json").c_str()));
  ASSERT_EQ(0, chmod(dir.File("links").c_str(), 0555));
  const TAttempt attempt = WriteInChild(dir, "links/x.json", "new", DropRoot);
  chmod(dir.File("links").c_str(), 0755);
  ASSERT_TRUE(attempt.written) << attempt.reason;
  EXPECT_EQ("new", dir.Read("real/t.json"));
  EXPECT_EQ("../real/t.json", LinkText(dir.File("links/x.json")));
}

TEST(AtomicFileTest, AFifoIsWrittenInPlaceWhenSomeoneReadsIt) {
  TTempDir dir;
  ASSERT_EQ(0, mkfifo(dir.File("fifo").c_str(), 0600));
  ASSERT_EQ(0, symlink("fifo", dir.File("link").c_str()));
  for (const char* name : {"fifo", "link"}) {
    SCOPED_TRACE(name);
    TReader reader(dir.File("fifo"));
    ASSERT_TRUE(reader.Open());
    std::string reason;
    ASSERT_TRUE(WriteFileAtomically(dir.File(name), "{}\n", 0600, reason)) << reason;
    EXPECT_EQ("{}\n", reader.Take());
    EXPECT_EQ(static_cast<mode_t>(S_IFIFO), KindOf(dir.File("fifo")));
    EXPECT_EQ(0600u, ModeOf(dir.File("fifo")));
    EXPECT_EQ((std::vector<std::string>{"fifo", "link"}), Names(dir.path()));
  }
}

TEST(AtomicFileTest, AFifoThatNoOneReadsFailsAtOnceAndStays) {
  TTempDir dir;
  ASSERT_EQ(0, mkfifo(dir.File("fifo").c_str(), 0644));
  ASSERT_EQ(0, symlink("fifo", dir.File("link").c_str()));
  std::string reason;
  EXPECT_FALSE(WriteFileAtomically(dir.File("fifo"), "{}\n", 0600, reason));
  EXPECT_EQ("it is a FIFO that no one reads", reason);
  EXPECT_FALSE(WriteFileAtomically(dir.File("link"), "{}\n", 0600, reason));
  EXPECT_EQ("it is a symbolic link to a FIFO that no one reads", reason);
  EXPECT_EQ(static_cast<mode_t>(S_IFIFO), KindOf(dir.File("fifo")));
  EXPECT_EQ(0644u, ModeOf(dir.File("fifo")));
  EXPECT_EQ((std::vector<std::string>{"fifo", "link"}), Names(dir.path()));
}

TEST(AtomicFileTest, AFifoReaderThatTakesItsTimeGetsTheWholeContent) {
  TTempDir dir;
  ASSERT_EQ(0, mkfifo(dir.File("fifo").c_str(), 0600));
  std::string content;
  for (int i = 0; content.size() < 1024 * 1024; ++i) content += std::to_string(i) + "\n";
  TReader reader(dir.File("fifo"));
  ASSERT_TRUE(reader.Open());
  // The reader takes a pipe's worth every 200 ms: the whole takes longer
  // than the wait, each pause much less.
  TStagedFile file;
  file.SetInPlaceWait(2s);
  std::string taken;
  std::thread reading([&reader, &taken, &content] { taken = reader.Take(content.size(), 200ms); });
  std::string reason;
  const bool written = file.Stage(dir.File("fifo"), content, 0600, reason) && file.Commit(reason);
  reading.join();
  EXPECT_TRUE(written) << reason;
  EXPECT_EQ(content.size(), taken.size());
  EXPECT_TRUE(content == taken);
}

TEST(AtomicFileTest, AFifoReaderThatTakesNothingFailsTheWriteAfterTheWait) {
  TTempDir dir;
  ASSERT_EQ(0, mkfifo(dir.File("fifo").c_str(), 0600));
  TReader reader(dir.File("fifo"));
  ASSERT_TRUE(reader.Open());
  TStagedFile file;
  file.SetInPlaceWait(200ms);
  std::string reason;
  // More than a pipe holds.
  ASSERT_TRUE(file.Stage(dir.File("fifo"), std::string(4 * 1024 * 1024, 'x'), 0600, reason))
      << reason;
  EXPECT_FALSE(file.Commit(reason));
  EXPECT_EQ("no one read from it for 0.2 s", reason);
  EXPECT_EQ(static_cast<mode_t>(S_IFIFO), KindOf(dir.File("fifo")));
}

TEST(AtomicFileTest, AFifoReaderThatGoesAwayFailsTheWriteWithoutEndingTheProcess) {
  TTempDir dir;
  ASSERT_EQ(0, mkfifo(dir.File("fifo").c_str(), 0600));
  TReader reader(dir.File("fifo"));
  ASSERT_TRUE(reader.Open());
  TStagedFile file;
  std::string reason;
  ASSERT_TRUE(file.Stage(dir.File("fifo"), "{}\n", 0600, reason)) << reason;
  reader.Close();
  EXPECT_FALSE(file.Commit(reason));
  EXPECT_EQ("Broken pipe", reason);
  // What SIGPIPE did before, it does after.
  struct sigaction action = {};
  sigaction(SIGPIPE, nullptr, &action);
  EXPECT_EQ(SIG_DFL, action.sa_handler);
}

TEST(AtomicFileTest, RootWritesADeviceInPlaceAndLeavesABlockDeviceAlone) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can make device nodes";
  TTempDir dir;
  ASSERT_EQ(0, mknod(dir.File("null").c_str(), S_IFCHR | 0666, makedev(1, 3)));
  ASSERT_EQ(0, chmod(dir.File("null").c_str(), 0666));
  ASSERT_EQ(0, mknod(dir.File("block").c_str(), S_IFBLK | 0600, makedev(7, 0)));
  ASSERT_EQ(0, symlink("null", dir.File("to-null").c_str()));
  for (const char* name : {"null", "to-null"}) {
    std::string reason;
    EXPECT_TRUE(WriteFileAtomically(dir.File(name), "{}\n", 0600, reason)) << name << reason;
  }
  std::string reason;
  EXPECT_FALSE(WriteFileAtomically(dir.File("block"), "{}\n", 0600, reason));
  EXPECT_EQ("it is a block device", reason);
  const struct stat null = StatusOf(dir.File("null"));
  EXPECT_TRUE(S_ISCHR(null.st_mode));
  EXPECT_EQ(makedev(1, 3), null.st_rdev);
  EXPECT_EQ(0666u, null.st_mode & 07777);
  EXPECT_EQ(static_cast<mode_t>(S_IFBLK), KindOf(dir.File("block")));
  EXPECT_EQ((std::vector<std::string>{"block", "null", "to-null"}), Names(dir.path()));
}

TEST(AtomicFileTest, TheProcesssOwnOutputIsAppendedToNotReplaced) {
  TTempDir dir;
  the_log = dir.Write("run.log", "before\n");
  // As /dev/stdout is.
  ASSERT_EQ(0, symlink("/proc/self/fd/1", dir.File("stdout").c_str()));
  for (const std::string& path : {std::string("stdout"), the_log}) {
    const TAttempt attempt = WriteInChild(dir, path, "{}\n", SendOutputToTheLog);
    EXPECT_TRUE(attempt.written) << path << attempt.reason;
  }
  EXPECT_EQ("before\n{}\n{}\n", dir.Read("run.log"));
  EXPECT_EQ((std::vector<std::string>{"run.log", "stdout"}), Names(dir.path()));
  EXPECT_EQ(static_cast<mode_t>(S_IFLNK), KindOf(dir.File("stdout")));
}

TEST(AtomicFileTest, TemporaryFilesLeftByAKilledRunAreRemovedAndNothingElse) {
  TTempDir dir;
  ASSERT_EQ(0, mkdir(dir.File("real").c_str(), 0755));
  ASSERT_EQ(0, symlink("real/x.json", dir.File("link.json").c_str()));
  const struct {
    const char* name;
    std::time_t age;
    bool removed;
  } cases[] = {
      {"real/.x.json.AbC123", 120, true},   {"real/.x.json.zz9ZZ9", 3600, true},
      {"real/.x.json.Fresh1", 10, false},   {"real/.x.json.AbC12", 120, false},
      {"real/.x.json.AbC1234", 120, false}, {"real/.x.json.AbC12-", 120, false},
      {"real/.y.json.AbC123", 120, false},  {"real/x.json.AbC123", 120, false},
      {"real/.x.json.", 120, false},        {".link.json.AbC123", 120, false},
  };
  for (const auto& c : cases) {
    dir.Write(c.name, "left");
    MakeOld(dir.File(c.name), c.age);
  }
  ASSERT_EQ(0, mkdir(dir.File("real/.x.json.Dir123").c_str(), 0755));
  MakeOld(dir.File("real/.x.json.Dir123"), 120);
  ASSERT_EQ(0, symlink("x.json", dir.File("real/.x.json.Lnk123").c_str()));
  MakeOld(dir.File("real/.x.json.Lnk123"), 120);

  std::string reason;
  ASSERT_TRUE(WriteFileAtomically(dir.File("link.json"), "new", 0600, reason)) << reason;
  EXPECT_EQ("new", dir.Read("real/x.json"));
  for (const auto& c : cases) EXPECT_EQ(!c.removed, dir.Exists(c.name)) << c.name;
  EXPECT_EQ(static_cast<mode_t>(S_IFDIR), KindOf(dir.File("real/.x.json.Dir123")));
  EXPECT_EQ(static_cast<mode_t>(S_IFLNK), KindOf(dir.File("real/.x.json.Lnk123")));
}

TEST(AtomicFileTest, AnotherUsersTemporaryFileIsLeftAlone) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
  TTempDir dir;
  dir.Write(".x.json.AbC123", "left");
  ASSERT_EQ(0, chown(dir.File(".x.json.AbC123").c_str(), kNobody, kNogroup));
  MakeOld(dir.File(".x.json.AbC123"), 120);
  std::string reason;
  ASSERT_TRUE(WriteFileAtomically(dir.File("x.json"), "new", 0600, reason)) << reason;
  EXPECT_EQ("left", dir.Read(".x.json.AbC123"));
}

TEST(AtomicFileTest, AStagedFileIsVisibleOnlyOnceCommitted) {
  TTempDir dir;
  dir.Write("x.json", "old");
  {
    TStagedFile file;
    std::string reason;
    ASSERT_TRUE(file.Stage(dir.File("x.json"), "first", 0600, reason)) << reason;
    EXPECT_EQ("old", dir.Read("x.json"));
    EXPECT_EQ(2u, Names(dir.path()).size());
    // Staged again, the first new file goes.
    ASSERT_TRUE(file.Stage(dir.File("x.json"), "second", 0600, reason)) << reason;
    EXPECT_EQ("old", dir.Read("x.json"));
    EXPECT_EQ(2u, Names(dir.path()).size());
    ASSERT_TRUE(file.Commit(reason)) << reason;
    EXPECT_EQ("second", dir.Read("x.json"));
    EXPECT_EQ(std::vector<std::string>{"x.json"}, Names(dir.path()));
    EXPECT_FALSE(file.Commit(reason));
    EXPECT_EQ("nothing is staged for " + dir.File("x.json"), reason);
  }
  {
    TStagedFile file;
    std::string reason;
    ASSERT_TRUE(file.Stage(dir.File("x.json"), "never", 0600, reason)) << reason;
  }
  EXPECT_EQ("second", dir.Read("x.json"));
  EXPECT_EQ(std::vector<std::string>{"x.json"}, Names(dir.path()));
}

TEST(AtomicFileTest, AStagedFifoGetsNothingUntilCommitted) {
  TTempDir dir;
  ASSERT_EQ(0, mkfifo(dir.File("fifo").c_str(), 0600));
  TReader reader(dir.File("fifo"));
  ASSERT_TRUE(reader.Open());
  {
    TStagedFile file;
    std::string reason;
    ASSERT_TRUE(file.Stage(dir.File("fifo"), "committed\n", 0600, reason)) << reason;
    EXPECT_EQ("", reader.Take());
    ASSERT_TRUE(file.Commit(reason)) << reason;
    EXPECT_EQ("committed\n", reader.Take());
  }
  {
    TStagedFile file;
    std::string reason;
    ASSERT_TRUE(file.Stage(dir.File("fifo"), "dropped\n", 0600, reason)) << reason;
  }
  EXPECT_EQ("", reader.Take());
}

TEST(AtomicFileTest, AReadOnlyDirectoryKeepsTheOldFile) {
  TTempDir dir;
  // The attempt may be made as another user, who must reach the directory.
  ASSERT_EQ(0, chmod(dir.path().c_str(), 0755));
  ASSERT_EQ(0, mkdir(dir.File("ro").c_str(), 0755));
  dir.Write("ro/x.prom", "old\n");
  ASSERT_EQ(0, chmod(dir.File("ro").c_str(), 0555));
  const TAttempt attempt = WriteInChild(dir, "ro/x.prom", "new\n", DropRoot);
  chmod(dir.File("ro").c_str(), 0755);
  EXPECT_FALSE(attempt.written);
  EXPECT_EQ("cannot create a temporary file in ro: Permission denied", attempt.reason);
  EXPECT_EQ("old\n", dir.Read("ro/x.prom"));
  EXPECT_EQ(std::vector<std::string>{"x.prom"}, Names(dir.File("ro")));
}

TEST(AtomicFileTest, AWriteThatFailsPartWayKeepsTheOldFileAndRemovesTheNew) {
  TTempDir dir;
  dir.Write("x.json", "old\n");
  // The first write stops at the size limit; the next one fails.
  const TAttempt attempt = WriteInChild(dir, "x.json", std::string(5000, 'n'), LimitFileSize);
  EXPECT_FALSE(attempt.written);
  EXPECT_EQ(0u, attempt.reason.rfind("cannot write .x.json.", 0)) << attempt.reason;
  EXPECT_NE(std::string::npos, attempt.reason.find(": File too large")) << attempt.reason;
  EXPECT_EQ("old\n", dir.Read("x.json"));
  EXPECT_EQ(std::vector<std::string>{"x.json"}, Names(dir.path()));

  // Under the same limit, content that fits is written.
  const TAttempt fits = WriteInChild(dir, "x.json", std::string(1000, 'n'), LimitFileSize);
  EXPECT_TRUE(fits.written) << fits.reason;
  EXPECT_EQ(std::string(1000, 'n'), dir.Read("x.json"));
}

}  // namespace

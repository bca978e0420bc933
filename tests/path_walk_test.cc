#include "report/path_walk.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "child_process.h"
#include "temp_dir.h"

namespace {

constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;
// A user that is neither root, nobody, nor the one the tests run as.
constexpr uid_t kOtherUser = 4243;

// Makes a symbolic link at path with the text, owned by owner.
void Link(const std::string& text, const std::string& path, uid_t owner) {
  ASSERT_EQ(0, symlink(text.c_str(), path.c_str())) << path;
  ASSERT_EQ(0, lchown(path.c_str(), owner, static_cast<gid_t>(-1))) << path;
}

// Where a descriptor leads, as the kernel names it, relative to base.
std::string PlaceOf(int fd, const std::string& base) {
  char text[4096];
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t length = readlink(link.c_str(), text, sizeof text);
  if (length < 0) return "?";
  const std::string place(text, static_cast<std::size_t>(length));
  if (place == base) return ".";
  if (place.rfind(base + "/", 0) == 0) return place.substr(base.size() + 1);
  return place;
}

const char* KindName(mode_t mode) {
  if (S_ISREG(mode)) return "file";
  if (S_ISDIR(mode)) return "directory";
  if (S_ISFIFO(mode)) return "fifo";
  return "other";
}

// What the walk of path found, in one line: "real/t.json file, linked"
// (where the directory's descriptor really leads, the name, and what is
// there), "refused: REASON", or "unreachable at DIRECTORY: ERROR". Texts
// under base are given relative to it.
std::string Walked(const std::string& path, const std::string& base) {
  TResolvedPath where;
  std::string reason;
  if (!WalkPath(path, where, reason)) return "refused: " + reason;
  if (where.unreachable != 0) {
    std::string directory = where.directory_path;
    if (directory.rfind(base + "/", 0) == 0) directory = directory.substr(base.size() + 1);
    return "unreachable at " + directory + ": " + std::strerror(where.unreachable);
  }
  const std::string place = PlaceOf(where.directory.get(), base);
  std::string line = (place == "." ? "" : place + "/") + where.name + " " +
                     (where.exists ? KindName(where.status.st_mode) : "nothing");
  if (where.linked) line += ", linked";
  if (where.kernel_link) line += ", the kernel's";
  return line;
}

// Runs the walk in a child that works in the directory, prepared by
// prepare (to take another user's identity), so that relative paths need
// no access to the directories above it.
std::string WalkedInChild(const TTempDir& dir, const std::string& path, void (*prepare)()) {
  const std::string result = InChild(dir.path(), prepare, [&] {
    char cwd[4096];
    return Walked(path, getcwd(cwd, sizeof cwd) ? cwd : "");
  });
  return result.empty() ? "the child said nothing" : result;
}

void StayRoot() {}

void BecomeNobody() {
  if (setgroups(0, nullptr) != 0 || setgid(kNogroup) != 0 || setuid(kNobody) != 0) _exit(1);
}

// Runs as nobody, started by another user: the links that count are those
// of the user the process runs as, not of the one who started it.
void BecomeNobodyStartedByAnother() {
  if (setgroups(0, nullptr) != 0 || setgid(kNogroup) != 0 ||
      setresuid(kOtherUser, kNobody, kNobody) != 0) {
    _exit(1);
  }
}

TEST(PathWalkTest, OnlyLinksOfTheUserOrOfRootAreFollowed) {
  if (geteuid() != 0) GTEST_SKIP() << "links of other users and a run as nobody take root";
  TTempDir dir;
  ASSERT_EQ(0, chmod(dir.path().c_str(), 0755));
  ASSERT_EQ(0, mkdir(dir.File("real").c_str(), 0755));
  dir.Write("real/t.json", "old");
  Link("real/t.json", dir.File("nobodys"), kNobody);
  Link("real/t.json", dir.File("roots"), 0);
  Link("real/t.json", dir.File("others"), kOtherUser);
  Link("real", dir.File("nobodys-dir"), kNobody);
  Link("real", dir.File("others-dir"), kOtherUser);
  // The end of another link, and a directory in another link's text.
  Link("others", dir.File("roots-to-others"), 0);
  Link("others-dir/t.json", dir.File("roots-through-others"), 0);
  Link("others-dir", dir.File("roots-dir-to-others"), 0);
  const std::string refused_nobody = "refused: it is a symbolic link owned by user 65534";
  const std::string refused_other = "refused: it is a symbolic link owned by user 4243";
  const struct {
    const char* path;
    std::string as_root;
    std::string as_nobody;
  } cases[] = {
      {"real/t.json", "real/t.json file", "real/t.json file"},
      {"roots", "real/t.json file, linked", "real/t.json file, linked"},
      {"nobodys", refused_nobody, "real/t.json file, linked"},
      {"others", refused_other, refused_other},
      {"nobodys-dir/t.json", refused_nobody, "real/t.json file"},
      {"nobodys-dir/new.json", refused_nobody, "real/new.json nothing"},
      {"others-dir/t.json", refused_other, refused_other},
      {"others-dir/new.json", refused_other, refused_other},
      {"roots-to-others", refused_other, refused_other},
      {"roots-through-others", refused_other, refused_other},
      {"roots-dir-to-others/t.json", refused_other, refused_other},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(c.as_root, WalkedInChild(dir, c.path, StayRoot));
    EXPECT_EQ(c.as_nobody, WalkedInChild(dir, c.path, BecomeNobody));
    EXPECT_EQ(c.as_nobody, WalkedInChild(dir, c.path, BecomeNobodyStartedByAnother));
  }
}

TEST(PathWalkTest, FindsTheDirectoryTheNameAndWhatIsThere) {
  TTempDir dir;
  ASSERT_EQ(0, mkdir(dir.File("real").c_str(), 0755));
  ASSERT_EQ(0, mkdir(dir.File("sub").c_str(), 0755));
  dir.Write("real/t.json", "old");
  ASSERT_EQ(0, mkfifo(dir.File("real/fifo").c_str(), 0600));
  ASSERT_EQ(0, symlink("../real", dir.File("sub/up").c_str()));
  ASSERT_EQ(0, symlink("sub/up/t.json", dir.File("chain").c_str()));
  ASSERT_EQ(0, symlink(dir.File("real").c_str(), dir.File("absolute").c_str()));
  ASSERT_EQ(0, symlink("real/none/x.json", dir.File("dangling").c_str()));
  ASSERT_EQ(0, symlink("real/new.json", dir.File("to-new").c_str()));
  const struct {
    std::string path;
    std::string found;
  } cases[] = {
      {"real/t.json", "real/t.json file"},
      {"real//t.json", "real/t.json file"},
      {"./real/../real/./t.json", "real/t.json file"},
      {"real/new.json", "real/new.json nothing"},
      {"real/fifo", "real/fifo fifo"},
      {"real", "real directory"},
      {"real/", "real directory"},
      {"real/.", "real/. directory"},
      {"sub/up/t.json", "real/t.json file"},
      // ".." after a link goes up from where the link leads.
      {"sub/up/../sub/x.json", "sub/x.json nothing"},
      {"chain", "real/t.json file, linked"},
      {"absolute/t.json", "real/t.json file"},
      {"to-new", "real/new.json nothing, linked"},
      {"none/x.json", "unreachable at none: No such file or directory"},
      {"real/t.json/x.json", "unreachable at real/t.json: Not a directory"},
      {"real/none/", "unreachable at real/none: No such file or directory"},
      {"dangling", "unreachable at real/none: No such file or directory"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.found, Walked(dir.File(c.path), dir.path())) << c.path;
  }
  EXPECT_EQ(". directory", Walked("/", "/"));
}

TEST(PathWalkTest, FortyLinksAreFollowedAndMoreAreALoop) {
  TTempDir dir;
  dir.Write("end", "");
  // link-N leads to link-(N-1), link-1 to the file: from link-N, N links.
  std::string previous = "end";
  for (int n = 1; n <= 41; ++n) {
    const std::string name = "link-" + std::to_string(n);
    ASSERT_EQ(0, symlink(previous.c_str(), dir.File(name).c_str()));
    previous = name;
  }
  ASSERT_EQ(0, symlink("loop", dir.File("loop").c_str()));
  EXPECT_EQ("end file, linked", Walked(dir.File("link-40"), dir.path()));
  EXPECT_EQ("refused: it is a loop of symbolic links", Walked(dir.File("link-41"), dir.path()));
  EXPECT_EQ("refused: it is a loop of symbolic links", Walked(dir.File("loop"), dir.path()));
  EXPECT_EQ("refused: it is a loop of symbolic links", Walked(dir.File("loop/x"), dir.path()));
}

TEST(PathWalkTest, TheKernelFollowsTheLinksOfProc) {
  // A pipe's link in /proc reads "pipe:[N]", which names no file.
  int ends[2];
  ASSERT_EQ(0, pipe(ends));
  const std::string link = "/proc/self/fd/" + std::to_string(ends[1]);
  TResolvedPath where;
  std::string reason;
  ASSERT_TRUE(WalkPath(link, where, reason)) << reason;
  EXPECT_TRUE(where.linked);
  EXPECT_TRUE(where.kernel_link);
  EXPECT_TRUE(where.exists);
  EXPECT_TRUE(S_ISFIFO(where.status.st_mode));
  EXPECT_EQ(link, where.path);
  const int fd = where.Open(O_WRONLY | O_NONBLOCK);
  ASSERT_GE(fd, 0) << std::strerror(errno);
  EXPECT_TRUE(where.IsWhatWasFound(fd));
  EXPECT_EQ(3, write(fd, "abc", 3));
  close(fd);
  char got[4] = {};
  EXPECT_EQ(3, read(ends[0], got, 3));
  EXPECT_STREQ("abc", got);
  close(ends[0]);
  close(ends[1]);
}

TEST(PathWalkTest, WhatIsFoundStaysWhereItWasFoundWhateverTheNamesBecome) {
  TTempDir dir;
  ASSERT_EQ(0, mkdir(dir.File("out").c_str(), 0755));
  ASSERT_EQ(0, mkdir(dir.File("elsewhere").c_str(), 0755));
  dir.Write("out/t.json", "old");
  TResolvedPath where;
  std::string reason;
  ASSERT_TRUE(WalkPath(dir.File("out/t.json"), where, reason)) << reason;
  // The directory is swapped for a link (of root's, which would be
  // followed), and the file for another one.
  ASSERT_EQ(0, rename(dir.File("out").c_str(), dir.File("moved").c_str()));
  ASSERT_EQ(0, symlink("elsewhere", dir.File("out").c_str()));
  dir.Write("elsewhere/t.json", "planted");
  const int fd = where.Open(O_RDONLY);
  ASSERT_GE(fd, 0) << std::strerror(errno);
  EXPECT_TRUE(where.IsWhatWasFound(fd));
  char got[8] = {};
  EXPECT_EQ(3, read(fd, got, sizeof got));
  EXPECT_STREQ("old", got);
  close(fd);
  // The same through the path made for writers that open by path.
  const int made = open(where.DescriptorPath().c_str(), O_WRONLY | O_TRUNC);
  ASSERT_GE(made, 0) << where.DescriptorPath() << ": " << std::strerror(errno);
  EXPECT_EQ(3, write(made, "new", 3));
  close(made);
  EXPECT_EQ("new", dir.Read("moved/t.json"));
  EXPECT_EQ("planted", dir.Read("elsewhere/t.json"));
  // Another file put at the name is not what was found.
  dir.Write("moved/other", "other");
  ASSERT_EQ(0, rename(dir.File("moved/other").c_str(), dir.File("moved/t.json").c_str()));
  const int other = where.Open(O_RDONLY);
  ASSERT_GE(other, 0);
  EXPECT_FALSE(where.IsWhatWasFound(other));
  close(other);
}

}  // namespace

#include "report/file_target.h"

#include <cerrno>
#include <cstring>
#include <limits.h>
#include <unistd.h>
#include <vector>

namespace {

// The kernel's own limit on the symbolic links met in resolving one path.
constexpr int kMaxLinks = 40;

constexpr char kLoop[] = "it is a loop of symbolic links";

// What a file that velmorjob does not write is, for the reason.
const char* Refused(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISBLK(mode)) return "a block device";
  return "neither a regular file, a FIFO nor a character device";
}

// Whether the file is the one velmorjob's standard output or error is open
// on.
bool IsOwnOutput(const struct stat& file) {
  for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
    struct stat output = {};
    if (fstat(fd, &output) == 0 && S_ISREG(output.st_mode) && output.st_dev == file.st_dev &&
        output.st_ino == file.st_ino) {
      return true;
    }
  }
  return false;
}

// The name at the end of the chain of symbolic links that starts at path: a
// file that is not a link, or a name where there is nothing. A relative link
// is read from the directory that holds it.
bool FollowLinks(const std::string& path, std::string& end, std::string& reason) {
  std::string current = path;
  std::vector<char> text(PATH_MAX);
  for (int links = 0;; ++links) {
    struct stat status = {};
    if (lstat(current.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
      end = current;
      return true;
    }
    if (links == kMaxLinks) {
      reason = kLoop;
      return false;
    }
    const ssize_t length = readlink(current.c_str(), text.data(), text.size());
    if (length < 0 || static_cast<std::size_t>(length) == text.size()) {
      reason = "cannot read the symbolic link " + current + ": " +
               std::strerror(length < 0 ? errno : ENAMETOOLONG);
      return false;
    }
    const std::string target(text.data(), static_cast<std::size_t>(length));
    const std::size_t slash = current.rfind('/');
    current = (!target.empty() && target.front() == '/') || slash == std::string::npos
                  ? target
                  : current.substr(0, slash + 1) + target;
  }
}

}  // namespace

std::string TargetIs(const TFileTarget& target, const std::string& what) {
  return std::string("it is ") + (target.linked ? "a symbolic link to " : "") + what;
}

bool FindFileTarget(const std::string& path, TFileTarget& target, std::string& reason) {
  target = TFileTarget();
  struct stat own = {};
  target.linked = lstat(path.c_str(), &own) == 0 && S_ISLNK(own.st_mode);
  struct stat followed = {};
  if (stat(path.c_str(), &followed) != 0) {
    if (errno == ELOOP) {
      reason = kLoop;
      return false;
    }
    // Missing: the file is made at the end of the links, if any.
    return FollowLinks(path, target.path, reason);
  }
  if (S_ISFIFO(followed.st_mode) || S_ISCHR(followed.st_mode) ||
      (S_ISREG(followed.st_mode) && IsOwnOutput(followed))) {
    target.kind = TTargetKind::kInPlace;
    target.path = path;
    target.exists = true;
    target.status = followed;
    target.append = S_ISREG(followed.st_mode);
    return true;
  }
  if (!S_ISREG(followed.st_mode)) {
    reason = TargetIs(target, Refused(followed.st_mode));
    return false;
  }
  if (!FollowLinks(path, target.path, reason)) return false;
  // The links must lead to the file the system opens: one of /proc's, say,
  // may name something else or nothing.
  struct stat end = {};
  if (lstat(target.path.c_str(), &end) != 0 || end.st_dev != followed.st_dev ||
      end.st_ino != followed.st_ino) {
    reason = TargetIs(target, "a file that cannot be named");
    return false;
  }
  target.exists = true;
  target.status = end;
  return true;
}

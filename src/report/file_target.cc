#include "report/file_target.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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

}  // namespace

std::string TargetIs(const TFileTarget& target, const std::string& what) {
  return std::string("it is ") + (target.at.linked ? "a symbolic link to " : "") + what;
}

bool FindFileTarget(const std::string& path, TFileTarget& target, std::string& reason) {
  target = TFileTarget();
  target.path = path;
  const std::string is_a_directory = "cannot write " + path + ": " + std::strerror(EISDIR);
  if (path.empty()) {
    target.failure = is_a_directory;
    return true;
  }
  if (!WalkPath(path, target.at, reason)) return false;
  const TResolvedPath& at = target.at;
  // A name that ends in a slash names a directory, even one that is not
  // there.
  if (path.back() == '/') {
    if (at.exists && S_ISDIR(at.status.st_mode)) {
      reason = "it is a directory";
      return false;
    }
    target.failure = is_a_directory;
    return true;
  }
  if (!at.exists) {
    // Missing: the file is made at the end of the links, if any.
    if (at.unreachable != 0) {
      target.failure = "cannot create a temporary file in " + at.directory_path + ": " +
                       std::strerror(at.unreachable);
    }
    return true;
  }
  const mode_t mode = at.status.st_mode;
  if (S_ISFIFO(mode) || S_ISCHR(mode) || (S_ISREG(mode) && IsOwnOutput(at.status))) {
    target.kind = TTargetKind::kInPlace;
    target.append = S_ISREG(mode);
    return true;
  }
  if (!S_ISREG(mode)) {
    reason = TargetIs(target, Refused(mode));
    return false;
  }
  // A link of /proc's to a file that is not the process's output: there is
  // no directory to replace it in (/proc/self/fd/3 names no place).
  if (at.kernel_link) {
    reason = TargetIs(target, "a file that cannot be named");
    return false;
  }
  return true;
}

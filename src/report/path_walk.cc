#include "report/path_walk.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits.h>
#include <linux/magic.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <vector>

namespace {

// The kernel's own limit on the symbolic links met in resolving one path.
constexpr int kMaxLinks = 40;

constexpr char kLoop[] = "it is a loop of symbolic links";

// Whether a link of this owner may lead the walk: one of the process's own
// user, or of root, who could write anywhere anyway.
bool MayFollow(uid_t owner) { return owner == geteuid() || owner == 0; }

// Whether the directory is in /proc, whose links are the kernel's.
bool InProc(int directory) {
  struct statfs system = {};
  return fstatfs(directory, &system) == 0 && system.f_type == PROC_SUPER_MAGIC;
}

// The text of a path up to its last slash: "." for none, "/" for the root.
std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

void SetText(TResolvedPath& resolved, const std::string& path) {
  resolved.path = path;
  resolved.directory_path = DirectoryOf(path);
}

// The walk stops short of the last name: the file cannot be made there.
bool Unreachable(TResolvedPath& resolved, int error, const std::string& path) {
  resolved.directory.Reset();
  resolved.unreachable = error;
  SetText(resolved, path);
  return true;
}

TDescriptor OpenDirectory(const char* path) {
  return TDescriptor(open(path, O_PATH | O_DIRECTORY | O_CLOEXEC));
}

}  // namespace

int TResolvedPath::Open(int flags) const {
  const int follow = kernel_link ? 0 : O_NOFOLLOW;
  int fd;
  do {
    fd = openat(directory.get(), name.c_str(), flags | follow | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

bool TResolvedPath::IsWhatWasFound(int fd) const {
  struct stat opened = {};
  return exists && fstat(fd, &opened) == 0 && opened.st_dev == status.st_dev &&
         opened.st_ino == status.st_ino && (opened.st_mode & S_IFMT) == (status.st_mode & S_IFMT);
}

std::string TResolvedPath::DescriptorPath() const {
  return "/proc/self/fd/" + std::to_string(directory.get()) + "/" + name;
}

bool WalkPath(const std::string& path, TResolvedPath& resolved, std::string& reason) {
  resolved = TResolvedPath();
  const bool absolute = !path.empty() && path.front() == '/';
  TDescriptor directory = OpenDirectory(absolute ? "/" : ".");
  if (!directory.valid()) return Unreachable(resolved, errno, path);
  // The text of the directory reached, and what is left to walk.
  std::string done;
  std::string rest = path;
  std::vector<char> text(PATH_MAX);
  for (int links = 0;;) {
    const std::size_t start = rest.find_first_not_of('/');
    if (start == std::string::npos) {
      // The path ends at the directory reached ("/").
      SetText(resolved, done + rest);
      resolved.name = ".";
      resolved.exists = fstat(directory.get(), &resolved.status) == 0;
      resolved.directory = std::move(directory);
      return true;
    }
    done += rest.substr(0, start);
    const std::size_t end = rest.find('/', start);
    const std::string name = rest.substr(start, end == std::string::npos ? end : end - start);
    rest.erase(0, end == std::string::npos ? rest.size() : end);
    const bool last = rest.find_first_not_of('/') == std::string::npos;

    TDescriptor entry(openat(directory.get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat status = {};
    if (!entry.valid() || fstat(entry.get(), &status) != 0) {
      const int error = errno;
      // A name followed by a slash must be a directory.
      if (!last || !rest.empty() || error != ENOENT) {
        return Unreachable(resolved, error, done + name + rest);
      }
      // Nothing there: the file is made in this directory.
      SetText(resolved, done + name);
      resolved.name = name;
      resolved.directory = std::move(directory);
      return true;
    }
    if (!S_ISLNK(status.st_mode)) {
      if (!S_ISDIR(status.st_mode) && !rest.empty()) {
        return Unreachable(resolved, ENOTDIR, done + name + rest);
      }
      if (last) {
        SetText(resolved, done + name);
        resolved.name = name;
        resolved.exists = true;
        resolved.status = status;
        resolved.directory = std::move(directory);
        return true;
      }
      directory = std::move(entry);
      done += name;
      continue;
    }

    if (!MayFollow(status.st_uid)) {
      reason = "it is a symbolic link owned by user " + std::to_string(status.st_uid);
      return false;
    }
    if (links++ == kMaxLinks) {
      reason = kLoop;
      return false;
    }
    // A link at the end, with no slash after it: the path itself is one.
    if (rest.empty()) resolved.linked = true;
    if (InProc(directory.get())) {
      if (last) {
        struct stat followed = {};
        if (fstatat(directory.get(), name.c_str(), &followed, 0) != 0) {
          return Unreachable(resolved, errno, done + name + rest);
        }
        SetText(resolved, done + name);
        resolved.name = name;
        resolved.kernel_link = true;
        resolved.exists = true;
        resolved.status = followed;
        resolved.directory = std::move(directory);
        return true;
      }
      TDescriptor followed(openat(directory.get(), name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
      if (!followed.valid()) {
        if (errno == ELOOP) {
          reason = kLoop;
          return false;
        }
        return Unreachable(resolved, errno, done + name + rest);
      }
      directory = std::move(followed);
      done += name;
      continue;
    }
    // The text of the very link checked, read through its descriptor.
    const ssize_t length = readlinkat(entry.get(), "", text.data(), text.size());
    if (length < 0 || static_cast<std::size_t>(length) == text.size()) {
      reason = "cannot read the symbolic link " + done + name + ": " +
               std::strerror(length < 0 ? errno : ENAMETOOLONG);
      return false;
    }
    const std::string target(text.data(), static_cast<std::size_t>(length));
    if (!target.empty() && target.front() == '/') {
      directory = OpenDirectory("/");
      if (!directory.valid()) return Unreachable(resolved, errno, target + rest);
      done.clear();
    }
    // A relative link is read from the directory that holds it.
    rest = target + rest;
  }
}

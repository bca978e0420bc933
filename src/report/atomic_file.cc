#include "report/atomic_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The mode a newly created file gets: 0644 less the umask. The umask can be
// read only by setting it; velmorjob has a single thread, so putting it back
// at once races with nothing.
mode_t NewFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0644 & ~mask;
}

std::string Failed(const std::string& what, int error) {
  return what + ": " + std::strerror(error);
}

bool WriteAll(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t written = write(fd, content.data(), content.size());
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return false;
    content.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

int SyncDirectory(const std::string& directory) {
  const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  int error = 0;
  // A file system that cannot sync a directory says EINVAL; there is
  // nothing more to do on it.
  if (fsync(fd) != 0 && errno != EINVAL) error = errno;
  close(fd);
  return error;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view content, std::string& reason) {
  const std::size_t slash = path.rfind('/');
  const std::string directory = slash == std::string::npos ? "."
                                : slash == 0               ? "/"
                                                           : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty()) {
    reason = Failed("cannot write " + path, EISDIR);
    return false;
  }
  std::string temporary =
      (slash == std::string::npos ? "" : path.substr(0, slash + 1)) + "." + name + ".XXXXXX";
  const int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) {
    reason = Failed("cannot create a temporary file in " + directory, errno);
    return false;
  }
  std::string failure;
  if (!WriteAll(fd, content)) {
    failure = Failed("cannot write " + temporary, errno);
  } else if (fchmod(fd, NewFileMode()) != 0) {
    failure = Failed("cannot set the mode of " + temporary, errno);
  } else if (fsync(fd) != 0) {
    failure = Failed("cannot sync " + temporary, errno);
  }
  // close() is where some file systems report a write that failed. After
  // EINTR the descriptor is closed all the same, and the data was synced.
  if (close(fd) != 0 && errno != EINTR && failure.empty()) {
    failure = Failed("cannot close " + temporary, errno);
  }
  if (failure.empty() && rename(temporary.c_str(), path.c_str()) != 0) {
    failure = Failed("cannot rename " + temporary + " to " + path, errno);
  }
  if (!failure.empty()) {
    unlink(temporary.c_str());
    reason = failure;
    return false;
  }
  if (const int error = SyncDirectory(directory)) {
    reason = Failed("cannot sync the directory " + directory, error);
    return false;
  }
  return true;
}

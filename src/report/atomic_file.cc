#include "report/atomic_file.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "report/file_target.h"

namespace {

// The random part of a temporary file's name, as mkostemp() makes it.
constexpr char kRandomPart[] = "XXXXXX";
constexpr std::size_t kRandomLength = sizeof kRandomPart - 1;

// A temporary file older than this was left by a run that ended mid-write:
// a run takes much less time between creating and renaming its own.
constexpr std::time_t kStaleSeconds = 60;

// The umask can be read only by setting it; it is put back at once, and
// velmorjob has a single thread, so that races with nothing.
mode_t CurrentUmask() {
  const mode_t mask = umask(0);
  umask(mask);
  return mask;
}

std::string Failed(const std::string& what, int error) {
  return what + ": " + std::strerror(error);
}

// The directory that holds a file, the path's text up to its last slash, and
// the file's name.
struct TPlace {
  std::string directory;
  std::string prefix;
  std::string name;
};

TPlace PlaceOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", "", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(0, slash + 1),
          path.substr(slash + 1)};
}

// Whether the name is that of a temporary file for the file named name:
// "." name "." and six letters or digits.
bool IsTemporaryOf(const std::string& entry, const std::string& name) {
  const std::string head = "." + name + ".";
  if (entry.size() != head.size() + kRandomLength || entry.compare(0, head.size(), head) != 0) {
    return false;
  }
  for (std::size_t i = head.size(); i < entry.size(); ++i) {
    const char c = entry[i];
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) {
      return false;
    }
  }
  return true;
}

// Removes the temporary files for the file at place that a run killed
// mid-write left: regular files of the process's user, older than a minute.
// Another run's file, being written now, is younger; nothing else is
// touched.
void RemoveStaleTemporaries(const TPlace& place) {
  DIR* directory = opendir(place.directory.c_str());
  if (directory == nullptr) return;
  const std::time_t now = std::time(nullptr);
  while (const dirent* entry = readdir(directory)) {
    if (!IsTemporaryOf(entry->d_name, place.name)) continue;
    struct stat status = {};
    if (fstatat(dirfd(directory), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISREG(status.st_mode) || status.st_uid != geteuid()) continue;
    if (now - status.st_mtime <= kStaleSeconds) continue;
    unlinkat(dirfd(directory), entry->d_name, 0);
  }
  closedir(directory);
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

// Gives the new file the old one's owner, when the process is root, and its
// group, which works when the user is in it. What the process may not do is
// left undone: the file is then the user's, as a new one.
void KeepOwner(int fd, const struct stat& old) {
  const uid_t owner = geteuid() == 0 ? old.st_uid : static_cast<uid_t>(-1);
  const int ignored = fchown(fd, owner, old.st_gid);
  static_cast<void>(ignored);
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

// Opens a FIFO or device without waiting for anyone, or the regular file
// that is the process's own output at its end.
int OpenInPlace(const TFileTarget& target, std::string& reason) {
  const int flags = O_WRONLY | O_NOCTTY | O_CLOEXEC | (target.append ? O_APPEND : O_NONBLOCK);
  int fd;
  do {
    fd = open(target.path.c_str(), flags);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0 && errno == ENXIO && S_ISFIFO(target.status.st_mode)) {
    reason = TargetIs(target, "a FIFO that no one reads");
    return -1;
  }
  if (fd < 0) {
    reason = std::strerror(errno);
    return -1;
  }
  struct stat opened = {};
  if (fstat(fd, &opened) != 0 || (opened.st_mode & S_IFMT) != (target.status.st_mode & S_IFMT)) {
    close(fd);
    reason = "it changed while it was opened";
    return -1;
  }
  return fd;
}

// "10 s", "0.2 s".
std::string SecondsText(std::chrono::milliseconds wait) {
  char text[32];
  std::snprintf(text, sizeof text, "%g s", static_cast<double>(wait.count()) / 1000);
  return text;
}

}  // namespace

TStagedFile::~TStagedFile() { Discard(); }

void TStagedFile::Discard() {
  if (!temporary_.empty()) unlink(temporary_.c_str());
  temporary_.clear();
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  content_.clear();
}

bool TStagedFile::Stage(const std::string& path, std::string_view content, mode_t new_mode,
                        std::string& reason) {
  Discard();
  path_ = path;
  TFileTarget target;
  if (!FindFileTarget(path, target, reason)) return false;
  target_ = target.path;
  if (target.kind == TTargetKind::kInPlace) {
    fd_ = OpenInPlace(target, reason);
    if (fd_ < 0) return false;
    content_ = content;
    return true;
  }
  const TPlace place = PlaceOf(target_);
  if (place.name.empty()) {
    reason = Failed("cannot write " + target_, EISDIR);
    return false;
  }
  RemoveStaleTemporaries(place);
  std::string temporary = place.prefix + "." + place.name + "." + kRandomPart;
  const int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) {
    reason = Failed("cannot create a temporary file in " + place.directory, errno);
    return false;
  }
  if (target.exists) KeepOwner(fd, target.status);
  const mode_t mode = target.exists ? target.status.st_mode & 0777 : new_mode & ~CurrentUmask();
  std::string failure;
  if (!WriteAll(fd, content)) {
    failure = Failed("cannot write " + temporary, errno);
  } else if (fchmod(fd, mode) != 0) {
    failure = Failed("cannot set the mode of " + temporary, errno);
  } else if (fsync(fd) != 0) {
    failure = Failed("cannot sync " + temporary, errno);
  }
  // close() is where some file systems report a write that failed. After
  // EINTR the descriptor is closed all the same, and the data was synced.
  if (close(fd) != 0 && errno != EINTR && failure.empty()) {
    failure = Failed("cannot close " + temporary, errno);
  }
  if (!failure.empty()) {
    unlink(temporary.c_str());
    reason = failure;
    return false;
  }
  temporary_ = temporary;
  return true;
}

bool TStagedFile::Commit(std::string& reason) {
  if (fd_ >= 0) return CommitInPlace(reason);
  if (temporary_.empty()) {
    reason = "nothing is staged for " + path_;
    return false;
  }
  const std::string temporary = temporary_;
  temporary_.clear();
  if (rename(temporary.c_str(), target_.c_str()) != 0) {
    reason = Failed("cannot rename " + temporary + " to " + target_, errno);
    unlink(temporary.c_str());
    return false;
  }
  if (const int error = SyncDirectory(PlaceOf(target_).directory)) {
    reason = Failed("cannot sync the directory " + PlaceOf(target_).directory, error);
    return false;
  }
  return true;
}

bool TStagedFile::CommitInPlace(std::string& reason) {
  // A reader that goes away must fail the write, not end the run.
  struct sigaction ignore = {};
  struct sigaction previous = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, &previous);
  std::string_view rest = content_;
  // The wait starts again whenever the reader takes something.
  auto deadline = std::chrono::steady_clock::now() + in_place_wait_;
  std::string failure;
  while (!rest.empty() && failure.empty()) {
    const ssize_t written = write(fd_, rest.data(), rest.size());
    if (written >= 0) {
      rest.remove_prefix(static_cast<std::size_t>(written));
      deadline = std::chrono::steady_clock::now() + in_place_wait_;
      continue;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      failure = std::strerror(errno);
      continue;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd ready = {fd_, POLLOUT, 0};
    const int polled = left.count() > 0 ? poll(&ready, 1, static_cast<int>(left.count())) : 0;
    if (polled == 0) failure = "no one read from it for " + SecondsText(in_place_wait_);
    if (polled < 0 && errno != EINTR) failure = std::strerror(errno);
  }
  sigaction(SIGPIPE, &previous, nullptr);
  if (close(fd_) != 0 && errno != EINTR && failure.empty()) failure = std::strerror(errno);
  fd_ = -1;
  content_.clear();
  if (!failure.empty()) {
    reason = failure;
    return false;
  }
  return true;
}

bool WriteFileAtomically(const std::string& path, std::string_view content, mode_t new_mode,
                         std::string& reason) {
  TStagedFile file;
  return file.Stage(path, content, new_mode, reason) && file.Commit(reason);
}

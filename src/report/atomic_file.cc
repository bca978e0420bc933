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
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "report/file_target.h"

namespace {

// The length of the random part of a temporary file's name.
constexpr std::size_t kRandomLength = 6;

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

// How many names are tried for a temporary file before giving up, as one
// taken by another file is tried again with new letters.
constexpr int kTemporaryNames = 100;

// Six letters or digits, drawn anew for each temporary file.
std::string RandomPart() {
  constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device source;
  std::uniform_int_distribution<std::size_t> letter(0, sizeof kLetters - 2);
  std::string part(kRandomLength, 'X');
  for (char& c : part) c = kLetters[letter(source)];
  return part;
}

// The text of a path up to and with its last slash: "" for none.
std::string PrefixOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

// A descriptor to read or sync the directory that an O_PATH descriptor
// names: "." in it is the directory itself, looked up nowhere else.
int OpenToRead(const TDescriptor& directory) {
  return openat(directory.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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

// Removes the temporary files for the file name in the directory that a
// run killed mid-write left: regular files of the process's user, older
// than a minute. Another run's file, being written now, is younger; nothing
// else is touched.
void RemoveStaleTemporaries(const TDescriptor& place, const std::string& name) {
  const int fd = OpenToRead(place);
  if (fd < 0) return;
  DIR* directory = fdopendir(fd);
  if (directory == nullptr) {
    close(fd);
    return;
  }
  const std::time_t now = std::time(nullptr);
  while (const dirent* entry = readdir(directory)) {
    if (!IsTemporaryOf(entry->d_name, name)) continue;
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

int SyncDirectory(const TDescriptor& directory) {
  const int fd = OpenToRead(directory);
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
  const int flags = O_WRONLY | O_NOCTTY | (target.append ? O_APPEND : O_NONBLOCK);
  const int fd = target.at.Open(flags);
  if (fd < 0 && errno == ENXIO && S_ISFIFO(target.at.status.st_mode)) {
    reason = TargetIs(target, "a FIFO that no one reads");
    return -1;
  }
  if (fd < 0) {
    reason = std::strerror(errno);
    return -1;
  }
  if (!target.at.IsWhatWasFound(fd)) {
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
  if (!temporary_.empty()) unlinkat(directory_.get(), temporary_.c_str(), 0);
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
  return Stage(std::move(target), content, new_mode, reason);
}

bool TStagedFile::Stage(TFileTarget target, std::string_view content, mode_t new_mode,
                        std::string& reason) {
  Discard();
  path_ = target.path;
  if (!target.failure.empty()) {
    reason = target.failure;
    return false;
  }
  if (target.kind == TTargetKind::kInPlace) {
    fd_ = OpenInPlace(target, reason);
    if (fd_ < 0) return false;
    content_ = content;
    return true;
  }
  directory_ = std::move(target.at.directory);
  name_ = target.at.name;
  target_ = target.at.path;
  directory_text_ = target.at.directory_path;
  RemoveStaleTemporaries(directory_, name_);
  std::string temporary;
  int fd = -1;
  for (int tries = 0; fd < 0 && tries < kTemporaryNames; ++tries) {
    temporary = "." + name_ + "." + RandomPart();
    fd = openat(directory_.get(), temporary.c_str(),
                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    reason = Failed("cannot create a temporary file in " + directory_text_, errno);
    return false;
  }
  const std::string text = PrefixOf(target_) + temporary;
  if (target.at.exists) KeepOwner(fd, target.at.status);
  const mode_t mode =
      target.at.exists ? target.at.status.st_mode & 0777 : new_mode & ~CurrentUmask();
  std::string failure;
  if (!WriteAll(fd, content)) {
    failure = Failed("cannot write " + text, errno);
  } else if (fchmod(fd, mode) != 0) {
    failure = Failed("cannot set the mode of " + text, errno);
  } else if (fsync(fd) != 0) {
    failure = Failed("cannot sync " + text, errno);
  }
  // close() is where some file systems report a write that failed. After
  // EINTR the descriptor is closed all the same, and the data was synced.
  if (close(fd) != 0 && errno != EINTR && failure.empty()) {
    failure = Failed("cannot close " + text, errno);
  }
  if (!failure.empty()) {
    unlinkat(directory_.get(), temporary.c_str(), 0);
    reason = failure;
    return false;
  }
  temporary_ = temporary;
  temporary_text_ = text;
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
  if (renameat(directory_.get(), temporary.c_str(), directory_.get(), name_.c_str()) != 0) {
    reason = Failed("cannot rename " + temporary_text_ + " to " + target_, errno);
    unlinkat(directory_.get(), temporary.c_str(), 0);
    return false;
  }
  if (const int error = SyncDirectory(directory_)) {
    reason = Failed("cannot sync the directory " + directory_text_, error);
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

bool WriteFileAtomically(TFileTarget target, std::string_view content, mode_t new_mode,
                         std::string& reason) {
  TStagedFile file;
  return file.Stage(std::move(target), content, new_mode, reason) && file.Commit(reason);
}

bool WriteFileAtomically(const std::string& path, std::string_view content, mode_t new_mode,
                         std::string& reason) {
  TStagedFile file;
  return file.Stage(path, content, new_mode, reason) && file.Commit(reason);
}

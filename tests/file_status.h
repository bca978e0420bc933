#ifndef VELMORJOB_TESTS_FILE_STATUS_H_
#define VELMORJOB_TESTS_FILE_STATUS_H_

#include <string>
#include <sys/stat.h>
#include <sys/types.h>

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

// The status of what is at path itself (a symbolic link is not followed);
// all zero when there is nothing.
inline struct stat StatusOf(const std::string& path) {
  struct stat status = {};
  if (lstat(path.c_str(), &status) != 0) status = {};
  return status;
}

// The permission bits of what is at path, or 0 when there is nothing.
inline mode_t ModeOf(const std::string& path) { return StatusOf(path).st_mode & 07777; }

// The kind of what is at path (S_IFREG, S_IFLNK, ...), or 0.
inline mode_t KindOf(const std::string& path) { return StatusOf(path).st_mode & S_IFMT; }

#endif  // VELMORJOB_TESTS_FILE_STATUS_H_

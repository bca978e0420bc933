#ifndef VELMORJOB_CORE_DESCRIPTOR_H_
#define VELMORJOB_CORE_DESCRIPTOR_H_

#include <unistd.h>

// An open file descriptor, closed when the object goes. It moves, it is not
// copied.
class TDescriptor {
 public:
  TDescriptor() = default;
  explicit TDescriptor(int fd) : fd_(fd) {}
  ~TDescriptor() { Reset(); }
  TDescriptor(TDescriptor&& other) noexcept : fd_(other.Release()) {}
  TDescriptor& operator=(TDescriptor&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  TDescriptor(const TDescriptor&) = delete;
  TDescriptor& operator=(const TDescriptor&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

  // Closes what is held, if anything, and holds fd instead.
  void Reset(int fd = -1) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }
  // Gives the descriptor up without closing it.
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_ = -1;
};

#endif  // VELMORJOB_CORE_DESCRIPTOR_H_

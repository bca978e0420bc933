#include "memory_file.h"

#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

TMemoryFile::TMemoryFile() : fd_(memfd_create("velmorjob-fuzz", 0)) {
  if (fd_ < 0) std::abort();
  path_ = "/proc/self/fd/" + std::to_string(fd_);
}

TMemoryFile::~TMemoryFile() { close(fd_); }

void TMemoryFile::Set(const std::uint8_t* data, std::size_t size) {
  if (ftruncate(fd_, 0) != 0) std::abort();
  std::size_t written = 0;
  while (written < size) {
    const ssize_t n = pwrite(fd_, data + written, size - written, static_cast<off_t>(written));
    if (n <= 0) std::abort();
    written += static_cast<std::size_t>(n);
  }
}

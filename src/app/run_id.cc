#include "app/run_id.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace {

// Fills the bytes from the system's random source; false when it cannot.
bool SystemRandom(unsigned char* bytes, std::size_t size) {
  const int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = read(fd, bytes + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  close(fd);
  return got == size;
}

}  // namespace

std::string NewRunId() {
  unsigned char bytes[16];
  if (!SystemRandom(bytes, sizeof bytes)) {
    // No random source: still different for every run on the host.
    std::seed_seq seed{
        static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()),
        static_cast<std::uint64_t>(getpid())};
    std::mt19937_64 generator(seed);
    for (unsigned char& byte : bytes) byte = static_cast<unsigned char>(generator());
  }
  bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  static constexpr char kHex[] = "0123456789abcdef";
  std::string id;
  for (std::size_t i = 0; i < sizeof bytes; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) id += '-';
    id += kHex[bytes[i] >> 4];
    id += kHex[bytes[i] & 0x0F];
  }
  return id;
}

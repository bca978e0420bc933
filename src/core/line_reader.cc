#include "core/line_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "core/stop_signal.h"

TLineReader::~TLineReader() { Close(); }

bool TLineReader::Open(const char* path) {
  Close();
  int fd;
  do {
    fd = ::open(path, O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR && StopSignal() == 0);
  if (fd < 0) return false;
  fd_ = fd;
  if (!block_) block_ = std::make_unique<char[]>(kBlockSize);
  begin_ = end_ = 0;
  piece_ = 0;
  piece_ended_line_ = true;
  eof_ = error_ = false;
  error_number_ = 0;
  return true;
}

void TLineReader::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  begin_ = end_ = 0;
}

bool TLineReader::Fill() {
  // After a stop signal nothing more is read: a read could wait for ever.
  if (eof_ || error_ || fd_ < 0 || StopSignal() != 0) return false;
  ssize_t n;
  do {
    n = read_(fd_, block_.get(), kBlockSize);
  } while (n < 0 && errno == EINTR && StopSignal() == 0);
  // Interrupted by a stop signal: neither the end nor an error.
  if (n < 0 && errno == EINTR) return false;
  if (n < 0) {
    error_ = true;
    error_number_ = errno;
    return false;
  }
  if (n == 0) {
    eof_ = true;
    return false;
  }
  begin_ = 0;
  end_ = static_cast<std::size_t>(n);
  return true;
}

void TLineReader::CountPiece(bool ended_line) {
  piece_ = piece_ended_line_ ? 1 : piece_ + 1;
  piece_ended_line_ = ended_line;
}

std::size_t TLineReader::TakePiece(char* line, std::size_t want) {
  std::size_t got = 0;
  bool ended_line = false;
  while (got < want) {
    if (begin_ == end_ && !Fill()) break;
    const char* start = block_.get() + begin_;
    const std::size_t avail = std::min(end_ - begin_, want - got);
    const void* newline = std::memchr(start, '\n', avail);
    const std::size_t take =
        newline ? static_cast<std::size_t>(static_cast<const char*>(newline) - start) + 1 : avail;
    if (line != nullptr) std::memcpy(line + got, start, take);
    got += take;
    begin_ += take;
    if (newline) {
      ended_line = true;
      break;
    }
  }
  if (got > 0) CountPiece(ended_line);
  return got;
}

bool TLineReader::Gets(char* line, int size) {
  if (size <= 0) return false;
  if (size == 1) {
    line[0] = '\0';
    return true;
  }
  const std::size_t got = TakePiece(line, static_cast<std::size_t>(size) - 1);
  if (got == 0) return false;
  line[got] = '\0';
  return !error_;
}

long TLineReader::Skip(char keep, int size) {
  if (size < 2) return 0;
  const std::size_t want = static_cast<std::size_t>(size) - 1;
  long skipped = 0;
  for (;;) {
    if (begin_ == end_ && !Fill()) return skipped;
    // Most pieces are whole lines that end inside the block: they are passed
    // over here, a memchr() each, as TakePiece would pass over them.
    while (begin_ < end_ && block_[begin_] != keep) {
      const char* start = block_.get() + begin_;
      const void* newline = std::memchr(start, '\n', std::min(end_ - begin_, want));
      if (newline == nullptr) break;
      begin_ += static_cast<std::size_t>(static_cast<const char*>(newline) - start) + 1;
      CountPiece(true);
      ++skipped;
    }
    if (begin_ == end_) continue;
    if (block_[begin_] == keep) return skipped;
    // A piece with no line end in reach: longer than a piece, or running
    // on into the next block.
    TakePiece(nullptr, want);
    if (error_) return skipped;
    ++skipped;
  }
}

#include "core/line_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "core/stop_signal.h"

namespace {

// Sixteen bytes looked at together, through the vector extension of GCC and
// clang: the compiler makes each operation one of the target's vector
// instructions, or word operations on a target that has none.
using TBytes = signed char __attribute__((vector_size(16)));
constexpr std::size_t kWidth = sizeof(TBytes);

TBytes Load(const char* at) {
  TBytes bytes;
  std::memcpy(&bytes, at, sizeof bytes);
  return bytes;
}

TBytes Splat(int byte) {
  TBytes bytes;
  std::memset(&bytes, byte, sizeof bytes);
  return bytes;
}

// Whether any lane of a comparison's result is set.
bool Any(TBytes lanes) {
  std::uint64_t halves[2];
  std::memcpy(halves, &lanes, sizeof halves);
  return (halves[0] | halves[1]) != 0;
}

// The first lane of a comparison's result that is set; one must be.
std::size_t FirstSet(TBytes lanes) {
  std::size_t lane = 0;
  while (lanes[lane] == 0) ++lane;
  return lane;
}

// The sum of the lanes, each from 0 to 127.
long Sum(TBytes counts) {
  std::uint64_t halves[2];
  std::memcpy(halves, &counts, sizeof halves);
  long sum = 0;
  for (std::uint64_t half : halves) {
    // Neighbouring bytes added into four 16-bit sums, then those four.
    half = (half & 0x00ff00ff00ff00ff) + ((half >> 8) & 0x00ff00ff00ff00ff);
    sum += static_cast<long>((half * 0x0001000100010001) >> 48);
  }
  return sum;
}

// Whole lines passed over at once: how many, and the bytes they take.
struct TLines {
  long count = 0;
  std::size_t length = 0;
};

// Passes over the lines at the front of text, which begins one, sixteen
// bytes at a time. Stops before the first line that begins with keep's
// first byte (and its second, when it has one), which may be a piece that
// begins with keep, and before the first line that may be longer than
// `longest` bytes, which would be more than one piece; passes over only
// lines that end in text. The line at the front is passed over whatever it
// begins with. `longest` must be at least 2 * kWidth - 1.
TLines PassLines(const char* text, std::size_t size, std::string_view keep, std::size_t longest) {
  // A step looks at the sixteen bytes from `at` for newlines and at the two
  // after each for keep's.
  if (size < kWidth + 2) return {};
  const std::size_t steps_end = size - kWidth - 1;
  const TBytes newline = Splat('\n');
  const TBytes first = Splat(keep[0]);
  const TBytes second = Splat(keep.size() > 1 ? keep[1] : 0);
  // All lanes set when there is no second byte to compare.
  const TBytes no_second = Splat(keep.size() > 1 ? 0 : -1);
  const TBytes lane_numbers = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  // A line longer than `longest` has `longest` bytes or more before its
  // newline, which take in at least `whole` steps. Between newlines in two
  // groups in a row there are at most 2 * group - 2 steps, fewer than that:
  // so a line can be too long only where a group holds no newline, which
  // ends the pass. (Nor can a lane of a group's counts overflow.)
  const std::size_t whole = (longest - (kWidth - 1)) / kWidth;
  const std::size_t group = std::min<std::size_t>((whole + 1) / 2, 127);
  TLines lines;
  std::size_t at = 0;
  std::size_t after_newline = 0;  // the end of the last group with a newline
  while (at < steps_end) {
    TBytes counts = {};
    TBytes seen = {};
    for (const std::size_t stop = std::min(at + group * kWidth, steps_end); at < stop;
         at += kWidth) {
      const TBytes ends = Load(text + at) == newline;
      const TBytes starts =
          ends & (Load(text + at + 1) == first) & ((Load(text + at + 2) == second) | no_second);
      if (Any(starts)) {
        const std::size_t lane = FirstSet(starts);
        counts -= ends & (lane_numbers <= static_cast<signed char>(lane));
        lines.count += Sum(counts);
        lines.length = at + lane + 1;
        return lines;
      }
      counts -= ends;
      seen |= ends;
    }
    if (!Any(seen)) break;
    lines.count += Sum(counts);
    after_newline = at;
  }
  if (lines.count == 0) return {};
  lines.length = after_newline;
  while (text[lines.length - 1] != '\n') --lines.length;
  return lines;
}

}  // namespace

TLineReader::~TLineReader() { Close(); }

bool TLineReader::Open(const char* path) {
  Close();
  int fd;
  do {
    fd = ::open(path, O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR && StopSignal() == 0);
  if (fd < 0) return false;
  fd_ = fd;
  // Not cleared: only bytes read into it are ever looked at.
  if (!block_) block_.reset(new char[block_size_]);
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
  const std::size_t kept = end_ - begin_;
  std::memmove(block_.get(), block_.get() + begin_, kept);
  begin_ = 0;
  end_ = kept;
  ssize_t n;
  do {
    n = read_(fd_, block_.get() + kept, block_size_ - kept);
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
  end_ = kept + static_cast<std::size_t>(n);
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

bool TLineReader::PieceBeginsWith(std::string_view keep) {
  for (;;) {
    const std::size_t at_hand = std::min(end_ - begin_, keep.size());
    if (std::memcmp(block_.get() + begin_, keep.data(), at_hand) != 0) return false;
    if (at_hand == keep.size()) return true;
    // The bytes at hand begin keep but are fewer: they hold no newline and
    // are fewer than a piece, which goes on in what Gets would read next.
    if (!Fill()) return false;
  }
}

long TLineReader::Skip(std::string_view keep, int size) {
  if (size < 2) return 0;
  const std::size_t want = static_cast<std::size_t>(size) - 1;
  // A piece holds at most want bytes, and ends at its first newline.
  const std::size_t newline_in_keep = keep.find('\n');
  const bool can_begin = keep.size() <= want && (newline_in_keep == std::string_view::npos ||
                                                 newline_in_keep + 1 == keep.size());
  long skipped = 0;
  for (;;) {
    if (begin_ == end_ && !Fill()) return skipped;
    if (can_begin && PieceBeginsWith(keep)) return skipped;
    // Most pieces are short lines: at the start of a line, they are passed
    // over many at a time.
    if (piece_ended_line_ && want >= 2 * kWidth - 1) {
      const TLines lines = PassLines(block_.get() + begin_, end_ - begin_, keep, want);
      if (lines.count > 0) {
        begin_ += lines.length;
        skipped += lines.count;
        piece_ = 1;
        continue;
      }
    }
    // One piece, passed over as TakePiece would: it ends a line in the
    // block, or has no line end in reach, being longer than a piece or
    // running on into the next block.
    const char* start = block_.get() + begin_;
    const void* newline = std::memchr(start, '\n', std::min(end_ - begin_, want));
    if (newline != nullptr) {
      begin_ += static_cast<std::size_t>(static_cast<const char*>(newline) - start) + 1;
      CountPiece(true);
    } else {
      TakePiece(nullptr, want);
      if (error_) return skipped;
    }
    ++skipped;
  }
}

std::string_view TLineReader::Peek(int size) const {
  if (size < 2 || error_ || begin_ == end_) return {};
  const std::size_t want = static_cast<std::size_t>(size) - 1;
  const char* start = block_.get() + begin_;
  const std::size_t at_hand = end_ - begin_;
  const void* newline = std::memchr(start, '\n', std::min(at_hand, want));
  if (newline != nullptr) {
    return {start, static_cast<std::size_t>(static_cast<const char*>(newline) - start) + 1};
  }
  if (at_hand >= want) return {start, want};
  return {};
}

void TLineReader::Pass(std::string_view piece) {
  begin_ += piece.size();
  CountPiece(piece.back() == '\n');
}

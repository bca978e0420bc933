// Reads the same bytes with the block reader and with fgets, piece by
// piece, and checks that both deliver the same pieces, leave the buffer the
// same when nothing is read, and reach the end at the same read; and that
// skipping pieces passes over exactly the ones fgets would deliver and
// leaves the reader where Gets would have, in blocks large and small, with
// reads that deliver a few bytes at a time and a read that fails midway.

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "core/line_reader.h"
#include "memory_file.h"

namespace {

// The pieces of bytes, each up to and including a newline and at most want
// bytes long: what fgets delivers with a buffer of want + 1 bytes.
std::vector<std::string_view> Pieces(std::string_view bytes, std::size_t want) {
  std::vector<std::string_view> pieces;
  while (!bytes.empty()) {
    const std::size_t newline = bytes.find('\n');
    const std::size_t end = newline == std::string_view::npos ? bytes.size() : newline + 1;
    const std::string_view piece = bytes.substr(0, std::min(end, want));
    pieces.push_back(piece);
    bytes.remove_prefix(piece.size());
  }
  return pieces;
}

// A piece as text in a buffer: up to its first NUL.
std::string_view Text(std::string_view piece) { return piece.substr(0, piece.find('\0')); }

// Reads of the file deliver at most read_limit bytes, and fail with EIO from
// the offset fail_at on.
std::size_t read_limit = SIZE_MAX;
std::size_t fail_at = SIZE_MAX;

ssize_t LimitedRead(int fd, void* buffer, std::size_t size) {
  const off_t at = lseek(fd, 0, SEEK_CUR);
  if (at < 0) std::abort();
  const auto offset = static_cast<std::size_t>(at);
  if (offset >= fail_at) {
    errno = EIO;
    return -1;
  }
  return read(fd, buffer, std::min({size, read_limit, fail_at - offset}));
}

// Reads the file with Skip(keep) before each read of a piece, which is Gets
// or, every other time that Peek shows the piece, Pass; checks every step
// against the pieces of bytes. A piece that reaches fail_at is not
// delivered; it is numbered when a byte of it was read.
void CheckSkip(const std::string& path, std::string_view bytes, int line_size,
               std::string_view keep, std::size_t block_size) {
  const std::vector<std::string_view> pieces =
      Pieces(bytes, static_cast<std::size_t>(line_size) - 1);
  TLineReader reader(block_size);
  reader.SetReadFunction(LimitedRead);
  if (!reader.Open(path.c_str())) std::abort();
  std::string line(static_cast<std::size_t>(line_size), '\0');
  std::size_t next = 0;  // the next piece
  std::size_t at = 0;    // where it begins
  long number = 0;       // Piece() of the last piece read
  bool ended_line = true;
  bool pass = false;
  const auto count_piece = [&] {
    number = ended_line ? 1 : number + 1;
    ended_line = pieces[next].back() == '\n';
    at += pieces[next].size();
    ++next;
  };
  for (;;) {
    const long passed = reader.Skip(keep, line_size);
    for (long i = 0; i < passed; ++i) {
      if (next == pieces.size() || at + pieces[next].size() > fail_at) std::abort();
      if (pieces[next].substr(0, keep.size()) == keep) std::abort();
      count_piece();
    }
    if (next == pieces.size()) break;
    const std::string_view piece = pieces[next];
    const bool whole = at + piece.size() <= fail_at;
    if (whole && piece.substr(0, keep.size()) != keep) std::abort();  // Skip stopped too early
    const std::string_view peeked = reader.Peek(line_size);
    if (!peeked.empty() && peeked != piece) std::abort();
    if (!peeked.empty() && pass) {
      reader.Pass(peeked);
    } else if (reader.Gets(line.data(), line_size)) {
      if (!whole || Text(line) != Text(piece)) std::abort();
    } else {
      if (whole) std::abort();
      if (at < fail_at) count_piece();
      break;
    }
    pass = !pass;
    count_piece();
    if (reader.Piece() != number) std::abort();
  }
  if (reader.Piece() != number) std::abort();
  // At the end of the file the reader stays there; a failed read stays failed.
  if (reader.Skip(keep, line_size) != 0 || reader.Gets(line.data(), line_size)) std::abort();
  const bool failed = fail_at <= bytes.size();
  if (reader.Eof() == failed || reader.Error() != failed) std::abort();
  if (failed && reader.ErrorNumber() != EIO) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TMemoryFile file;
  if (size < 1) return 0;
  // The first byte chooses the buffer size, 255 most of the time.
  const int line_size = data[0] < 128 ? 255 : 2 + data[0] % 254;
  file.Set(data + 1, size - 1);
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::vector<std::string_view> pieces =
      Pieces(bytes, static_cast<std::size_t>(line_size) - 1);

  FILE* stream = std::fopen(file.path().c_str(), "r");
  if (stream == nullptr) std::abort();
  TLineReader reader;
  if (!reader.Open(file.path().c_str())) std::abort();

  char expected[256];
  char actual[256];
  std::memset(expected, 0x5a, sizeof expected);
  std::memset(actual, 0x5a, sizeof actual);
  std::size_t reads = 0;
  while (!std::feof(stream)) {
    const bool got_expected = std::fgets(expected, line_size, stream) != nullptr;
    const bool got_actual = reader.Gets(actual, line_size);
    if (got_expected != got_actual) std::abort();
    if (std::memcmp(expected, actual, sizeof expected) != 0) std::abort();
    if ((std::feof(stream) != 0) != reader.Eof()) std::abort();
    if (reader.Error() || std::ferror(stream)) std::abort();
    // The pieces that the checks of Skip go by are those of fgets.
    if (got_expected != (reads < pieces.size())) std::abort();
    if (got_expected && Text(expected) != Text(pieces[reads])) std::abort();
    ++reads;
    if (reads > size + 2) std::abort();  // must always get somewhere
  }
  // Both stay at the end.
  if (reader.Gets(actual, line_size) || !reader.Eof()) std::abort();
  std::fclose(stream);

  // Skipping to the pieces that begin with the first byte, in the blocks the
  // program reads.
  const char first = static_cast<char>(data[0]);
  read_limit = fail_at = SIZE_MAX;
  CheckSkip(file.path(), bytes, line_size, std::string_view(&first, 1), TLineReader::kBlockSize);
  // And to those that begin as the file does, which many may: in blocks too
  // small for a piece, from reads of a few bytes, and in blocks about as long
  // as a piece, from a read that fails.
  const std::string_view keep =
      bytes.empty() ? std::string_view(&first, 1) : bytes.substr(0, 1 + data[0] % 6);
  read_limit = 1 + size % 97;
  CheckSkip(file.path(), bytes, line_size, keep, 7 + data[0] % 32);
  read_limit = SIZE_MAX;
  fail_at = bytes.empty() ? SIZE_MAX : (bytes.size() * (data[0] % 16)) / 16;
  CheckSkip(file.path(), bytes, line_size, keep, 250 + size % 64);
  return 0;
}

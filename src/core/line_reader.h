#ifndef VELMORJOB_CORE_LINE_READER_H_
#define VELMORJOB_CORE_LINE_READER_H_

#include <cstddef>
#include <memory>
#include <string_view>
#include <sys/types.h>
#include <unistd.h>

// A buffered reader of the configuration file that hands out lines the way
// fgets() does: at most size - 1 bytes, up to and including the next newline,
// then a terminating zero. NUL bytes inside a line are copied like any other.
// It reads the file in large blocks, so scanning a big file costs one system
// call per block instead of a stdio lock and bookkeeping per line.
class TLineReader {
 public:
  static constexpr std::size_t kBlockSize = 128 * 1024;

  // A test may choose a small block, so that pieces often cross its end; it
  // must be longer than any `keep` that Skip is to find.
  explicit TLineReader(std::size_t block_size = kBlockSize) : block_size_(block_size) {}
  ~TLineReader();
  TLineReader(const TLineReader&) = delete;
  TLineReader& operator=(const TLineReader&) = delete;

  // Opens path for reading; on failure returns false with errno set.
  bool Open(const char* path);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  // Reads the next piece into line. Returns false, leaving line as it was,
  // when nothing could be read: at the end of the file (which also sets the
  // end-of-file indicator) or on a read error (which sets the error
  // indicator). The end-of-file indicator is sticky: once set, no further
  // bytes are read.
  bool Gets(char* line, int size);

  // Passes over the pieces that Gets(line, size) would deliver next, as long
  // as they do not begin with `keep`, without copying them anywhere. Returns
  // how many pieces it passed over. Stops before a piece that begins with
  // `keep`, at the end of the file or at a read error; Gets then goes on
  // exactly where it would have after reading the skipped pieces itself.
  // size must be at least 2. No piece begins with a `keep` that is longer
  // than a piece or holds a newline before its last byte.
  long Skip(std::string_view keep, int size);

  // The piece that Gets(line, size) would deliver next, when the block holds
  // all of it, as a view into the block that is good until the reader moves
  // on; otherwise, or after a read error, an empty view. Reads nothing.
  std::string_view Peek(int size) const;
  // Passes over the piece that Peek returned last, as Gets would have read it.
  void Pass(std::string_view piece);

  // How the reader gets bytes from the open file: read(2), unless a test
  // puts a reader that fails at a chosen point in its place.
  using TReadFunction = ssize_t (*)(int fd, void* buffer, std::size_t size);
  void SetReadFunction(TReadFunction read_function) { read_ = read_function; }
  // Which piece of its line the last piece delivered or passed over was: 1
  // for a piece that begins a line, 2 for the piece after it when the line
  // did not fit in one piece, and so on; 0 before the first piece.
  long Piece() const { return piece_; }

  bool Eof() const { return eof_; }
  bool Error() const { return error_; }
  int ErrorNumber() const { return error_number_; }

 private:
  // Reads the next bytes of the file in after those not yet consumed, which
  // move to the front of the block.
  bool Fill();
  // Whether the piece at the front, which can be as long as keep, begins
  // with it. Reads on, as Gets would to finish the piece, while the bytes at
  // hand are fewer than keep's but begin it.
  bool PieceBeginsWith(std::string_view keep);
  // Consumes the next piece: at most want bytes, up to and including a
  // newline. Copies it to line unless line is null; returns its length.
  std::size_t TakePiece(char* line, std::size_t want);
  // Notes that a piece was consumed, and whether it ended its line.
  void CountPiece(bool ended_line);

  std::size_t block_size_;
  int fd_ = -1;
  TReadFunction read_ = ::read;
  std::unique_ptr<char[]> block_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  long piece_ = 0;
  bool piece_ended_line_ = true;  // the last piece ended with a newline
  bool eof_ = false;
  bool error_ = false;
  int error_number_ = 0;
};

#endif  // VELMORJOB_CORE_LINE_READER_H_

#include "core/line_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "temp_dir.h"

namespace {

// One read as seen by the caller: what it returned, the whole buffer after
// it, and the end-of-file indicator.
struct TPiece {
  bool got;
  std::string buffer;
  bool eof;
  bool operator==(const TPiece& o) const {
    return got == o.got && buffer == o.buffer && eof == o.eof;
  }
};

// Reads until the end-of-file indicator is set, as the job reader does.
std::vector<TPiece> ReadWithFgets(const std::string& path, int size) {
  std::vector<TPiece> pieces;
  FILE* file = std::fopen(path.c_str(), "r");
  std::string buffer(static_cast<std::size_t>(size), '\x5a');
  while (!std::feof(file)) {
    const bool got = std::fgets(buffer.data(), size, file) != nullptr;
    pieces.push_back({got, buffer, std::feof(file) != 0});
    if (!got && !std::feof(file)) break;
  }
  std::fclose(file);
  return pieces;
}

std::vector<TPiece> ReadWithReader(const std::string& path, int size) {
  std::vector<TPiece> pieces;
  TLineReader reader;
  EXPECT_TRUE(reader.Open(path.c_str()));
  std::string buffer(static_cast<std::size_t>(size), '\x5a');
  while (!reader.Eof()) {
    const bool got = reader.Gets(buffer.data(), size);
    pieces.push_back({got, buffer, reader.Eof()});
    if (!got && !reader.Eof()) break;
  }
  return pieces;
}

struct TContentCase {
  const char* what;
  std::string content;
};

std::vector<TContentCase> ContentCases() {
  using namespace std::string_literals;
  return {
      {"empty file", ""},
      {"one line", "MaxFiles 500\n"},
      {"last line without a line end", "[Index]\nMaxFiles 500"},
      {"empty lines", "\n\n\n"},
      {"line of exactly 253 bytes and its line end", std::string(253, 'a') + "\n"},
      {"line of 254 bytes and its line end", std::string(254, 'a') + "\nnext\n"},
      {"254 bytes at the end of the file", std::string(254, 'a')},
      {"line of 600 bytes", std::string(600, 'b') + "\nafter\n"},
      {"NUL bytes inside lines", "Max\0Files 5\n\0\n#\0x\n"s},
      {"lines that begin with the kept character",
       "a1\nb\naa\n\na" + std::string(300, 'a') + "\nb"},
      {"carriage returns", "[Index]\r\nSleep 5\r\n"},
      {"lines across the reader's block boundary",
       std::string(TLineReader::kBlockSize - 3, 'c') + "\n" + std::string(300, 'd') + "\nend"},
  };
}

TEST(LineReaderTest, DeliversTheSamePiecesAsFgets) {
  TTempDir dir;
  for (const TContentCase& c : ContentCases()) {
    const std::string path = dir.Write("conf", c.content);
    for (int size : {255, 2, 3, 17}) {
      SCOPED_TRACE(std::string(c.what) + ", size " + std::to_string(size));
      EXPECT_EQ(ReadWithFgets(path, size), ReadWithReader(path, size));
    }
  }
}

// Every piece fgets delivers, in order, up to the end of the file.
std::vector<std::string> FgetsPieces(const std::string& path, int size) {
  std::vector<std::string> pieces;
  for (const TPiece& piece : ReadWithFgets(path, size)) {
    if (piece.got) pieces.push_back(piece.buffer.substr(0, piece.buffer.find('\0', 0)));
  }
  return pieces;
}

TEST(LineReaderTest, SkipPassesOverExactlyThePiecesGetsWouldDeliver) {
  TTempDir dir;
  for (const TContentCase& c : ContentCases()) {
    const std::string path = dir.Write("conf", c.content);
    for (int size : {255, 2, 17}) {
      SCOPED_TRACE(std::string(c.what) + ", size " + std::to_string(size));
      // Pieces as text up to their first NUL, which is what Skip looks at.
      const std::vector<std::string> all = FgetsPieces(path, size);
      std::vector<std::string> kept;
      std::size_t skipped = 0;
      TLineReader reader;
      ASSERT_TRUE(reader.Open(path.c_str()));
      std::string line(static_cast<std::size_t>(size), '\0');
      for (;;) {
        skipped += static_cast<std::size_t>(reader.Skip("a", size));
        if (!reader.Gets(line.data(), size)) break;
        kept.push_back(line.substr(0, line.find('\0')));
      }
      std::size_t expected_skipped = 0;
      std::vector<std::string> expected_kept;
      for (const std::string& piece : all) {
        if (!piece.empty() && piece[0] == 'a') {
          expected_kept.push_back(piece);
        } else {
          ++expected_skipped;
        }
      }
      EXPECT_EQ(expected_kept, kept);
      EXPECT_EQ(expected_skipped, skipped);
      EXPECT_TRUE(reader.Eof());
    }
  }
}

// The pieces of content that fgets delivers with a buffer of size bytes,
// each up to and including a newline and at most size - 1 bytes long.
std::vector<std::string> Pieces(const std::string& content, int size) {
  std::vector<std::string> pieces;
  const auto want = static_cast<std::size_t>(size) - 1;
  for (std::size_t at = 0; at < content.size();) {
    const std::size_t newline = content.find('\n', at);
    const std::size_t end = newline == std::string::npos ? content.size() : newline + 1;
    pieces.push_back(content.substr(at, std::min(end - at, want)));
    at += pieces.back().size();
  }
  return pieces;
}

// What a scan with Skip(keep) before each Gets sees, as lines of text: how
// many pieces each Skip passed over and the number in its line of the last
// piece then behind the reader, and each piece read after it (up to its
// first NUL) with its number.
std::vector<std::string> ExpectedScan(const std::string& content, const std::string& keep,
                                      int size) {
  std::vector<std::string> seen;
  long skipped = 0;
  long number = 0;
  bool ended_line = true;
  for (const std::string& piece : Pieces(content, size)) {
    const long last = number;
    number = ended_line ? 1 : number + 1;
    ended_line = piece.back() == '\n';
    if (piece.compare(0, keep.size(), keep) != 0) {
      ++skipped;
      continue;
    }
    seen.push_back("skipped " + std::to_string(skipped) + " to piece " + std::to_string(last));
    seen.push_back("piece " + std::to_string(number) + ": " + piece.substr(0, piece.find('\0')));
    skipped = 0;
  }
  seen.push_back("skipped " + std::to_string(skipped) + " to piece " + std::to_string(number));
  return seen;
}

std::vector<std::string> Scan(const std::string& path, const std::string& keep, int size,
                              std::size_t block_size) {
  std::vector<std::string> seen;
  TLineReader reader(block_size);
  EXPECT_TRUE(reader.Open(path.c_str()));
  std::string line(static_cast<std::size_t>(size), '\0');
  for (;;) {
    const long skipped = reader.Skip(keep, size);
    seen.push_back("skipped " + std::to_string(skipped) + " to piece " +
                   std::to_string(reader.Piece()));
    // Peek shows the piece that Gets reads, when the block holds it whole.
    const std::string_view peeked = reader.Peek(size);
    if (!reader.Gets(line.data(), size)) break;
    const std::string text = line.substr(0, line.find('\0'));
    if (!peeked.empty()) {
      EXPECT_EQ(text, peeked.substr(0, peeked.find('\0')));
    }
    seen.push_back("piece " + std::to_string(reader.Piece()) + ": " + text);
  }
  EXPECT_TRUE(reader.Eof());
  EXPECT_FALSE(reader.Error());
  return seen;
}

// Short lines, 16 bytes each but the last, that make up n bytes.
std::string Filler(std::size_t n) {
  std::string filler(n, 'f');
  for (std::size_t end = 16; end <= n; end += 16) filler[end - 1] = '\n';
  if (n > 0) filler.back() = '\n';
  return filler;
}

struct TScanCase {
  std::string what;
  std::string content;
  std::string keep;
  std::size_t block_size;
};

std::vector<TScanCase> ScanCases() {
  using namespace std::string_literals;
  const std::string header = "[Job a]\n";
  const std::size_t block = 300;
  std::vector<TScanCase> cases = {
      {"a line of 254 bytes and its newline, ending at the block's end",
       Filler(block - 255) + std::string(254, 'x') + "\n" + header, "[Job ", block},
      {"a line of 254 bytes and its newline, across the block's end",
       Filler(100) + std::string(254, 'x') + "\n" + header + "y\n", "[Job ", block},
      {"a line of 253 bytes and its newline, ending at the block's end",
       Filler(block - 254) + std::string(253, 'x') + "\n" + header, "[Job ", block},
      {"a header right after the block's end", Filler(block) + header + "y\n", "[Job ", block},
      {"a header across the block's end", Filler(block - 2) + header + "y\n", "[Job ", block},
      {"a header across the block's end that is not one", Filler(block - 3) + "[Jo\n" + header,
       "[Job ", block},
      {"a second piece that begins with the kept text",
       Filler(40) + std::string(254, 'x') + header + "y\n", "[Job ", block},
      {"lines that begin as the kept text does, and stop short of it",
       Filler(40) + "[J\n[Jo\n[Jobs]\n[Job\n[\n" + header, "[Job ", block},
      {"lines between 225 and 254 bytes, one piece each",
       Filler(20) + std::string(230, 'x') + "\n" + std::string(250, 'y') + "\n" + header, "[Job ",
       TLineReader::kBlockSize},
      {"carriage returns before the newlines",
       Filler(40) + "[Job a]\r\n\r[Job b]\n\r\n" + std::string(253, 'x') + "\r\n[Job c]\r\n",
       "[Job ", block},
      {"NUL bytes", Filler(40) + "\0[Job a]\n[Job\0a]\n[Job a\0]\n\n\0\n[\0\n"s, "[Job ", block},
      {"one kept byte, and a kept line at the start and at the end without a newline",
       "[Index]\n" + Filler(50) + "[Runner]\n\n[", "[", block},
      {"empty lines before kept ones", Filler(32) + "\n\n\n" + header + "\n" + header, "[Job ",
       block},
      {"a newline kept", Filler(40) + "\n\n" + Filler(40) + "\n", "\n", block},
      {"a kept text longer than a piece", Filler(40) + std::string(300, '['), std::string(255, '['),
       block},
      {"a kept text that a newline would end", Filler(40) + "[\n[\nJ\n", "[\nJ", block},
  };
  // Every lane of a step, and every place in a group of steps, for a header
  // and for a line that is too long to be a piece.
  for (std::size_t n = 1; n <= 48; ++n) {
    cases.push_back({"a header after " + std::to_string(n) + " bytes",
                     std::string(n - 1, 'f') + "\n" + header + "y\n", "[Job ",
                     TLineReader::kBlockSize});
  }
  for (std::size_t n = 1; n <= 256; n += 5) {
    cases.push_back({"a line of 300 bytes after " + std::to_string(n) + " bytes",
                     Filler(n) + std::string(299, 'x') + "\n" + header, "[Job ",
                     TLineReader::kBlockSize});
  }
  return cases;
}

TEST(LineReaderTest, SkipKeepsThePiecesThatBeginWithTheKeptText) {
  TTempDir dir;
  for (const TScanCase& c : ScanCases()) {
    const std::string path = dir.Write("conf", c.content);
    for (int size : {255, 33, 17}) {
      SCOPED_TRACE(c.what + ", size " + std::to_string(size));
      // The pieces expected are those of fgets.
      std::vector<std::string> texts;
      for (const std::string& piece : Pieces(c.content, size)) {
        texts.push_back(piece.substr(0, piece.find('\0')));
      }
      ASSERT_EQ(FgetsPieces(path, size), texts);
      for (std::size_t block_size : {c.block_size, std::size_t{7}}) {
        SCOPED_TRACE("block of " + std::to_string(block_size));
        EXPECT_EQ(ExpectedScan(c.content, c.keep, size), Scan(path, c.keep, size, block_size));
      }
    }
  }
}

TEST(LineReaderTest, PeekShowsOnlyAPieceThatTheBlockHoldsWhole) {
  TTempDir dir;
  const std::string path = dir.Write("conf", "0123\n56789\nabcdefghij\n" + std::string(40, 'x'));
  TLineReader reader(16);
  ASSERT_TRUE(reader.Open(path.c_str()));
  char line[32];
  // Nothing is at hand before the first read.
  EXPECT_EQ("", reader.Peek(sizeof line));
  ASSERT_TRUE(reader.Gets(line, sizeof line));
  ASSERT_EQ("56789\n", reader.Peek(sizeof line));
  reader.Pass(reader.Peek(sizeof line));
  EXPECT_EQ(1, reader.Piece());
  // The block ends with "abcde": the rest of the line is not read yet.
  EXPECT_EQ("", reader.Peek(sizeof line));
  ASSERT_TRUE(reader.Gets(line, sizeof line));
  EXPECT_STREQ("abcdefghij\n", line);
  // Ten bytes of the long line are at hand: two pieces of five.
  ASSERT_EQ("xxxxx", reader.Peek(6));
  reader.Pass(reader.Peek(6));
  EXPECT_EQ(1, reader.Piece());
  ASSERT_EQ("xxxxx", reader.Peek(6));
  reader.Pass(reader.Peek(6));
  EXPECT_EQ(2, reader.Piece());
  EXPECT_EQ("", reader.Peek(6));
  ASSERT_TRUE(reader.Gets(line, 6));
  EXPECT_STREQ("xxxxx", line);
  EXPECT_EQ(3, reader.Piece());
}

TEST(LineReaderTest, NumbersThePiecesOfEachLine) {
  TTempDir dir;
  // 354 bytes and a line end arrive as two pieces, 600 bytes and a line end
  // as three; after 254 bytes that fill a piece, their line end is a second.
  const std::string path =
      dir.Write("conf", "one\n" + std::string(254, 'b') + std::string(100, 'c') + "\n" +
                            std::string(600, 'd') + "\n" + std::string(254, 'e') + "\nend");
  TLineReader reader;
  ASSERT_TRUE(reader.Open(path.c_str()));
  EXPECT_EQ(0, reader.Piece());
  char line[255];
  std::vector<long> pieces;
  while (reader.Gets(line, sizeof line)) pieces.push_back(reader.Piece());
  EXPECT_EQ((std::vector<long>{1, 1, 2, 1, 2, 3, 1, 2, 1}), pieces);
  // The numbering goes on across pieces passed over.
  ASSERT_TRUE(reader.Open(path.c_str()));
  EXPECT_EQ(0, reader.Piece());
  EXPECT_EQ(2, reader.Skip("c", sizeof line));
  EXPECT_EQ(1, reader.Piece());
  ASSERT_TRUE(reader.Gets(line, sizeof line));
  EXPECT_EQ(2, reader.Piece());
  EXPECT_EQ(4, reader.Skip("\n", sizeof line));
  EXPECT_EQ(1, reader.Piece());
  ASSERT_TRUE(reader.Gets(line, sizeof line));
  EXPECT_STREQ("\n", line);
  EXPECT_EQ(2, reader.Piece());
  // A read that finds nothing leaves the number as it was.
  ASSERT_TRUE(reader.Gets(line, sizeof line));
  EXPECT_FALSE(reader.Gets(line, sizeof line));
  EXPECT_EQ(1, reader.Piece());
}

TEST(LineReaderTest, NothingReadLeavesTheBufferAsItWas) {
  TTempDir dir;
  TLineReader reader;
  ASSERT_TRUE(reader.Open(dir.Write("conf", "one\n").c_str()));
  char line[16];
  ASSERT_TRUE(reader.Gets(line, sizeof line));
  EXPECT_STREQ("one\n", line);
  EXPECT_FALSE(reader.Eof());
  EXPECT_FALSE(reader.Gets(line, sizeof line));
  EXPECT_TRUE(reader.Eof());
  EXPECT_STREQ("one\n", line);
  // The end of the file is sticky.
  EXPECT_FALSE(reader.Gets(line, sizeof line));
  EXPECT_FALSE(reader.Error());
}

TEST(LineReaderTest, MissingFileDoesNotOpen) {
  TTempDir dir;
  TLineReader reader;
  EXPECT_FALSE(reader.Open(dir.File("absent").c_str()));
  EXPECT_EQ(ENOENT, errno);
  EXPECT_FALSE(reader.IsOpen());
}

TEST(LineReaderTest, DirectoryOpensButFailsToReadWithoutEndOfFile) {
  TTempDir dir;
  TLineReader reader;
  ASSERT_TRUE(reader.Open(dir.path().c_str()));
  char line[255] = "kept";
  EXPECT_FALSE(reader.Gets(line, sizeof line));
  EXPECT_TRUE(reader.Error());
  EXPECT_FALSE(reader.Eof());
  EXPECT_EQ(EISDIR, reader.ErrorNumber());
  // A failed reader does not try again.
  EXPECT_FALSE(reader.Gets(line, sizeof line));
}

TEST(LineReaderTest, ReopeningStartsAfresh) {
  TTempDir dir;
  TLineReader reader;
  ASSERT_TRUE(reader.Open(dir.Write("a", "a1\n").c_str()));
  char line[255];
  ASSERT_TRUE(reader.Gets(line, sizeof line));
  ASSERT_FALSE(reader.Gets(line, sizeof line));
  ASSERT_TRUE(reader.Eof());
  ASSERT_TRUE(reader.Open(dir.Write("b", "b1\n").c_str()));
  EXPECT_FALSE(reader.Eof());
  ASSERT_TRUE(reader.Gets(line, sizeof line));
  EXPECT_STREQ("b1\n", line);
}

}  // namespace

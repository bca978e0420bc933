#include "core/line_reader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
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
        skipped += static_cast<std::size_t>(reader.Skip('a', size));
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
  EXPECT_EQ(2, reader.Skip('c', sizeof line));
  EXPECT_EQ(1, reader.Piece());
  ASSERT_TRUE(reader.Gets(line, sizeof line));
  EXPECT_EQ(2, reader.Piece());
  EXPECT_EQ(4, reader.Skip('\n', sizeof line));
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

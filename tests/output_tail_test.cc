#include "job/output_tail.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

TEST(OutputTailTest, KeepsTheLastBytesInOrderAndCountsThemAll) {
  const struct {
    std::size_t limit;
    std::vector<std::string> pieces;
    std::string kept;
  } cases[] = {
      {8, {}, ""},
      {8, {"abc"}, "abc"},
      {8, {"abc", "defgh"}, "abcdefgh"},                   // exactly the limit
      {8, {"abc", "defghi"}, "bcdefghi"},                  // one past it
      {8, {"0123456789"}, "23456789"},                     // one piece longer than the limit
      {8, {"abcde", "fgh", "ijk", "lmnopq"}, "jklmnopq"},  // wrapping more than once
      {3, {"a", "b", "c", "d", "e"}, "cde"},
      {1, {"xy", "z"}, "z"},
      {0, {"abc"}, ""},
      {4, {std::string("\0\xff\n\r", 4), "a"}, std::string("\xff\n\ra", 4)},
  };
  for (const auto& c : cases) {
    TOutputTail tail(c.limit);
    std::size_t bytes = 0;
    for (const std::string& piece : c.pieces) {
      tail.Append(piece);
      bytes += piece.size();
    }
    EXPECT_EQ(c.kept, tail.Text()) << c.limit << " " << testing::PrintToString(c.pieces);
    EXPECT_EQ(bytes, tail.Bytes());
  }
}

TEST(OutputTailTest, MemoryIsBoundedByTheLimit) {
  TOutputTail tail(1000);
  const std::string chunk(777, 'x');
  for (int i = 0; i < 10000; ++i) tail.Append(chunk);
  EXPECT_EQ(1000u, tail.Text().size());
  EXPECT_EQ(7'770'000u, tail.Bytes());
}

}  // namespace

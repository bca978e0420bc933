#include "core/read_state.h"

#include <string>

#include <gtest/gtest.h>

#include "core/output.h"
#include "temp_dir.h"

namespace {

class ReadStateTest : public ::testing::Test {
 protected:
  void Open(const std::string& content) {
    ASSERT_TRUE(fp.Open(dir_.Write("conf", content).c_str()));
  }
  void TearDown() override { fp.Close(); }
  TTempDir dir_;
};

TEST_F(ReadStateTest, CutsAtTheFirstCommentSignAndCountsEveryRead) {
  Open("MaxFiles 5 # five\n# all comment\nplain\n");
  long counter = 0;
  EXPECT_EQ(TRead::kLine, ReadLine(counter));
  EXPECT_STREQ("MaxFiles 5 ", str);
  EXPECT_EQ(TRead::kLine, ReadLine(counter));
  EXPECT_STREQ("", str);
  EXPECT_EQ(TRead::kLine, ReadLine(counter));
  EXPECT_STREQ("plain\n", str);
  EXPECT_EQ(3, counter);
  // The read at the end finds nothing, is counted and leaves the line.
  EXPECT_EQ(TRead::kNothing, ReadLine(counter));
  EXPECT_EQ(4, counter);
  EXPECT_STREQ("plain\n", str);
  EXPECT_TRUE(fp.Eof());
}

TEST_F(ReadStateTest, TellsWhetherACommentWasCut) {
  using namespace std::string_literals;
  // A NUL byte ends the text as a comment sign does, but cuts nothing.
  Open("# all comment\n\0# after a NUL\nplain\n"s);
  long counter = 0;
  ASSERT_EQ(TRead::kLine, ReadLine(counter));
  EXPECT_STREQ("", str);
  EXPECT_TRUE(comment_cut);
  ASSERT_EQ(TRead::kLine, ReadLine(counter));
  EXPECT_STREQ("", str);
  EXPECT_FALSE(comment_cut);
  ASSERT_EQ(TRead::kLine, ReadLine(counter));
  EXPECT_FALSE(comment_cut);
}

TEST_F(ReadStateTest, LongLineArrivesInPiecesOf254Bytes) {
  const std::string comment = "#" + std::string(300, 'c');
  Open(std::string(254, 'a') + std::string(10, 'b') + "\nx" + comment + "\n");
  long counter = 0;
  ASSERT_EQ(TRead::kLine, ReadLine(counter));
  EXPECT_EQ(std::string(254, 'a'), str);
  ASSERT_EQ(TRead::kLine, ReadLine(counter));
  EXPECT_EQ(std::string(10, 'b') + "\n", str);
  // The comment sign cuts only its own piece; the rest of the comment is a
  // line of its own.
  ASSERT_EQ(TRead::kLine, ReadLine(counter));
  EXPECT_STREQ("x", str);
  ASSERT_EQ(TRead::kLine, ReadLine(counter));
  EXPECT_EQ(std::string(300 - 252, 'c') + "\n", str);
  EXPECT_EQ(4, counter);
}

TEST_F(ReadStateTest, ClearLineEmptiesTheBuffer) {
  Open("line\n");
  long counter = 0;
  ASSERT_EQ(TRead::kLine, ReadLine(counter));
  ClearLine();
  EXPECT_EQ(TRead::kNothing, ReadLine(counter));
  EXPECT_STREQ("", str);
}

TEST_F(ReadStateTest, FailedReadIsToldApartFromTheEnd) {
  ASSERT_TRUE(fp.Open(dir_.path().c_str()));
  long counter = 0;
  EXPECT_EQ(TRead::kFailed, ReadLine(counter));
  EXPECT_FALSE(fp.Eof());
}

TEST_F(ReadStateTest, ALineErrorHoldsTheLineWithItsNumberAndReason) {
  Open("bad line\n");
  long counter = 6;
  ASSERT_EQ(TRead::kLine, ReadLine(counter));
  const TConfigMessage message = LineError(counter, "no such key");
  EXPECT_EQ("Error at line 7:\nbad line\n", message.text);
  EXPECT_EQ(7, message.line.value_or(0));
  EXPECT_EQ("no such key", message.reason.value_or(""));
}

TEST_F(ReadStateTest, LineNumbersPastTwoBillionArePrintedWhole) {
  Open("bad");
  long counter = 3000000000L;
  ASSERT_EQ(TRead::kLine, ReadLine(counter));
  EXPECT_EQ("Error at line 3000000001:\nbad", LineError(counter, "").text);
}

struct THeaderPassCase {
  std::string header;
  bool passed;
};

TEST_F(ReadStateTest, PassesOverTheWellFormedHeaderOfAnotherJobOnly) {
  using namespace std::string_literals;
  const THeaderPassCase cases[] = {
      {"[Job other]\n", true},
      {"[Job lastly]\n", true},
      {"[Job las]\n", true},
      {"[Job other]#[Job last]\n", true},
      {"[Job other] and more\r\n", true},
      {"[Job last]\n", false},
      {"[Job last] and more\n", false},
      // Malformed headers, also when a comment sign or a NUL cuts the name.
      {"[Job \n", false},
      {"[Job ]\n", false},
      {"[Job oth#er]\n", false},
      {"[Job oth\0er]\n"s, false},
  };
  struct TBefore {
    std::string text;
    long pieces;        // how many pieces it is
    long header_piece;  // the number of the header's piece in its line
  };
  // After a line of its own, and as the second piece of a long line.
  for (const TBefore& before :
       {TBefore{"x\n", 1, 1}, TBefore{"x\n" + std::string(254, 'a'), 2, 2}}) {
    for (const THeaderPassCase& c : cases) {
      SCOPED_TRACE(c.header + " after " + std::to_string(before.text.size()) + " bytes");
      Open(before.text + c.header + "next\n");
      long counter = 0;
      SkipLines("[Job ", counter);
      ASSERT_EQ(before.pieces, counter);
      const long piece = fp.Piece();
      EXPECT_EQ(c.passed, PassHeaderOfOtherJob("last", counter));
      EXPECT_EQ(before.pieces + (c.passed ? 1 : 0), counter);
      EXPECT_EQ(c.passed ? before.header_piece : piece, fp.Piece());
      // The next read reads the header when it was not passed over.
      ClearLine();
      ASSERT_EQ(TRead::kLine, ReadLine(counter));
      EXPECT_EQ(c.passed ? "next\n" : c.header.substr(0, c.header.find_first_of("#\0"s)), str);
      fp.Close();
    }
  }
}

}  // namespace

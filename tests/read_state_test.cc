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

}  // namespace

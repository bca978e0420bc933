#include "check/explain.h"

#include <string>

#include <gtest/gtest.h>

#include "core/server.h"

namespace {

using namespace std::string_literals;

std::string Quoted(const std::string& text) {
  std::string out;
  AppendQuoted(out, text);
  return out;
}

TEST(ExplainTest, QuotesTextSoThatEveryByteCanBeSeen) {
  EXPECT_EQ("\"MaxFiles\"", Quoted("MaxFiles"));
  EXPECT_EQ("\"\"", Quoted(""));
  EXPECT_EQ(R"("\"--x y\" a\\b")", Quoted("\"--x y\" a\\b"));
  EXPECT_EQ(R"("a\tb\r\n\x00\x1b\x7f")", Quoted("a\tb\r\n\0\x1b\x7f"s));
  // Bytes above ASCII are shown as they are: names may be written in UTF-8.
  EXPECT_EQ("\"\xd1\x80\xd1\x83\"", Quoted("\xd1\x80\xd1\x83"));
  EXPECT_EQ("\"" + std::string(60, 'u') + "\"", Quoted(std::string(60, 'u')));
  EXPECT_EQ("\"" + std::string(60, 'u') + "\"...", Quoted(std::string(61, 'u')));
}

std::string SettingReason(const char* step, const char* line, bool comment_cut = false,
                          std::string params = "") {
  const TSettingVerdict verdict = ApplySetting(line, step, params);
  std::string out;
  ExplainSetting(out, verdict, step, comment_cut);
  return out;
}

TEST(ExplainTest, SaysWhichRuleOfASettingALineBreaks) {
  const struct {
    const char* step;
    const char* line;
    bool comment_cut;
    const char* reason;
  } cases[] = {
      {"Index", "maxfiles 500\n", false,
       R"(unknown key "maxfiles" for an Index step; did you mean "MaxFiles"?)"},
      {"Index", "MaxFlies 500\n", false,
       R"(unknown key "MaxFlies" for an Index step; did you mean "MaxFiles"?)"},
      {"Index", "Bogus 1\n", false, R"(unknown key "Bogus" for an Index step)"},
      // Only keys of the step's own kind are suggested.
      {"Runner", "Param x\n", false,
       R"(unknown key "Param" for a Runner step; did you mean "Params"?)"},
      {"Runner", "Slep 5\n", false, R"(unknown key "Slep" for a Runner step)"},
      {"Index", "Filename report\n", false,
       R"("Filename" is a Runner setting, not an Index setting)"},
      {"Runner", "URL http://a/\n", false, R"("URL" is an Index setting, not a Runner setting)"},
      {"Index", "ShowURL yes\n", false,
       R"("ShowURL" takes Yes or No, not "yes"; did you mean "Yes"?)"},
      {"Index", "ShowURL on\n", false, R"("ShowURL" takes Yes or No, not "on")"},
      {"Index", "Statistic Apend\n", false,
       R"("Statistic" takes No, Append or Overwrite, not "Apend"; did you mean "Append"?)"},
      {"Index", "CharSet KOI8-R\n", false,
       R"("CharSet" takes ByMetaTag, ByHTTPHeader, win-1251 or koi8-r, not "KOI8-R"; )"
       R"(did you mean "koi8-r"?)"},
      {"Index", "Sleep\n", false, R"(key "Sleep" has no value)"},
      {"Index", "Sleep", false, R"(key "Sleep" has no value)"},
      {"Index", "Sleep", true,
       R"(key "Sleep" has no value; a "#" starts a comment, even right after a key or in a value)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(c.reason, SettingReason(c.step, c.line, c.comment_cut));
  }
}

TEST(ExplainTest, TooLongSaysHowLongTheOptionsWouldBe) {
  // " --sleep=5" is 10 characters, " --params=-abcdefgh" 19.
  EXPECT_EQ(
      "with this setting the options of this Index step would be 2050 characters long; a step's "
      "options may total at most 2047",
      SettingReason("Index", "Sleep 5\n", false, std::string(2040, 'p')));
  EXPECT_EQ(
      "with this setting the options of this Runner step would be 2048 characters long; a step's "
      "options may total at most 2047",
      SettingReason("Runner", "Params -abcdefgh\n", false, std::string(2029, 'p')));
}

TEST(ExplainTest, TellsEmptyBlankAndCommentLinesApart) {
  const struct {
    const char* line;
    bool before_first_step;
    bool comment_cut;
    const char* reason;
  } cases[] = {
      {"\n", false, false,
       R"(empty line in the section of job "a": empty lines end nothing and are not allowed )"
       R"(there; a section runs to the next line that begins "[Job ")"},
      {"\r\n", true, false,
       R"(empty line in the section of job "a", before its first step header: empty lines end )"
       R"(nothing and are not allowed there; a section runs to the next line that begins "[Job ")"},
      {" \t\n", false, false,
       R"(line of blanks in the section of job "a": empty lines end nothing and are not allowed )"
       R"(there; a section runs to the next line that begins "[Job ")"},
      {"  ", false, true,
       R"(line holding only a comment in the section of job "a": it reads as an empty line, and )"
       R"(empty lines end nothing and are not allowed there; a section runs to the next line )"
       R"(that begins "[Job ")"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    std::string out;
    ExplainEmptyLine(out, c.line, "a", c.before_first_step, c.comment_cut);
    EXPECT_EQ(c.reason, out);
  }
}

TEST(ExplainTest, ExplainsSettingsBeforeTheFirstStepAndPiecesOfLongLines) {
  std::string out;
  ExplainBeforeFirstStep(out, "night ly");
  EXPECT_EQ(R"(setting before the first step header of job "night ly"; a setting belongs to the )"
            R"([Index] or [Runner] header above it)",
            out);
  out.clear();
  ExplainPiece(out, 3);
  EXPECT_EQ(
      "this is piece 3 of a line longer than 254 bytes: long lines are read in pieces of 254 "
      "bytes, each read as a line of its own",
      out);
}

TEST(ExplainTest, SaysWhatAMalformedJobHeaderLacks) {
  const struct {
    const char* line;
    bool comment_cut;
    const char* reason;
  } cases[] = {
      {"[Job ]\n", false, R"(job header "[Job ]" has no name)"},
      {"[Job ] x\r\n", false, R"(job header "[Job ] x" has no name)"},
      {"[Job \n", false, R"(job header "[Job " has no closing "]")"},
      {"[Job nightly", false, R"(job header "[Job nightly" has no closing "]")"},
      {"[Job a", true,
       R"(job header "[Job a" has no closing "]"; a "#" starts a comment, so the header ends )"
       R"(before it)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    std::string out;
    ExplainMalformedHeader(out, c.line, c.comment_cut);
    EXPECT_EQ(c.reason, out);
  }
}

std::string IgnoredWordsWarning(const char* line) {
  const TSettingLine setting = SplitSetting(line);
  if (IgnoredWords(setting).empty()) return "";
  std::string out;
  WarnIgnoredWords(out, setting);
  return out;
}

TEST(ExplainTest, QuotesTheWordsAfterTheValue) {
  EXPECT_EQ("", IgnoredWordsWarning("MaxFiles 5\n"));
  EXPECT_EQ("", IgnoredWordsWarning("MaxFiles 5 \t \r\n"));
  EXPECT_EQ(R"(words after the value "a" are ignored: "b c")",
            IgnoredWordsWarning("Filename a b c\n"));
  EXPECT_EQ(R"(words after the value "a" are ignored: "b\tc")",
            IgnoredWordsWarning("Filename  a  b\tc  \n"));
  EXPECT_EQ(
      R"(words after the value "\"--x" are ignored: "y\""; quote marks do not group words in )"
      R"(this file)",
      IgnoredWordsWarning("Params \"--x y\"\n"));
  EXPECT_EQ(
      R"(words after the value "-a" are ignored: "'b c'"; quote marks do not group words in this )"
      R"(file)",
      IgnoredWordsWarning("Params -a 'b c'\n"));
}

TEST(ExplainTest, NamesTheSectionARunUsesForAJobDefinedAgain) {
  const struct {
    long sections_before;
    long first_line;
    long used_line;
    const char* reason;
  } cases[] = {
      {1, 2, 2,
       R"(job "a" is defined again; a run uses its section at line 2 and never reads )"
       R"(this one)"},
      {3, 2, 9,
       R"(job "a" is defined again; a run uses its section at line 9 and never reads )"
       R"(this one)"},
      {1, 2, 0,
       R"(job "a" is defined again; a run reads this section only because the one at )"
       R"(line 2 has errors)"},
      {2, 2, 0,
       R"(job "a" is defined again; a run reads this section only because the 2 before )"
       R"(it, from line 2 on, have errors)"},
  };
  for (const auto& c : cases) {
    std::string out;
    WarnJobAgain(out, "a", c.sections_before, c.first_line, c.used_line);
    EXPECT_EQ(c.reason, out);
  }
}

TEST(ExplainTest, StepHeaderTextAfterTheName) {
  EXPECT_EQ("]", TextAfterStepName("[Index]\n", "Index"));
  EXPECT_EQ("]", TextAfterStepName("[Index] \t\r\n", "Index"));
  EXPECT_EQ("", TextAfterStepName("[Runner", "Runner"));
  EXPECT_EQ("er]", TextAfterStepName("[Indexer]\n", "Index"));
  EXPECT_EQ("] x", TextAfterStepName("[Index] x\n", "Index"));
  std::string out;
  WarnStepHeaderText(out, "[Indexer]\n", "Index");
  EXPECT_EQ(
      R"(step header "[Indexer]" is read as an Index step; what follows the step name, "er]", )"
      R"(is ignored)",
      out);
  out.clear();
  WarnStepHeaderText(out, "[Runner] x\n", "Runner");
  EXPECT_EQ(
      R"(step header "[Runner] x" is read as a Runner step; what follows the step name, "] x", )"
      R"(is ignored)",
      out);
}

TEST(ExplainTest, RepeatedKeySaysWhereItWasSetFirst) {
  std::string out;
  WarnRepeatedKey(out, "MaxFiles", 5);
  EXPECT_EQ(
      R"(key "MaxFiles" is set again in this step (first at line 5); both options are passed)",
      out);
}

TEST(ExplainTest, BracketedLineThatNamesNoStepKind) {
  const struct {
    const char* line;
    const char* step;
    long step_line;
    const char* reason;
  } cases[] = {
      {"[index]\n", "Index", 3,
       R"("[index]" names no step kind and is passed over; the settings after it go to the )"
       R"(Index step at line 3; did you mean "[Index]"?)"},
      {"[Runer]\n", "", 0,
       R"("[Runer]" names no step kind and is passed over; did you mean "[Runner]"?)"},
      {"[ Index]\n", "Runner", 7,
       R"("[ Index]" names no step kind and is passed over; the settings after it go to the )"
       R"(Runner step at line 7)"},
      {"[job weekly]\n", "Index", 3,
       R"("[job weekly]" is no job header, which begins with exactly "[Job ", so it does not )"
       R"(end the section; it names no step kind either and is passed over; the settings after )"
       R"(it go to the Index step at line 3)"},
      {"[Job]\n", "", 0,
       R"("[Job]" is no job header, which begins with exactly "[Job ", so it does not end the )"
       R"(section; it names no step kind either and is passed over)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    std::string out;
    WarnNoStepKind(out, c.line, c.step, c.step_line);
    EXPECT_EQ(c.reason, out);
  }
}

TEST(ExplainTest, JobWithoutSteps) {
  std::string out;
  WarnNoSteps(out, "empty");
  EXPECT_EQ(R"(job "empty" has no steps; a run of it runs nothing)", out);
  out.clear();
  WarnNoSteps(out, "a \"b\"");
  EXPECT_EQ(R"(job "a \"b\"" has no steps; a run of it runs nothing)", out);
}

}  // namespace

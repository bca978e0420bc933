#include "report/text_escape.h"

#include <string>

#include <gtest/gtest.h>

namespace {

const std::string kFffd = "\xEF\xBF\xBD";

TEST(TextEscapeTest, ValidUtf8KeepsWellFormedSequencesAndReplacesEachIllFormedPart) {
  const struct {
    const char* what;
    std::string bytes;
    std::string text;
  } cases[] = {
      {"ASCII and NUL", std::string("a\0b", 3), std::string("a\0b", 3)},
      {"two, three and four bytes", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80",
       "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
      {"the highest code point", "\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},
      {"stray continuation byte", "a\x80z", "a" + kFffd + "z"},
      {"bytes that never start a sequence", "\xC0\xC1\xF5\xFF", kFffd + kFffd + kFffd + kFffd},
      {"overlong two bytes", "\xC0\xAF", kFffd + kFffd},
      {"overlong three bytes", "\xE0\x80\xAF", kFffd + kFffd + kFffd},
      {"surrogate", "\xED\xA0\x80", kFffd + kFffd + kFffd},
      {"above U+10FFFF", "\xF4\x90\x80\x80", kFffd + kFffd + kFffd + kFffd},
      {"cut short at the end", "x\xE2\x82", "x" + kFffd},
      {"cut short by ASCII", "\xF0\x9F\x98z", kFffd + "z"},
      {"cut short by a new sequence", "\xE2\x82\xC3\xA9", kFffd + "\xC3\xA9"},
      // The example of the Unicode Standard's chapter 3 on U+FFFD.
      {"Unicode example", "\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64",
       "a" + kFffd + kFffd + kFffd + "b" + kFffd + "c" + kFffd + kFffd + "d"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.text, ValidUtf8(c.bytes)) << c.what;
}

TEST(TextEscapeTest, JsonStringEscapesQuotesBackslashesAndControlCharacters) {
  const struct {
    std::string bytes;
    std::string literal;
  } cases[] = {
      {"", R"("")"},
      {"nightly", R"("nightly")"},
      {R"(say "hi" \ bye)", R"("say \"hi\" \\ bye")"},
      {"\b\f\n\r\t", R"("\b\f\n\r\t")"},
      {std::string("\0\x01\x1F", 3), R"("\u0000\u0001\u001f")"},
      {"\x7F / \xC3\xA9", "\"\x7F / \xC3\xA9\""},
      {"bad\xFF\"", "\"bad" + kFffd + "\\\"\""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.literal, JsonString(c.bytes)) << c.bytes;
}

TEST(TextEscapeTest, LabelStringEscapesOnlyBackslashQuoteAndLineFeed) {
  const struct {
    std::string bytes;
    std::string literal;
  } cases[] = {
      {"", R"("")"},
      {"nightly", R"("nightly")"},
      {R"(a"b\c)", R"("a\"b\\c")"},
      {"two\nlines", R"("two\nlines")"},
      // A backslash before n must not read back as a line feed.
      {R"(\n)", R"("\\n")"},
      {"tab\tcr\r,}= ", "\"tab\tcr\r,}= \""},
      {"bad\xC3", "\"bad" + kFffd + "\""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.literal, LabelString(c.bytes)) << c.bytes;
}

TEST(TextEscapeTest, TerminalTextWritesOutEveryControlCharacterOnOneLine) {
  const struct {
    std::string bytes;
    std::string shown;
  } cases[] = {
      {"nightly \xC3\xA9t\xC3\xA9", "nightly \xC3\xA9t\xC3\xA9"},
      {"two\nlines\r", R"(two\x0alines\x0d)"},
      {std::string("\0\x1b[2J\t", 6), R"(\x00\x1b[2J\x09)"},
      {"del\x7F", R"(del\x7f)"},
      // The controls above U+007F, but not the letters after them.
      {"\xC2\x85\xC2\x9F\xC2\xA0", "\\u0085\\u009f\xC2\xA0"},
      {"bad\xFF", "bad" + kFffd},
      // A backslash is itself, as the file has it.
      {R"(a\b)", R"(a\b)"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.shown, TerminalText(c.bytes)) << c.bytes;
}

TEST(TextEscapeTest, DisplayWidthCountsCharactersNotBytes) {
  EXPECT_EQ(0u, DisplayWidth(""));
  EXPECT_EQ(7u, DisplayWidth("nightly"));
  EXPECT_EQ(4u, DisplayWidth("\xC3\xA9t\xC3\xA9 "));
  EXPECT_EQ(2u, DisplayWidth("\xE2\x96\x88\xE2\x96\x93"));
}

}  // namespace

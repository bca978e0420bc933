#include "job/command_text.h"

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "job/run_files.h"
#include "job/step_list.h"
#include "options/add_commad.h"

namespace {

TEST(CommandTextTest, SafeValuesStayAsWritten) {
  auto step = MakeStep(runfiles[0]);
  ASSERT_EQ(1, AddCommad("MaxFiles 500\n", step.get()));
  ASSERT_EQ(1, AddCommad("CharSet koi8-r\n", step.get()));
  ASSERT_EQ(1, AddCommad("Statistic Append\n", step.get()));
  ASSERT_EQ(1, AddCommad("URL http://a.example/x_y/@%+=:,.-\n", step.get()));
  EXPECT_EQ(
      "./indexer  --maxfiles=500 --charset=3 --statistic=1 --url=http://a.example/x_y/@%+=:,.-",
      CommandText(*step));
}

TEST(CommandTextTest, StepWithoutSettingsIsItsProgramAndASpace) {
  EXPECT_EQ("./runner ", CommandText(*MakeStep(runfiles[1])));
}

TEST(CommandTextTest, QuotesValuesWithAnyOtherCharacter) {
  const struct {
    const char* value;
    const char* quoted;
  } cases[] = {
      {"abc", "abc"},
      {"http://h/s?q=1&page=2", "'http://h/s?q=1&page=2'"},
      {"$(touch x)", "'$(touch x)'"},
      {"`id`", "'`id`'"},
      {"a;b|c<d>e", "'a;b|c<d>e'"},
      {"~root", "'~root'"},
      {"*.html", "'*.html'"},
      // Every character that means something to the shell in some place of
      // a word, even where it means nothing after "--option=".
      {"a?c", "'a?c'"},
      {"a[bc]", "'a[bc]'"},
      {"a!b", "'a!b'"},
      {"a^b", "'a^b'"},
      {"a#b", "'a#b'"},
      {"a~b", "'a~b'"},
      {"a{b,c}", "'a{b,c}'"},
      {"a\tb", "'a\tb'"},
      {"$HOME", "'$HOME'"},
      {"it's", "'it'\\''s'"},
      {"''", "''\\'''\\'''"},
      {"\\", "'\\'"},
      {"\xd1\x80\xd1\x83", "'\xd1\x80\xd1\x83'"},
      {"", "''"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(c.quoted, ShellQuote(c.value));
  }
}

TEST(CommandTextTest, QuotesOnlyTheValueOfEachOption) {
  auto step = MakeStep(runfiles[0]);
  ASSERT_EQ(1, AddCommad("URL http://h/?a=1&b=2\n", step.get()));
  ASSERT_EQ(1, AddCommad("Exclude it's\n", step.get()));
  ASSERT_EQ(1, AddCommad("Sleep 5\n", step.get()));
  EXPECT_EQ("./indexer  --url='http://h/?a=1&b=2' --exclude='it'\\''s' --sleep=5",
            CommandText(*step));
}

// What the shell makes of a quoted word: printf's argument, read back.
std::string ThroughTheShell(const std::string& word) {
  const std::string command = "printf '%s' " + word;
  FILE* shell = popen(command.c_str(), "r");
  std::string out;
  char buffer[256];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, shell)) > 0) out.append(buffer, n);
  pclose(shell);
  return out;
}

TEST(CommandTextTest, QuotedWordReachesTheProgramAsWritten) {
  for (const char* value : {"a b", "$(echo no)", "`echo no`", "x;echo no", "'\"'\"", "*", "~",
                            "$HOME", "a\\nb", "!x", "{a,b}", "\x01\x7f\xff"}) {
    SCOPED_TRACE(value);
    EXPECT_EQ(value, ThroughTheShell(ShellQuote(value)));
  }
}

}  // namespace

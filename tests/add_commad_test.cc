#include "options/add_commad.h"

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "options/option_table.h"

namespace {

std::unique_ptr<TServer> Step(const char* name) {
  auto step = std::make_unique<TServer>();
  step->name = name;
  return step;
}

struct TTranslation {
  const char* step;
  const char* line;
  const char* option;  // text appended to params
};

// One line for every rule of the table, in table order.
const TTranslation kEveryRule[] = {
    {"Index", "URL http://www.example.com/\n", " --url=http://www.example.com/"},
    {"Index", "Extentions html,htm\n", " --extentions=html,htm"},
    {"Index", "CharSet ByMetaTag\n", " --charset=0"},
    {"Index", "CharSet ByHTTPHeader\n", " --charset=1"},
    {"Index", "CharSet win-1251\n", " --charset=2"},
    {"Index", "CharSet koi8-r\n", " --charset=3"},
    {"Index", "MaxFiles 500\n", " --maxfiles=500"},
    {"Index", "Statistic No\n", " --statistic=0"},
    {"Index", "Statistic Append\n", " --statistic=1"},
    {"Index", "Statistic Overwrite\n", " --statistic=2"},
    {"Index", "Exclude /cgi-bin/\n", " --exclude=/cgi-bin/"},
    {"Index", "AddOption Page\n", " --add=0"},
    {"Index", "AddOption SubPages\n", " --add=1"},
    {"Index", "AddOption Server\n", " --add=2"},
    {"Index", "Language ru\n", " --language=ru"},
    {"Index", "StartWord index.html\n", " --startword=index.html"},
    {"Index", "AFrom http://a/\n", " --aliasfrom=http://a/"},
    {"Index", "ATo file:/srv/a/\n", " --aliasto=file:/srv/a/"},
    {"Index", "ShowURL Yes\n", " --showurl=1"},
    {"Index", "ShowURL No\n", " --showurl=0"},
    {"Index", "ShowEmail Yes\n", " --showemail=1"},
    {"Index", "ShowEmail No\n", " --showemail=0"},
    {"Index", "ShowFTP Yes\n", " --showfrp=1"},
    {"Index", "ShowFTP No\n", " --showfrp=0"},
    {"Index", "Sleep 5\n", " --sleep=5"},
    {"Index", "ProxyServer proxy.local\n", " --proxyserver=proxy.local"},
    {"Index", "ProxyPort 3128\n", " --proxyport=3128"},
    {"Index", "ProxyPassword s3cret\n", " --proxypassword=s3cret"},
    {"Index", "ProxyLogin bot\n", " --proxylogin=bot"},
    {"Index", "MetaRobots Yes\n", " --metarobots=1"},
    {"Index", "MetaRobots No\n", " --metarobots=0"},
    {"Index", "MetaDescription Yes\n", " --metadescription=1"},
    {"Index", "MetaDescription No\n", " --metadescription=0"},
    {"Index", "UseRobotsTxt Yes\n", " --userobotstxt=1"},
    {"Index", "UseRobotsTxt No\n", " --userobotstxt=0"},
    {"Index", "Path /var/search\n", " --path=/var/search"},
    {"Runner", "Filename report\n", " --program=report"},
    {"Runner", "Params -a\n", " --params=-a"},
};

// Translates the line for a fresh step and checks the text it appended.
void ExpectTranslated(const TTranslation& t) {
  SCOPED_TRACE(t.line);
  auto step = Step(t.step);
  EXPECT_EQ(1, AddCommad(t.line, step.get()));
  EXPECT_EQ(t.option, step->params);
}

TEST(AddCommadTest, TranslatesEveryRuleOfTheTable) {
  for (const TTranslation& t : kEveryRule) ExpectTranslated(t);
}

TEST(AddCommadTest, EveryRuleOfTheTableIsCovered) {
  std::size_t rules = 0;
  for (const TOptionRule* rule = data; rule->step != nullptr; ++rule) ++rules;
  EXPECT_EQ(std::size(kEveryRule), rules);
}

TEST(AddCommadTest, AcceptsTheShapesOfASettingLine) {
  const TTranslation cases[] = {
      {"Index", "   Sleep\t5\r\n", " --sleep=5"},
      {"Index", "Sleep 5", " --sleep=5"},
      {"Index", "Sleep 5 trailing words are dropped\n", " --sleep=5"},
      {"Index", "Exclude a=b\n", " --exclude=a=b"},
      {"Runner", "Params -a -b\n", " --params=-a"},
      {"Index", "URL http://h/s?q=1&p=$(x);`y`|z\n", " --url=http://h/s?q=1&p=$(x);`y`|z"},
      {"Index", "Language \xd1\x80\xd1\x83\n", " --language=\xd1\x80\xd1\x83"},
  };
  for (const TTranslation& t : cases) ExpectTranslated(t);
}

TEST(AddCommadTest, RejectsLinesThatAreNoSettingOfTheStep) {
  const struct {
    const char* step;
    const char* line;
  } cases[] = {
      {"Index", ""},
      {"Index", "\n"},
      {"Index", " \t\r\n"},
      {"Index", "Sleep"},    // key without a blank after it
      {"Index", "Sleep\n"},  // key without value
      {"Index", "Sleep \t\n"},
      {"Index", "CharSet KOI8-R\n"},  // values are case-sensitive
      {"Index", "charset koi8-r\n"},  // and keys
      {"Index", "ShowURL yes\n"},
      // A listed value must match whole, not as a prefix either way.
      {"Index", "ShowURL Yess\n"},
      {"Index", "ShowURL Ye\n"},
      {"Index", "CharSet koi8-rX\n"},
      {"Index", "CharSet koi8\n"},
      {"Index", "Statistic Maybe\n"},  // value not in the key's list
      {"Index", "Unknown 1\n"},
      {"Index", "Filename report\n"},  // key of the other step kind
      {"Runner", "URL http://a/\n"},
      {"Runner", "MaxFiles 5\n"},
      {"Nothing", "MaxFiles 5\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    auto step = Step(c.step);
    step->params = " --before=1";
    EXPECT_EQ(0, AddCommad(c.line, step.get()));
    EXPECT_EQ(" --before=1", step->params);
  }
}

TEST(AddCommadTest, RepeatedKeysAreAppendedInOrder) {
  auto step = Step("Index");
  EXPECT_EQ(1, AddCommad("MaxFiles 500\n", step.get()));
  EXPECT_EQ(1, AddCommad("MaxFiles 900\n", step.get()));
  EXPECT_EQ(" --maxfiles=500 --maxfiles=900", step->params);
}

TEST(AddCommadTest, OptionTextMayReachButNotPass2047Characters) {
  // " --sleep=" is 9 characters; the value fills the rest.
  const std::string filler(kMaxParams - 20, 'f');
  for (const int room_left : {0, 1}) {
    SCOPED_TRACE(room_left);
    auto step = Step("Index");
    step->params = filler;
    const std::string value(20 - 9 + room_left, '5');
    const std::string line = "Sleep " + value + "\n";
    if (room_left == 0) {
      EXPECT_EQ(1, AddCommad(line.c_str(), step.get()));
      EXPECT_EQ(kMaxParams, step->params.size());
    } else {
      EXPECT_EQ(0, AddCommad(line.c_str(), step.get()));
      EXPECT_EQ(filler, step->params);
    }
  }
}

TEST(AddCommadTest, LeavesTheLineUnchanged) {
  char line[] = "  MaxFiles 500 extra\n";
  auto step = Step("Index");
  ASSERT_EQ(1, AddCommad(line, step.get()));
  EXPECT_STREQ("  MaxFiles 500 extra\n", line);
}

}  // namespace

#include "options/setting_rules.h"

#include <string>

#include <gtest/gtest.h>

#include "core/server.h"

namespace {

TEST(SettingRulesTest, SplitsALineIntoKeyValueAndRest) {
  const struct {
    const char* line;
    const char* key;
    const char* value;
    const char* rest;
    bool key_ended;
  } cases[] = {
      {"MaxFiles 500\n", "MaxFiles", "500", "\n", true},
      {" \t Sleep\t\t5\r\n", "Sleep", "5", "\r\n", true},
      {"Params \"--x y\"\n", "Params", "\"--x", " y\"\n", true},
      {"Filename a b c", "Filename", "a", " b c", true},
      {"Sleep 5", "Sleep", "5", "", true},
      {"Sleep\n", "Sleep", "", "", true},
      {"Sleep", "Sleep", "", "", false},
      {" \t\r\n", "", "", "", false},
      {"", "", "", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const TSettingLine setting = SplitSetting(c.line);
    EXPECT_EQ(c.key, setting.key);
    EXPECT_EQ(c.value, setting.value);
    EXPECT_EQ(c.rest, setting.rest);
    EXPECT_EQ(c.key_ended, setting.key_ended);
  }
}

TEST(SettingRulesTest, NamesTheRuleALineBreaks) {
  const struct {
    const char* step;
    const char* line;
    TSettingFault fault;
    const char* rule_step;  // step kind of the rule the verdict names, if any
  } cases[] = {
      {"Index", "MaxFiles 500\n", TSettingFault::kNone, "Index"},
      {"Index", "", TSettingFault::kBlankLine, nullptr},
      {"Index", "\n", TSettingFault::kBlankLine, nullptr},
      {"Index", " \t\r\n", TSettingFault::kBlankLine, nullptr},
      {"Index", "Sleep", TSettingFault::kKeyNotEnded, nullptr},
      {"Index", "Sleep\n", TSettingFault::kNoValue, nullptr},
      {"Index", "Sleep \t\r\n", TSettingFault::kNoValue, nullptr},
      {"Index", "Bogus 1\n", TSettingFault::kUnknownKey, nullptr},
      {"Index", "charset koi8-r\n", TSettingFault::kUnknownKey, nullptr},
      {"Index", "Filename report\n", TSettingFault::kOtherStepKey, "Runner"},
      {"Runner", "URL http://a/\n", TSettingFault::kOtherStepKey, "Index"},
      {"Index", "ShowURL yes\n", TSettingFault::kValueNotAccepted, nullptr},
      {"Index", "CharSet KOI8-R\n", TSettingFault::kValueNotAccepted, nullptr},
      {"Runner", "Params -a -b\n", TSettingFault::kNone, "Runner"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.step) + ": " + c.line);
    std::string params = " --before=1";
    const TSettingVerdict verdict = ApplySetting(c.line, c.step, params);
    EXPECT_EQ(c.fault, verdict.fault);
    if (c.rule_step == nullptr) {
      EXPECT_EQ(nullptr, verdict.rule);
    } else {
      ASSERT_NE(nullptr, verdict.rule);
      EXPECT_STREQ(c.rule_step, verdict.rule->step);
      EXPECT_EQ(verdict.setting.key, verdict.rule->key);
    }
    if (c.fault != TSettingFault::kNone) {
      EXPECT_EQ(" --before=1", params);
    }
  }
}

TEST(SettingRulesTest, AppliedRuleIsTheOneThatMatchedTheValue) {
  std::string params;
  const TSettingVerdict verdict = ApplySetting("Statistic Overwrite\n", "Index", params);
  ASSERT_EQ(TSettingFault::kNone, verdict.fault);
  EXPECT_STREQ("Overwrite", verdict.rule->match);
  EXPECT_EQ(" --statistic=2", params);
}

TEST(SettingRulesTest, TooLongTellsTheLengthTheOptionsWouldHave) {
  for (const std::size_t filled : {kMaxParams - 10, kMaxParams - 9}) {
    SCOPED_TRACE(filled);
    std::string params(filled, 'p');
    // " --sleep=5" is 10 characters.
    const TSettingVerdict verdict = ApplySetting("Sleep 5\n", "Index", params);
    if (filled + 10 <= kMaxParams) {
      EXPECT_EQ(TSettingFault::kNone, verdict.fault);
      EXPECT_EQ(kMaxParams, params.size());
    } else {
      EXPECT_EQ(TSettingFault::kTooLong, verdict.fault);
      EXPECT_EQ(kMaxParams + 1, verdict.length);
      EXPECT_STREQ("--sleep", verdict.rule->option);
      EXPECT_EQ(filled, params.size());
    }
  }
}

TEST(SettingRulesTest, RulesOfOneKeyShareANumberAndNoOtherKeyHasIt) {
  const std::size_t count = RuleCount();
  ASSERT_GT(count, 0u);
  EXPECT_EQ(nullptr, data[count].step);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t key = KeyIndex(data[i]);
    ASSERT_LT(key, count);
    for (std::size_t j = 0; j < count; ++j) {
      const bool same =
          std::string(data[i].step) == data[j].step && std::string(data[i].key) == data[j].key;
      EXPECT_EQ(same, key == KeyIndex(data[j])) << data[i].key << " and " << data[j].key;
    }
  }
  // The four values of CharSet are one key, the first row's.
  std::string params;
  const TSettingVerdict koi8 = ApplySetting("CharSet koi8-r", "Index", params);
  const TSettingVerdict meta = ApplySetting("CharSet ByMetaTag", "Index", params);
  ASSERT_NE(nullptr, koi8.rule);
  ASSERT_NE(nullptr, meta.rule);
  EXPECT_NE(koi8.rule, meta.rule);
  EXPECT_EQ(KeyIndex(*meta.rule), KeyIndex(*koi8.rule));
  EXPECT_EQ(static_cast<std::size_t>(meta.rule - data), KeyIndex(*koi8.rule));
}

}  // namespace

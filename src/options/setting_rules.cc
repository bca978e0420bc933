#include "options/setting_rules.h"

#include <cstring>

#include "core/server.h"

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

namespace {

const char* SkipBlanks(const char* p) {
  while (IsBlank(*p)) ++p;
  return p;
}

// The first blank at or after p, or the terminator when there is none.
const char* FindBlank(const char* p) {
  while (*p != '\0' && !IsBlank(*p)) ++p;
  return p;
}

std::string_view Between(const char* begin, const char* end) {
  return std::string_view(begin, static_cast<std::size_t>(end - begin));
}

const TOptionRule* FirstRuleOfKey(std::string_view key) {
  for (const TOptionRule* rule = data; rule->step != nullptr; ++rule) {
    if (key == rule->key) return rule;
  }
  return nullptr;
}

}  // namespace

TSettingLine SplitSetting(const char* line) {
  TSettingLine setting;
  const char* key_begin = SkipBlanks(line);
  const char* key_end = FindBlank(key_begin);
  setting.key = Between(key_begin, key_end);
  setting.key_ended = *key_end != '\0';
  const char* value_begin = SkipBlanks(key_end);
  const char* value_end = FindBlank(value_begin);
  setting.value = Between(value_begin, value_end);
  setting.rest = std::string_view(value_end);
  return setting;
}

TSettingVerdict ApplySetting(const char* line, std::string_view step, std::string& params) {
  TSettingVerdict verdict;
  verdict.setting = SplitSetting(line);
  const TSettingLine& setting = verdict.setting;
  if (setting.key.empty()) {
    verdict.fault = TSettingFault::kBlankLine;
    return verdict;
  }
  // A key must be followed by a blank: a line end counts, the end of the
  // text does not.
  if (!setting.key_ended) {
    verdict.fault = TSettingFault::kKeyNotEnded;
    return verdict;
  }
  if (setting.value.empty()) {
    verdict.fault = TSettingFault::kNoValue;
    return verdict;
  }

  bool key_of_step = false;
  for (const TOptionRule* rule = data; rule->step != nullptr; ++rule) {
    if (step != rule->step || setting.key != rule->key) continue;
    key_of_step = true;
    const bool any = std::string_view(rule->match) == kAnyValue;
    if (!any && setting.value != rule->match) continue;
    const std::string_view pass = any ? setting.value : std::string_view(rule->value);
    const std::string_view option(rule->option);
    // " " + option + "=" + value
    const std::size_t length = params.size() + 1 + option.size() + 1 + pass.size();
    if (length > kMaxParams) {
      verdict.fault = TSettingFault::kTooLong;
      verdict.rule = rule;
      verdict.length = length;
      return verdict;
    }
    params += ' ';
    params += option;
    params += '=';
    params += pass;
    if (verdict.rule == nullptr) verdict.rule = rule;
  }
  if (verdict.rule != nullptr) return verdict;
  if (key_of_step) {
    verdict.fault = TSettingFault::kValueNotAccepted;
    return verdict;
  }
  verdict.rule = FirstRuleOfKey(setting.key);
  verdict.fault =
      verdict.rule != nullptr ? TSettingFault::kOtherStepKey : TSettingFault::kUnknownKey;
  return verdict;
}

std::size_t RuleCount() {
  std::size_t count = 0;
  while (data[count].step != nullptr) ++count;
  return count;
}

std::size_t KeyIndex(const TOptionRule& rule) {
  const TOptionRule* row = data;
  while (std::strcmp(row->step, rule.step) != 0 || std::strcmp(row->key, rule.key) != 0) ++row;
  return static_cast<std::size_t>(row - data);
}

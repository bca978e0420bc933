#ifndef VELMORJOB_OPTIONS_SETTING_RULES_H_
#define VELMORJOB_OPTIONS_SETTING_RULES_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "options/option_table.h"

// The syntax of a setting line and the rules that make it a setting of a
// step, stated once: the job reader translates settings by them, and
// --check explains by them why a line is no setting.

// The four characters that separate a key from its value.
bool IsBlank(char c);

// A setting line taken apart: blanks, the key, blanks, the value, and the
// rest of the text, which nothing reads. All parts point into the line.
struct TSettingLine {
  std::string_view key;    // empty when the line holds nothing but blanks
  std::string_view value;  // empty when no value follows the key
  std::string_view rest;   // the text after the value, from the blank that ends it
  bool key_ended = false;  // a blank follows the key; the end of the text is none
};

TSettingLine SplitSetting(const char* line);

// The rule that a line breaks, in the order in which they are tested.
enum class TSettingFault {
  kNone,              // a rule applied and its option was appended
  kBlankLine,         // nothing but blanks, or nothing at all
  kKeyNotEnded,       // the key is the last thing in the text
  kNoValue,           // no value follows the key
  kUnknownKey,        // no rule of any step kind has the key
  kOtherStepKey,      // only rules of another step kind have the key
  kValueNotAccepted,  // the key's rules for this step kind match other values
  kTooLong,           // an option would take the step's options past kMaxParams
};

struct TSettingVerdict {
  TSettingFault fault = TSettingFault::kNone;
  TSettingLine setting;
  // kNone: the first rule that applied. kOtherStepKey: the first rule of the
  // key. kTooLong: the rule whose option did not fit. Otherwise null.
  const TOptionRule* rule = nullptr;
  // kTooLong: how long the step's options would have become.
  std::size_t length = 0;
};

// Judges the line as a setting of a step of kind `step` whose options so far
// are `params`, and appends " --option=value" to params for every rule of the
// table that applies: same step kind, same key, and a match of "%" or equal
// to the value, all compared exactly. Before each append the new length is
// tested against kMaxParams; the first option that does not fit ends the
// walk with kTooLong, and options appended for this line before it stay.
// On any other fault params is unchanged.
TSettingVerdict ApplySetting(const char* line, std::string_view step, std::string& params);

// How many rules the table has; every KeyIndex is less.
std::size_t RuleCount();

// One number for each key of each step kind: the index in the table of the
// first rule of the same step kind and key, so that the rules of one key
// (CharSet's four values, say) share it.
std::size_t KeyIndex(const TOptionRule& rule);

#endif  // VELMORJOB_OPTIONS_SETTING_RULES_H_

#include "check/explain.h"

#include <cstring>

#include "check/suggest.h"
#include "core/server.h"
#include "job/run_files.h"
#include "options/option_table.h"

namespace {

constexpr std::size_t kQuotedBytes = 60;

std::string_view TrimEnd(std::string_view text) {
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The line without its line end, a newline and a carriage return before it.
std::string_view WithoutLineEnd(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return TrimEnd(text);
}

// "an Index", "a Runner".
void AppendStep(std::string& out, std::string_view step) {
  const bool vowel = !step.empty() && std::strchr("AEIOU", step.front()) != nullptr;
  out += vowel ? "an " : "a ";
  out += step;
}

void AppendNumber(std::string& out, long number) { out += std::to_string(number); }

void AppendSuggestion(std::string& out, std::string_view best) {
  if (best.empty()) return;
  out += "; did you mean ";
  AppendQuoted(out, best);
  out += '?';
}

void AppendSection(std::string& out, std::string_view job) {
  out += "the section of job ";
  AppendQuoted(out, job);
}

// The values that the key's rules for the step kind match, as
// "Yes or No", and the suggestion among them for `value`.
void AppendAcceptedValues(std::string& out, const TSettingLine& setting, std::string_view step) {
  std::size_t count = 0;
  for (const TOptionRule* rule = data; rule->step != nullptr; ++rule) {
    if (step == rule->step && setting.key == rule->key) ++count;
  }
  AppendQuoted(out, setting.key);
  out += " takes ";
  TClosest closest(setting.value);
  std::size_t written = 0;
  for (const TOptionRule* rule = data; rule->step != nullptr; ++rule) {
    if (step != rule->step || setting.key != rule->key) continue;
    if (written > 0) out += written + 1 == count ? " or " : ", ";
    out += rule->match;
    closest.Offer(rule->match);
    ++written;
  }
  out += ", not ";
  AppendQuoted(out, setting.value);
  AppendSuggestion(out, closest.Best());
}

void AppendUnknownKey(std::string& out, std::string_view key, std::string_view step) {
  out += "unknown key ";
  AppendQuoted(out, key);
  out += " for ";
  AppendStep(out, step);
  out += " step";
  TClosest closest(key);
  for (const TOptionRule* rule = data; rule->step != nullptr; ++rule) {
    if (step == rule->step) closest.Offer(rule->key);
  }
  AppendSuggestion(out, closest.Best());
}

bool HoldsQuoteMark(std::string_view text) {
  return text.find_first_of("\"'") != std::string_view::npos;
}

// The first word after the '[' of a bracketed line: up to ']' or a blank.
std::string_view BracketedWord(const char* line) {
  const char* begin = line + 1;
  const char* end = begin;
  while (*end != '\0' && *end != ']' && !IsBlank(*end)) ++end;
  return std::string_view(begin, static_cast<std::size_t>(end - begin));
}

}  // namespace

void AppendQuoted(std::string& out, std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  const bool cut = text.size() > kQuotedBytes;
  if (cut) text = text.substr(0, kQuotedBytes);
  out += '"';
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (byte < 0x20 || byte == 0x7f) {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xf];
    } else {
      out += c;
    }
  }
  out += '"';
  if (cut) out += "...";
}

void ExplainSetting(std::string& out, const TSettingVerdict& verdict, std::string_view step,
                    bool comment_cut) {
  const TSettingLine& setting = verdict.setting;
  switch (verdict.fault) {
    case TSettingFault::kNone: break;
    case TSettingFault::kBlankLine: out += "the line holds nothing but blanks"; break;
    case TSettingFault::kKeyNotEnded:
    case TSettingFault::kNoValue:
      out += "key ";
      AppendQuoted(out, setting.key);
      out += " has no value";
      if (comment_cut) out += "; a \"#\" starts a comment, even right after a key or in a value";
      break;
    case TSettingFault::kUnknownKey: AppendUnknownKey(out, setting.key, step); break;
    case TSettingFault::kOtherStepKey:
      AppendQuoted(out, setting.key);
      out += " is ";
      AppendStep(out, verdict.rule->step);
      out += " setting, not ";
      AppendStep(out, step);
      out += " setting";
      break;
    case TSettingFault::kValueNotAccepted: AppendAcceptedValues(out, setting, step); break;
    case TSettingFault::kTooLong:
      out += "with this setting the options of this ";
      out += step;
      out += " step would be ";
      AppendNumber(out, static_cast<long>(verdict.length));
      out += " characters long; a step's options may total at most ";
      AppendNumber(out, static_cast<long>(kMaxParams));
      break;
  }
}

void ExplainEmptyLine(std::string& out, const char* line, std::string_view job,
                      bool before_first_step, bool comment_cut) {
  const std::string_view text(line);
  if (comment_cut) {
    out += "line holding only a comment in ";
  } else if (text.empty() || text == "\n" || text == "\r\n") {
    out += "empty line in ";
  } else {
    out += "line of blanks in ";
  }
  AppendSection(out, job);
  if (before_first_step) out += ", before its first step header";
  out += comment_cut ? ": it reads as an empty line, and empty lines" : ": empty lines";
  out +=
      " end nothing and are not allowed there; a section runs to the next line that begins "
      "\"[Job \"";
}

void ExplainBeforeFirstStep(std::string& out, std::string_view job) {
  out += "setting before the first step header of job ";
  AppendQuoted(out, job);
  out += "; a setting belongs to the [Index] or [Runner] header above it";
}

void ExplainPiece(std::string& out, long piece) {
  out += "this is piece ";
  AppendNumber(out, piece);
  out +=
      " of a line longer than 254 bytes: long lines are read in pieces of 254 bytes, each read "
      "as a line of its own";
}

void ExplainMalformedHeader(std::string& out, const char* line, bool comment_cut) {
  out += "job header ";
  AppendQuoted(out, WithoutLineEnd(line));
  // The name begins after "[Job ".
  if (line[5] == ']') {
    out += " has no name";
    return;
  }
  out += " has no closing \"]\"";
  if (comment_cut) out += "; a \"#\" starts a comment, so the header ends before it";
}

void ExplainLineError(std::string& out, const TScannedLine& scanned, const char* line,
                      std::string_view job, std::string_view step, long piece, bool comment_cut) {
  if (scanned.kind == TLineKind::kMalformedHeader) {
    ExplainMalformedHeader(out, line, comment_cut);
  } else if (piece > 1) {
    // The piece is no line of its own to the operator, whatever it holds.
    ExplainPiece(out, piece);
  } else if (scanned.verdict.setting.key.empty()) {
    ExplainEmptyLine(out, line, job, scanned.before_first_step, comment_cut);
  } else if (scanned.before_first_step) {
    ExplainBeforeFirstStep(out, job);
  } else {
    ExplainSetting(out, scanned.verdict, step, comment_cut);
  }
}

std::string_view IgnoredWords(const TSettingLine& setting) { return Trim(setting.rest); }

void WarnIgnoredWords(std::string& out, const TSettingLine& setting) {
  const std::string_view words = IgnoredWords(setting);
  out += "words after the value ";
  AppendQuoted(out, setting.value);
  out += " are ignored: ";
  AppendQuoted(out, words);
  if (HoldsQuoteMark(setting.value) || HoldsQuoteMark(words)) {
    out += "; quote marks do not group words in this file";
  }
}

void WarnJobAgain(std::string& out, std::string_view job, long sections_before, long first_line,
                  long used_line) {
  out += "job ";
  AppendQuoted(out, job);
  out += " is defined again; ";
  if (used_line != 0) {
    out += "a run uses its section at line ";
    AppendNumber(out, used_line);
    out += " and never reads this one";
    return;
  }
  out += "a run reads this section only because ";
  if (sections_before == 1) {
    out += "the one at line ";
    AppendNumber(out, first_line);
    out += " has errors";
  } else {
    out += "the ";
    AppendNumber(out, sections_before);
    out += " before it, from line ";
    AppendNumber(out, first_line);
    out += " on, have errors";
  }
}

std::string_view TextAfterStepName(const char* line, std::string_view step) {
  return TrimEnd(std::string_view(line).substr(1 + step.size()));
}

void WarnStepHeaderText(std::string& out, const char* line, std::string_view step) {
  out += "step header ";
  AppendQuoted(out, WithoutLineEnd(line));
  out += " is read as ";
  AppendStep(out, step);
  out += " step; what follows the step name, ";
  AppendQuoted(out, TextAfterStepName(line, step));
  out += ", is ignored";
}

void WarnRepeatedKey(std::string& out, std::string_view key, long first_line) {
  out += "key ";
  AppendQuoted(out, key);
  out += " is set again in this step (first at line ";
  AppendNumber(out, first_line);
  out += "); both options are passed";
}

void WarnNoStepKind(std::string& out, const char* line, std::string_view step, long step_line) {
  AppendQuoted(out, WithoutLineEnd(line));
  const std::string_view word = BracketedWord(line);
  const bool like_job = word.size() >= 3 && EqualIgnoringCase(word.substr(0, 3), "Job");
  if (like_job) {
    out +=
        " is no job header, which begins with exactly \"[Job \", so it does not end the section; "
        "it names no step kind either and is passed over";
  } else {
    out += " names no step kind and is passed over";
  }
  if (step_line != 0) {
    out += "; the settings after it go to the ";
    out += step;
    out += " step at line ";
    AppendNumber(out, step_line);
  }
  if (like_job) return;
  TClosest closest(word);
  for (const TRunFile* row = runfiles; row->step != nullptr; ++row) closest.Offer(row->step);
  if (closest.Best().empty()) return;
  std::string header = "[";
  header += closest.Best();
  header += ']';
  AppendSuggestion(out, header);
}

void WarnNoSteps(std::string& out, std::string_view job) {
  out += "job ";
  AppendQuoted(out, job);
  out += " has no steps; a run of it runs nothing";
}

#include "options/add_commad.h"

#include <string_view>

#include "options/option_table.h"

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

}  // namespace

int AddCommad(const char* line, TServer* server) {
  const char* key_begin = SkipBlanks(line);
  const char* key_end = FindBlank(key_begin);
  // A key must be followed by a blank: a line end counts, the end of the
  // text does not. A line of blanks only ends up here too.
  if (*key_end == '\0') return 0;
  const std::string_view key(key_begin, static_cast<std::size_t>(key_end - key_begin));

  const char* value_begin = SkipBlanks(key_end);
  const char* value_end = FindBlank(value_begin);
  if (value_end == value_begin) return 0;
  const std::string_view value(value_begin, static_cast<std::size_t>(value_end - value_begin));

  int applied = 0;
  for (const TOptionRule* rule = data; rule->step != nullptr; ++rule) {
    if (server->name != rule->step || key != rule->key) continue;
    const bool any = std::string_view(rule->match) == kAnyValue;
    if (!any && value != rule->match) continue;
    const std::string_view pass = any ? value : std::string_view(rule->value);
    const std::string_view option(rule->option);
    // " " + option + "=" + value
    const std::size_t length = 1 + option.size() + 1 + pass.size();
    if (server->params.size() + length > kMaxParams) return 0;
    server->params += ' ';
    server->params += option;
    server->params += '=';
    server->params += pass;
    applied = 1;
  }
  return applied;
}

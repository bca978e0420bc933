#include "job/command_text.h"

#include <cstring>

bool IsShellSafe(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return c != '\0' && std::strchr("_@%+=:,./-", c) != nullptr;
}

std::string ShellQuote(std::string_view text) {
  bool safe = !text.empty();
  for (char c : text) safe = safe && IsShellSafe(c);
  if (safe) return std::string(text);
  std::string quoted;
  quoted.reserve(text.size() + 2);
  quoted += '\'';
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  quoted += '\'';
  return quoted;
}

std::string CommandText(const TServer& step) {
  // params is a run of " --option=value" texts. Neither option names nor
  // values hold a space, so each space starts the next option.
  std::string command = step.program;
  command.reserve(step.program.size() + 1 + step.params.size() + 16);
  command += ' ';
  const std::string_view params(step.params);
  std::size_t pos = 0;
  while (pos < params.size()) {
    std::size_t end = params.find(' ', pos + 1);
    if (end == std::string_view::npos) end = params.size();
    const std::string_view option = params.substr(pos, end - pos);  // " --name=value"
    const std::size_t equals = option.find('=');
    if (equals == std::string_view::npos) {
      command += option;
    } else {
      command += option.substr(0, equals + 1);
      command += ShellQuote(option.substr(equals + 1));
    }
    pos = end;
  }
  return command;
}

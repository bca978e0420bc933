#ifndef VELMORJOB_JOB_COMMAND_TEXT_H_
#define VELMORJOB_JOB_COMMAND_TEXT_H_

#include <string>
#include <string_view>

#include "core/server.h"

// Whether the shell takes c literally in an unquoted word.
bool IsShellSafe(char c);

// The text as one shell word that stands for exactly that text: unchanged
// when every character is safe, otherwise in single quotes with each
// embedded quote written as '\''.
std::string ShellQuote(std::string_view text);

// The command handed to the shell for a step: its program, a space and its
// options, each value quoted so that it reaches the program as written.
std::string CommandText(const TServer& step);

#endif  // VELMORJOB_JOB_COMMAND_TEXT_H_

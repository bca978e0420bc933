#ifndef VELMORJOB_REPORT_TEXT_ESCAPE_H_
#define VELMORJOB_REPORT_TEXT_ESCAPE_H_

#include <cstddef>
#include <string>
#include <string_view>

// Job names and messages come from the configuration file and the command
// line and may hold any bytes. Before they go into the run report or the
// metrics file they are made valid UTF-8 and escaped for the format.

// The bytes as valid UTF-8: every well-formed sequence is kept, and each
// maximal part of an ill-formed one (a stray continuation byte, a sequence
// cut short, an overlong form, a surrogate, a code point above U+10FFFF)
// becomes one U+FFFD REPLACEMENT CHARACTER.
std::string ValidUtf8(std::string_view bytes);

// The bytes as a JSON string literal, double quotes included: valid UTF-8,
// with '"', '\' and every control character below U+0020 escaped.
std::string JsonString(std::string_view bytes);

// The bytes as a label value of the Prometheus text format, double quotes
// included: valid UTF-8, with '\', '"' and the line feed escaped.
std::string LabelString(std::string_view bytes);

// The bytes as a terminal shows them on one line: valid UTF-8, with each
// control character written out ("\x0a" for a line feed, "\x1b" for an
// escape, "\u0085" for the controls above U+007F), so that no value of a
// file can move the cursor or start a line of its own.
std::string TerminalText(std::string_view bytes);

// How many columns valid UTF-8 text takes: one a character.
std::size_t DisplayWidth(std::string_view text);

#endif  // VELMORJOB_REPORT_TEXT_ESCAPE_H_

#ifndef VELMORJOB_CHECK_EXPLAIN_H_
#define VELMORJOB_CHECK_EXPLAIN_H_

#include <string>
#include <string_view>

#include "job/section_scan.h"
#include "options/setting_rules.h"

// The reasons that --check gives after "FILE:N: error: " and
// "FILE:N: warning: ". Each function appends one reason, without a line
// end, to out. Texts from the file are quoted with AppendQuoted.

// Appends text in double quotes, with '"' and '\' escaped by a backslash and
// control bytes shown as \t, \r, \n or \xHH. Of a text longer than 60 bytes
// the first 60 are shown, and "..." follows the closing quote.
void AppendQuoted(std::string& out, std::string_view text);

// Errors.

// A body line of a step of kind `step` that breaks the rule named by the
// verdict (any fault but kNone). comment_cut: a comment was cut off the line.
void ExplainSetting(std::string& out, const TSettingVerdict& verdict, std::string_view step,
                    bool comment_cut);
// A line of the section of `job` that holds nothing but blanks, or nothing,
// or, when comment_cut, only a comment.
void ExplainEmptyLine(std::string& out, const char* line, std::string_view job,
                      bool before_first_step, bool comment_cut);
// A line that is not empty, before the first step header of `job`.
void ExplainBeforeFirstStep(std::string& out, std::string_view job);
// A piece of a line longer than one read, other than its first.
void ExplainPiece(std::string& out, long piece);
// A line that begins "[Job " with no name closed by ']'.
void ExplainMalformedHeader(std::string& out, const char* line, bool comment_cut);
// Any line a run reports, scanned as `scanned` (a bad line of the section of
// `job`, whose last step is of kind `step`, or a malformed header): what
// --check says of it. piece: which piece of its line it is (1 for a line
// that fitted in one read).
void ExplainLineError(std::string& out, const TScannedLine& scanned, const char* line,
                      std::string_view job, std::string_view step, long piece, bool comment_cut);

// Warnings.

// The words after a setting's value, which nothing reads: the rest of the
// line without the blanks around it. Empty when there are none.
std::string_view IgnoredWords(const TSettingLine& setting);
void WarnIgnoredWords(std::string& out, const TSettingLine& setting);
// A section of `job` after `sections_before` others of that name, the first
// at first_line. used_line: the header of the first of them without errors,
// which is the one a run uses, or 0 when every one of them had errors.
void WarnJobAgain(std::string& out, std::string_view job, long sections_before, long first_line,
                  long used_line);
// What follows the name of the step kind in a step header, without the
// blanks at its end: "]" for a header written as it should be.
std::string_view TextAfterStepName(const char* line, std::string_view step);
// A step header with more than "]" after the name of the step kind it is
// read as.
void WarnStepHeaderText(std::string& out, const char* line, std::string_view step);
// A key set again in the same step; first_line: where it was set first.
void WarnRepeatedKey(std::string& out, std::string_view key, long first_line);
// A line inside a section that begins with '[' but names no step kind and
// is no job header. step_line: the header of the step the settings after it
// go to, or 0 when no step has begun.
void WarnNoStepKind(std::string& out, const char* line, std::string_view step, long step_line);
// A section of `job` that a run reads and that holds no step header.
void WarnNoSteps(std::string& out, std::string_view job);

#endif  // VELMORJOB_CHECK_EXPLAIN_H_

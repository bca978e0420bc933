#ifndef VELMORJOB_APP_DURATION_H_
#define VELMORJOB_APP_DURATION_H_

#include <optional>
#include <string_view>

// Reads a duration as --timeout= and --kill-after= take it: a positive
// decimal number ("90", "0.5", ".5", "2.") with an optional unit, s for
// seconds (the default), m for minutes, h for hours or d for days. Returns
// the seconds, or nothing when the text is no such duration (a sign, an
// exponent, blanks, another unit, zero).
std::optional<double> ParseDuration(std::string_view text);

#endif  // VELMORJOB_APP_DURATION_H_

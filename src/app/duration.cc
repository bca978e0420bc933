#include "app/duration.h"

#include <cmath>
#include <cstdlib>
#include <string>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

struct TUnit {
  char suffix;
  double seconds;
};

const TUnit kUnits[] = {{'s', 1}, {'m', 60}, {'h', 60 * 60}, {'d', 24 * 60 * 60}};

}  // namespace

std::optional<double> ParseDuration(std::string_view text) {
  double scale = 1;
  if (!text.empty() && !IsDigit(text.back()) && text.back() != '.') {
    bool known = false;
    for (const TUnit& unit : kUnits) {
      if (text.back() == unit.suffix) {
        scale = unit.seconds;
        known = true;
      }
    }
    if (!known) return std::nullopt;
    text.remove_suffix(1);
  }
  // Digits with at most one point among them, and at least one digit.
  bool point = false;
  bool digit = false;
  for (const char c : text) {
    if (c == '.' && !point) {
      point = true;
    } else if (IsDigit(c)) {
      digit = true;
    } else {
      return std::nullopt;
    }
  }
  if (!digit) return std::nullopt;
  // The program never sets a locale, so the point is the decimal point.
  const double seconds = std::strtod(std::string(text).c_str(), nullptr) * scale;
  if (!(seconds > 0) || !std::isfinite(seconds)) return std::nullopt;
  return seconds;
}

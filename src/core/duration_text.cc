#include "core/duration_text.h"

#include <cmath>
#include <cstdio>

namespace {

struct TUnit {
  long long seconds;
  char name;
};

const TUnit kUnits[] = {{86400, 'd'}, {3600, 'h'}, {60, 'm'}, {1, 's'}};

}  // namespace

std::string DurationWords(double seconds) {
  if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
  if (seconds < 59.9995) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    std::string words(text);
    while (words.back() == '0') words.pop_back();
    if (words.back() == '.') words.pop_back();
    return words + "s";
  }
  long long left = std::llround(std::fmin(seconds, 1e15));
  std::string words;
  int shown = 0;
  for (const TUnit& unit : kUnits) {
    const long long count = left / unit.seconds;
    left %= unit.seconds;
    if (shown == 0 && count == 0) continue;
    // The unit after the largest one shown only when it is not zero.
    if (count != 0) {
      if (!words.empty()) words += ' ';
      words += std::to_string(count) + unit.name;
    }
    if (++shown == 2) break;
  }
  return words;
}

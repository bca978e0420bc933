#include "app/local_time.h"

#include <ctime>

namespace {

std::string Format(TWallClock::time_point time, const char* format) {
  const std::time_t seconds = TWallClock::to_time_t(time);
  std::tm parts = {};
  char text[64];
  if (localtime_r(&seconds, &parts) == nullptr ||
      std::strftime(text, sizeof text, format, &parts) == 0) {
    return "?";
  }
  return text;
}

}  // namespace

std::string LocalTime(TWallClock::time_point time) { return Format(time, "%Y-%m-%d %H:%M:%S"); }

std::string LocalMinute(TWallClock::time_point time) { return Format(time, "%Y-%m-%d %H:%M"); }

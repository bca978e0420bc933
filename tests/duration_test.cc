#include "app/duration.h"

#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace {

TEST(DurationTest, ReadsANumberWithAnOptionalUnit) {
  const struct {
    const char* text;
    double seconds;
  } cases[] = {
      {"90", 90},   {"90s", 90},   {"0.5s", 0.5},  {".5", 0.5}, {"2.", 2},        {"45m", 45 * 60},
      {"2h", 7200}, {"1d", 86400}, {"1.5h", 5400}, {"007", 7},  {"0.001", 0.001},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::optional<double> seconds = ParseDuration(c.text);
    ASSERT_TRUE(seconds.has_value());
    EXPECT_DOUBLE_EQ(c.seconds, *seconds);
  }
}

TEST(DurationTest, RejectsWhatIsNoPositiveDecimalDuration) {
  for (const char* text :
       {"",   "s",   ".",   ".s", "0",  "0s", "0.0",   "-1",  "+1",  "1e3", "0x10", "1 s",
        " 1", "1s ", "1ms", "1S", "1H", "1w", "1.2.3", "inf", "nan", "1,5", "1ss",  "1sm"}) {
    EXPECT_FALSE(ParseDuration(text).has_value()) << '"' << text << '"';
  }
}

TEST(DurationTest, RejectsANumberTooLargeToHold) {
  EXPECT_FALSE(ParseDuration(std::string(400, '9')).has_value());
  EXPECT_TRUE(ParseDuration(std::string(300, '9')).has_value());
}

}  // namespace

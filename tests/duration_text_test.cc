#include "core/duration_text.h"

#include <cmath>

#include <gtest/gtest.h>

namespace {

TEST(DurationTextTest, WritesTheTwoLargestUnits) {
  const struct {
    double seconds;
    const char* words;
  } cases[] = {
      {0, "0s"},       {0.001, "0.001s"},    {0.0004, "0s"},  {0.25, "0.25s"},  {1.5, "1.5s"},
      {30, "30s"},     {59.9994, "59.999s"}, {59.9996, "1m"}, {60, "1m"},       {90, "1m 30s"},
      {119.6, "2m"},   {120, "2m"},          {3600, "1h"},    {3601, "1h"},     {3660, "1h 1m"},
      {7380, "2h 3m"}, {7383, "2h 3m"},      {86400, "1d"},   {90000, "1d 1h"}, {86401, "1d"},
      {-5, "0s"},      {NAN, "0s"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.words, DurationWords(c.seconds)) << c.seconds;
}

}  // namespace

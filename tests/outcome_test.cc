#include "core/outcome.h"

#include <gtest/gtest.h>

namespace {

TEST(OutcomeTest, ExitStatusTellsWhatHappened) {
  const struct {
    TOutcome outcome;
    int status;
  } cases[] = {
      {{0, false, 0}, 0},  {{0, true, 0}, 3},   {{1, false, 0}, 2},
      {{3, true, 0}, 2},                         // a configuration error wins over a failed step
      {{0, true, 2}, 130}, {{1, true, 3}, 131},  // an interruption ends the run whatever came
                                                 // before
  };
  for (const auto& c : cases) EXPECT_EQ(c.status, ExitStatus(c.outcome));
}

}  // namespace

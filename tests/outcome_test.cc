#include "core/outcome.h"

#include <gtest/gtest.h>

namespace {

TOutcome Made(long config_errors, bool step_failed, int interrupt_signal, bool output_failed) {
  TOutcome result;
  result.config_errors = config_errors;
  result.step_failed = step_failed;
  result.interrupt_signal = interrupt_signal;
  result.output_failed = output_failed;
  return result;
}

TEST(OutcomeTest, ExitStatusTellsTheMostSeriousThingThatHappened) {
  const struct {
    const char* what;
    TOutcome outcome;
    int status;
  } cases[] = {
      {"nothing went wrong", Made(0, false, 0, false), 0},
      {"a step failed", Made(0, true, 0, false), 3},
      {"a configuration error", Made(1, false, 0, false), 2},
      {"output could not be written", Made(0, false, 0, true), 4},
      {"configuration error over failed step", Made(3, true, 0, false), 2},
      {"failed step over output", Made(0, true, 0, true), 3},
      {"configuration error over output", Made(1, false, 0, true), 2},
      {"interruption over a failed step", Made(0, true, 2, false), 130},
      {"interruption over everything", Made(1, true, 3, true), 131},
  };
  for (const auto& c : cases) EXPECT_EQ(c.status, ExitStatus(c.outcome)) << c.what;
}

}  // namespace

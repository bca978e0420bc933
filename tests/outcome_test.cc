#include "core/outcome.h"

#include <csignal>

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

TEST(OutcomeTest, LockAndStopSignalTakeTheirPlaceInTheOrder) {
  TOutcome locked = Made(0, false, 0, true);
  locked.locked = true;
  EXPECT_EQ(75, ExitStatus(locked)) << "a held lock over output";
  locked.config_errors = 1;
  EXPECT_EQ(2, ExitStatus(locked)) << "a configuration error over a held lock";

  TOutcome stopped = Made(2, true, SIGINT, true);
  stopped.stop_signal = SIGTERM;
  EXPECT_EQ(143, ExitStatus(stopped)) << "a stop signal over everything";

  TOutcome files = Made(0, false, 0, false);
  files.file_failed = true;
  EXPECT_EQ(4, ExitStatus(files)) << "a report that could not be written";
  files.step_failed = true;
  EXPECT_EQ(3, ExitStatus(files)) << "a failed step over a report";
}

}  // namespace

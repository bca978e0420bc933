// End-to-end runs whose standard output cannot be written: the program says
// so on standard error and ends with status 4, unless something more
// serious happened; a run still runs its steps.

#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "e2e_harness.h"

namespace {

using OutputTest = E2eTest;

constexpr char kFull[] = "/dev/full";
constexpr char kNoSpace[] = "velmorjob: cannot write output: No space left on device\n";

TEST_F(OutputTest, OutputThatCannotBeWrittenEndsWithStatus4) {
  Config(kNightly);
  const std::vector<std::vector<std::string>> cases = {
      {"--list"}, {"--dry-run", "nightly"}, {"--check"}, {"--help"}, {"--version"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(testing::PrintToString(args));
    const TRun run = RunWithOutputTo(kFull, args);
    EXPECT_EQ(4, run.status);
    EXPECT_EQ(kNoSpace, run.err);
  }
  EXPECT_FALSE(dir_.Exists("calls.log"));
}

TEST_F(OutputTest, ARunStillRunsItsStepsAndToldItOnce) {
  Config(kNightly);
  const TRun run = RunWithOutputTo(kFull, {"nightly"});
  EXPECT_EQ(4, run.status);
  EXPECT_EQ(kNoSpace, run.err);
  EXPECT_EQ("indexer [--maxfiles=500] [--charset=3] [--statistic=1]\nrunner [--program=report]\n",
            Calls());
}

TEST_F(OutputTest, LongOutputThatFailsBeforeTheEndIsToldToo) {
  // Far more than one buffer of names: the failure comes inside printing.
  std::string many;
  for (int i = 0; i < 5000; ++i) many += "[Job job" + std::to_string(i) + "]\n";
  Config(many);
  const TRun run = RunWithOutputTo(kFull, {"--list"});
  EXPECT_EQ(4, run.status);
  EXPECT_EQ(kNoSpace, run.err);
}

TEST_F(OutputTest, MoreSeriousStatusesWin) {
  const struct {
    const char* what;
    std::string config;
    const char* indexer;
    int status;
  } cases[] = {
      {"a failed step", "[Job nightly]\n[Index]\n", "exit 1", 3},
      {"a configuration error", "[Job ]\n[Job nightly]\n[Index]\n", "exit 1", 2},
      {"a missing job", "[Job other]\n", "", 2},
      {"an interrupted step", "[Job nightly]\n[Index]\n", "exit 130", 130},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Config(c.config);
    Stub("indexer", c.indexer);
    const TRun run = RunWithOutputTo(kFull, {"nightly"});
    EXPECT_EQ(c.status, run.status);
    EXPECT_EQ(kNoSpace, run.err);
  }
}

TEST_F(OutputTest, UsageErrorsKeepStatus1) {
  const TRun run = RunWithOutputTo(kFull, {"--bogus"});
  EXPECT_EQ(1, run.status);
  EXPECT_EQ(kNoSpace, run.err);
}

}  // namespace

#include "job/run_files.h"

#include <gtest/gtest.h>

#include "job/step_list.h"

namespace {

// The name of the step kind a step header names, or "" for none.
std::string StepNamed(const char* line) {
  std::string named;
  for (const TRunFile* row = runfiles; row->step != nullptr; ++row) {
    if (NamesStep(line, *row)) named += row->step;
  }
  return named;
}

TEST(RunFilesTest, StepHeaderNamesAStepByItsFirstLetters) {
  const struct {
    const char* line;
    const char* step;
  } cases[] = {
      {"[Index]\n", "Index"},   {"[Index", "Index"},
      {"[Indexer]\n", "Index"}, {"[Runner]\n", "Runner"},
      {"[Runners", "Runner"},   {"[index]\n", ""},
      {"[ Index]\n", ""},       {"[Inde]\n", ""},
      {"Index]\n", ""},         {"[]\n", ""},
      {"[Job]\n", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(c.step, StepNamed(c.line));
  }
}

TEST(RunFilesTest, StepsRunTheirProgramsFromTheCurrentDirectory) {
  EXPECT_EQ("./indexer", MakeStep(runfiles[0])->program);
  EXPECT_EQ("Index", MakeStep(runfiles[0])->name);
  EXPECT_EQ("./runner", MakeStep(runfiles[1])->program);
  EXPECT_EQ("Runner", MakeStep(runfiles[1])->name);
  EXPECT_EQ("", MakeStep(runfiles[1])->params);
}

}  // namespace

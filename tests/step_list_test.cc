#include "job/step_list.h"

#include <gtest/gtest.h>

namespace {

TEST(StepListTest, KeepsStepsInTheOrderAppended) {
  TStepList steps;
  EXPECT_TRUE(steps.Empty());
  steps.Append(MakeStep(runfiles[0]));
  steps.Append(MakeStep(runfiles[1]));
  steps.Append(MakeStep(runfiles[0]));
  ASSERT_FALSE(steps.Empty());
  std::string order;
  for (const TServer* s = steps.head.get(); s != nullptr; s = s->next.get()) order += s->name + ";";
  EXPECT_EQ("Index;Runner;Index;", order);
  EXPECT_EQ(steps.last, steps.head->next->next.get());
}

TEST(StepListTest, MillionStepsAreReleasedWithoutRecursion) {
  // A recursive release would need a stack frame per node and overflow.
  TStepList steps;
  for (int i = 0; i < 1000000; ++i) steps.Append(MakeStep(runfiles[i % 2]));
  EXPECT_EQ("Runner", steps.last->name);
}

}  // namespace

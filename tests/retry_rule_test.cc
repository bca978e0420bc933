#include "job/retry_rule.h"

#include <csignal>
#include <optional>

#include <gtest/gtest.h>

namespace {

using TStop = TStepResult::TStop;

TEST(RetryRuleTest, ReadsAListOfStatusesAndWords) {
  const std::optional<TRetryOn> on = ParseRetryOn("75,timeout,1,255,signal,start");
  ASSERT_TRUE(on);
  EXPECT_TRUE(on->statuses.test(75) && on->statuses.test(1) && on->statuses.test(255));
  EXPECT_FALSE(on->statuses.test(2));
  EXPECT_TRUE(on->timeout && on->signal && on->start);
  const std::optional<TRetryOn> one = ParseRetryOn("timeout");
  ASSERT_TRUE(one);
  EXPECT_TRUE(one->timeout);
  EXPECT_FALSE(one->signal || one->start || one->statuses.any());
}

TEST(RetryRuleTest, RefusesAnythingElse) {
  for (const char* list : {"", ",", "75,", ",75", "0", "256", "-1", "+5", "75 ", " 75", "Timeout",
                           "time", "75;1", "1e2", "0x10", "75,,1"}) {
    EXPECT_FALSE(ParseRetryOn(list)) << '"' << list << '"';
  }
}

TEST(RetryRuleTest, RetriesFailuresButNeverInterruptsStopsOrTheDeadline) {
  const TRetryRule every;
  const struct {
    const char* what;
    TStepResult result;
    bool retried;
  } cases[] = {
      {"success", TStepResult::FromWaitStatus(0), false},
      {"exit status", TStepResult::FromWaitStatus(1 << 8), true},
      {"signal", TStepResult::FromWaitStatus(SIGKILL), true},
      {"time limit", TStepResult::FromWaitStatus(SIGTERM, TStop::kTimeout), true},
      {"no start", TStepResult(), true},
      {"Ctrl-C", TStepResult::FromWaitStatus(SIGINT), false},
      {"the shell's 131", TStepResult::FromWaitStatus(131 << 8), false},
      {"told to stop", TStepResult::FromWaitStatus(SIGTERM, TStop::kStopSignal), false},
      {"deadline", TStepResult::FromWaitStatus(SIGTERM, TStop::kDeadline), false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.retried, every.Retries(c.result)) << c.what;
}

TEST(RetryRuleTest, RetryOnNamesTheFailuresThatAreRetried) {
  TRetryRule rule;
  rule.only = ParseRetryOn("75,signal");
  EXPECT_TRUE(rule.Retries(TStepResult::FromWaitStatus(75 << 8)));
  EXPECT_FALSE(rule.Retries(TStepResult::FromWaitStatus(74 << 8)));
  EXPECT_TRUE(rule.Retries(TStepResult::FromWaitStatus(SIGKILL)));
  // A step its time limit stopped is a timeout, whatever ended it.
  EXPECT_FALSE(rule.Retries(TStepResult::FromWaitStatus(SIGTERM, TStop::kTimeout)));
  EXPECT_FALSE(rule.Retries(TStepResult::FromWaitStatus(75 << 8, TStop::kTimeout)));
  EXPECT_FALSE(rule.Retries(TStepResult()));
  rule.only = ParseRetryOn("timeout,start");
  EXPECT_TRUE(rule.Retries(TStepResult::FromWaitStatus(SIGTERM, TStop::kTimeout)));
  EXPECT_TRUE(rule.Retries(TStepResult()));
  EXPECT_FALSE(rule.Retries(TStepResult::FromWaitStatus(SIGKILL)));
  // Still never an interrupt.
  rule.only = ParseRetryOn("130,signal");
  EXPECT_FALSE(rule.Retries(TStepResult::FromWaitStatus(130 << 8)));
  EXPECT_FALSE(rule.Retries(TStepResult::FromWaitStatus(SIGINT)));
}

}  // namespace

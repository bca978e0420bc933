#include "app/run_settings.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

TRunSettings From(std::vector<const char*> args) {
  args.insert(args.begin(), "velmorjob");
  return RunSettingsFrom(ParseCommandLine(static_cast<int>(args.size()), args.data()));
}

TEST(RunSettingsTest, LeftOutOptionsHaveTheirDefaults) {
  const TRunSettings settings = From({"nightly"});
  EXPECT_EQ("nightly", settings.job);
  EXPECT_EQ("search.conf", settings.config);
  EXPECT_FALSE(settings.dry_run || settings.verbose || settings.exit_on_error || settings.quiet);
  EXPECT_FALSE(settings.limits.timeout);
  EXPECT_EQ(30, settings.limits.kill_after);
  EXPECT_FALSE(settings.limits.deadline);
  EXPECT_FALSE(settings.job_timeout);
  EXPECT_EQ(0, settings.retry.retries);
  EXPECT_EQ(30, settings.retry.delay);
  EXPECT_FALSE(settings.retry.only);
  EXPECT_EQ(1, settings.from_step);
  EXPECT_FALSE(settings.lock || settings.lock_wait || settings.report || settings.metrics);
  EXPECT_FALSE(settings.on_start || settings.on_success || settings.on_failure);
  EXPECT_FALSE(settings.KeptOutput());
  EXPECT_FALSE(settings.KeepsRecord());
  EXPECT_EQ(60, settings.hook_timeout);
}

TEST(RunSettingsTest, EveryOptionReachesTheRun) {
  const TRunSettings settings =
      From({"--config=jobs.conf", "--verbose",        "--exit-on-error",    "--timeout=2h",
            "--kill-after=5",     "--job-timeout=5h", "--retries=4",        "--retry-delay=10",
            "--retry-on=timeout", "--from-step=3",    "--lock=l",           "--lock-wait=1m",
            "--keep-output=1K",   "--report=r.json",  "--metrics=m.prom",   "--on-start=a",
            "--on-success=b",     "--on-failure=c",   "--hook-timeout=1.5", "weekly"});
  EXPECT_EQ(1.5, settings.hook_timeout);
  EXPECT_EQ("weekly", settings.job);
  EXPECT_EQ("jobs.conf", settings.config);
  EXPECT_TRUE(settings.verbose && settings.exit_on_error);
  EXPECT_EQ(7200, settings.limits.timeout.value_or(0));
  EXPECT_EQ("2h", settings.timeout_text);
  EXPECT_EQ(5, settings.limits.kill_after);
  EXPECT_EQ(5 * 3600, settings.job_timeout.value_or(0));
  EXPECT_EQ("5h", settings.job_timeout_text);
  EXPECT_EQ(4, settings.retry.retries);
  EXPECT_EQ(10, settings.retry.delay);
  ASSERT_TRUE(settings.retry.only);
  EXPECT_TRUE(settings.retry.only->timeout);
  EXPECT_EQ(3, settings.from_step);
  EXPECT_EQ("l", settings.lock.value_or(""));
  EXPECT_EQ(60, settings.lock_wait.value_or(0));
  EXPECT_EQ(1024u, settings.KeptOutput().value_or(0));
  EXPECT_EQ("r.json", settings.report.value_or(""));
  EXPECT_EQ("m.prom", settings.metrics.value_or(""));
  EXPECT_EQ("a", settings.on_start.value_or(""));
  EXPECT_EQ("b", settings.on_success.value_or(""));
  EXPECT_EQ("c", settings.on_failure.value_or(""));
  EXPECT_TRUE(settings.KeepsRecord());
}

TEST(RunSettingsTest, QuietKeepsOutputAndTheRecordButNotInADryRun) {
  const TRunSettings quiet = From({"--quiet", "j"});
  EXPECT_TRUE(quiet.quiet);
  EXPECT_EQ(kQuietKeptOutput, quiet.KeptOutput().value_or(0));
  EXPECT_TRUE(quiet.KeepsRecord());
  EXPECT_EQ(10u, From({"--quiet", "--keep-output=10", "j"}).KeptOutput().value_or(0));
  EXPECT_FALSE(From({"--quiet", "--dry-run", "j"}).quiet);
  for (const char* option :
       {"--report=r", "--metrics=m", "--on-start=x", "--on-success=x", "--on-failure=x"}) {
    EXPECT_TRUE(From({option, "j"}).KeepsRecord()) << option;
  }
  EXPECT_FALSE(From({"--keep-output=10", "j"}).KeepsRecord());
}

}  // namespace

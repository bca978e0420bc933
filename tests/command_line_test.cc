#include "app/command_line.h"

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

TCommandLine Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "velmorjob");
  return ParseCommandLine(static_cast<int>(args.size()), args.data());
}

TEST(CommandLineTest, FindsTheJobAndTheConfigurationPath) {
  const struct {
    std::vector<const char*> args;
    std::optional<std::string> job;
    std::string config;
  } cases[] = {
      {{"nightly"}, "nightly", "search.conf"},
      {{"--config=jobs.conf", "nightly"}, "nightly", "jobs.conf"},
      {{"nightly", "--config=jobs.conf"}, "nightly", "jobs.conf"},
      {{"--config=jobs.conf"}, std::nullopt, "jobs.conf"},
      {{"a", "b"}, "b", "search.conf"},
      {{"--config=a", "--config=b", "x"}, "x", "b"},
      {{"--config=", "x"}, "x", ""},
      {{"-v", "x", "-", "--"}, "x", "search.conf"},
      {{""}, "", "search.conf"},
      {{"--config"}, std::nullopt, "search.conf"},
  };
  for (const auto& c : cases) {
    const TCommandLine line = Parse(c.args);
    EXPECT_EQ(c.job, line.job);
    EXPECT_EQ(c.config, ConfigPath(line));
  }
}

TEST(CommandLineTest, RecognisesLongOptionsOnlyWhenWrittenInFull) {
  const TCommandLine all =
      Parse({"--dry-run", "--verbose", "--check", "--list", "--help", "--version"});
  EXPECT_TRUE(all.dry_run && all.verbose && all.check && all.list && all.help && all.version);
  EXPECT_FALSE(all.job);
  EXPECT_EQ("", all.error);
  const TCommandLine single = Parse({"-v", "-h", "-dry-run", "-", "--"});
  EXPECT_FALSE(single.dry_run || single.verbose || single.help || single.version);
  EXPECT_EQ("", single.error);
}

TEST(CommandLineTest, UnknownDoubleDashArgumentIsAnError) {
  const struct {
    std::vector<const char*> args;
    std::string error;
  } cases[] = {
      {{"--dryrun", "nightly"}, "Unknown option \"--dryrun\""},
      {{"--config", "f.conf", "f"}, "Unknown option \"--config\""},
      {{"--help=1"}, "Unknown option \"--help=1\""},
      {{"--VERSION"}, "Unknown option \"--VERSION\""},
      {{"--dry"}, "Unknown option \"--dry\""},
      {{"--check", "---check"}, "Unknown option \"---check\""},
      // Only the first is told.
      {{"nightly", "--a", "--b"}, "Unknown option \"--a\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    EXPECT_EQ(c.error, Parse(c.args).error);
  }
}

TEST(CommandLineTest, ReadsTheOptionsOfUnattendedRuns) {
  const TCommandLine line =
      Parse({"--retries=3", "--retry-delay=1m", "--retry-on=75,timeout", "--job-timeout=5h",
             "--from-step=2", "--lock-wait=90", "--keep-output=64K", "--quiet",
             "--on-start=curl start", "--on-success=a=b", "--on-failure=mail -s x", "nightly"});
  EXPECT_EQ("", line.error);
  EXPECT_EQ(3, line.retries.value_or(-1));
  ASSERT_TRUE(line.retry_delay && line.job_timeout && line.lock_wait);
  EXPECT_EQ(60, line.retry_delay->seconds);
  EXPECT_EQ("5h", line.job_timeout->text);
  EXPECT_EQ(90, line.lock_wait->seconds);
  ASSERT_TRUE(line.retry_on);
  EXPECT_TRUE(line.retry_on->statuses.test(75) && line.retry_on->timeout);
  EXPECT_EQ(2, line.from_step.value_or(0));
  EXPECT_EQ(64u * 1024, line.keep_output.value_or(0));
  EXPECT_TRUE(line.quiet);
  EXPECT_EQ("curl start", line.on_start.value_or(""));
  EXPECT_EQ("a=b", line.on_success.value_or(""));
  EXPECT_EQ("mail -s x", line.on_failure.value_or(""));
  EXPECT_EQ("nightly", line.job.value_or(""));
}

TEST(CommandLineTest, BadValuesNameTheOptionAndTheValue) {
  const struct {
    std::vector<const char*> args;
    std::string error;
  } cases[] = {
      {{"--retries=101"},
       "Invalid number \"101\" for --retries: give a whole number from 0 to 100"},
      {{"--retries=-1"}, "Invalid number \"-1\" for --retries: give a whole number from 0 to 100"},
      {{"--retries=1.5"},
       "Invalid number \"1.5\" for --retries: give a whole number from 0 to 100"},
      {{"--retries="}, "Invalid number \"\" for --retries: give a whole number from 0 to 100"},
      {{"--retries"}, "Option --retries needs a value: --retries=N"},
      {{"--from-step=0"},
       "Invalid step number \"0\" for --from-step: give a whole number from 1 on"},
      {{"--from-step=+2"},
       "Invalid step number \"+2\" for --from-step: give a whole number from 1 on"},
      {{"--retry-on=75,x"},
       "Invalid list \"75,x\" for --retry-on: give exit statuses from 1 to 255 and the words "
       "timeout, signal and start, separated by commas"},
      {{"--retry-delay=0"},
       "Invalid duration \"0\" for --retry-delay: give a positive number with an optional unit "
       "s, m, h or d"},
      {{"--job-timeout=soon"},
       "Invalid duration \"soon\" for --job-timeout: give a positive number with an optional "
       "unit s, m, h or d"},
      {{"--keep-output=17M"},
       "Invalid size \"17M\" for --keep-output: give a number of bytes up to 16M, with an "
       "optional unit K or M"},
      {{"--on-start="}, "Option --on-start needs a command: --on-start=COMMAND"},
      {{"--on-failure"}, "Option --on-failure needs a command: --on-failure=COMMAND"},
      {{"--on-success=a", "--on-success=b"}, "Option --on-success may be given only once"},
      // Only the first is told.
      {{"--retries=x", "--from-step=0"},
       "Invalid number \"x\" for --retries: give a whole number from 0 to 100"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    EXPECT_EQ(c.error, Parse(c.args).error);
  }
}

TEST(CommandLineTest, AnOptionNameWithMoreAfterItIsNoOption) {
  for (const char* arg : {"--reports=r.json", "--timeouts=5", "--lockx", "--lock-waits=5",
                          "--quiets", "--retries-on=1", "--keep-outputs=1"}) {
    const TCommandLine line = Parse({arg, "nightly"});
    EXPECT_EQ("Unknown option \"" + std::string(arg) + "\"", line.error);
    EXPECT_FALSE(line.report);
    EXPECT_FALSE(line.timeout);
    EXPECT_FALSE(line.lock);
  }
}

TEST(CommandLineTest, SizesAreBytesWithAnOptionalUnitUpTo16M) {
  const struct {
    const char* text;
    std::optional<std::size_t> bytes;
  } cases[] = {
      {"0", 0},
      {"1", 1},
      {"64K", 64 * 1024},
      {"1M", 1024 * 1024},
      {"16M", 16 * 1024 * 1024},
      {"16384K", 16 * 1024 * 1024},
      {"16777216", 16 * 1024 * 1024},
      {"16777217", std::nullopt},
      {"16385K", std::nullopt},
      {"17M", std::nullopt},
      {"", std::nullopt},
      {"K", std::nullopt},
      {"64k", std::nullopt},
      {"1G", std::nullopt},
      {"-1", std::nullopt},
      {"1.5M", std::nullopt},
      {" 1", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(c.bytes, ParseSize(c.text)) << c.text;
}

}  // namespace

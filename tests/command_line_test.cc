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

}  // namespace

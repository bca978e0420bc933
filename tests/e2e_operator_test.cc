// End-to-end runs of the operator options: --dry-run, --verbose, --check,
// --list, --help and --version.

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/build_info.h"
#include "e2e_harness.h"

namespace {

using testing::MatchesRegex;

using OperatorTest = E2eTest;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

TEST_F(OperatorTest, DryRunPrintsTheCommandsAndRunsNothing) {
  Config(kNightly);
  for (const auto& args :
       std::vector<std::vector<std::string>>{{"--dry-run", "nightly"}, {"nightly", "--dry-run"}}) {
    // No banner: the output is exactly the commands.
    Expect(Run(args),
           "./indexer  --maxfiles=500 --charset=3 --statistic=1\n./runner  --program=report\n", 0);
  }
  EXPECT_FALSE(dir_.Exists("calls.log"));
}

TEST_F(OperatorTest, DryRunTellsTheMessagesOfARunOnStandardErrorAndNoCommandAfterAnError) {
  const struct {
    const char* what;
    const char* config;
    std::vector<std::string> args;
    std::string out;
    int status;
  } cases[] = {
      {"no job name", kNightly, {"--dry-run"}, "Job name has not been specified", 1},
      {"unknown job",
       kNightly,
       {"--dry-run", "x"},
       "Job \"x\" not found in your config file.\n",
       2},
      {"bad line",
       "[Job a]\n[Index]\nBogus 1\n",
       {"--dry-run", "a"},
       "Error at line 3:\nBogus 1\n",
       2},
      {"malformed header before the job",
       "[Job \n[Job a]\n[Runner]\n",
       {"--dry-run", "a"},
       "Error at line 1:\n[Job \n",
       2},
      {"missing file",
       kNightly,
       {"--dry-run", "--config=absent", "a"},
       "Config file [absent] not found.\n",
       2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Config(c.config);
    Expect(Run(c.args), "", c.out, c.status);
  }
  EXPECT_FALSE(dir_.Exists("calls.log"));
}

TEST_F(OperatorTest, DryRunOfAFileWithAnErrorPipedToAShellRunsNothing) {
  // The mistyped key's line holds a command; so does the not-found message.
  Config("[Job j]\n[Index]\nURLL http://x/ ; touch PWNED\n[Runner]\n");
  const std::string velmorjob = "cd '" + dir_.path() + "' && '" + VELMORJOB_BINARY + "'";
  for (const char* job : {"j", "nosuch"}) {
    SCOPED_TRACE(job);
    const std::string command = velmorjob + " --dry-run " + job + " 2>err | sh > sh.out 2>&1";
    EXPECT_EQ(0, std::system(command.c_str()));
    EXPECT_FALSE(dir_.Exists("PWNED"));
    EXPECT_EQ("", dir_.Read("sh.out"));
  }
  EXPECT_EQ("Job \"nosuch\" not found in your config file.\n", dir_.Read("err"));
  Expect(Run({"--dry-run", "j"}), "", "Error at line 3:\nURLL http://x/ ; touch PWNED\n", 2);
  EXPECT_FALSE(dir_.Exists("calls.log"));
}

TEST_F(OperatorTest, DryRunOutputPipedToAShellGivesTheStepsTheArgumentsOfARealRun) {
  Config(
      "[Job nightly]\n"
      "[Index]\n"
      "URL http://host/search?q=1&page=2\n"
      "Exclude $(touch${IFS}made)\n"
      "Exclude it's\"a\"\\`b`;c|d&e\n"
      "Language *\n"
      "Language a?c\n"
      "Language a[b]c\n"
      "Exclude a[!x]b\n"
      "Exclude a[^x]b\n"
      "Path a?b\n"
      "MaxFiles 5\n"
      "[Runner]\n"
      "Filename ~/bin/report\n"
      "Params $HOME\n");
  // Files that the values would match as shell patterns: a value that
  // reached the shell unquoted would arrive as these names instead.
  for (const char* name : {"--language=abc", "--exclude=a!b", "--exclude=a^b", "--path=a~b"}) {
    dir_.Write(name, "");
  }
  const TRun dry = Run({"--dry-run", "nightly"});
  ASSERT_EQ(0, dry.status);
  EXPECT_FALSE(dir_.Exists("calls.log"));

  ASSERT_EQ(0, Run({"nightly"}).status);
  const std::string real_calls = Calls();
  EXPECT_EQ(
      "indexer [--url=http://host/search?q=1&page=2] [--exclude=$(touch${IFS}made)] "
      "[--exclude=it's\"a\"\\`b`;c|d&e] [--language=*] [--language=a?c] [--language=a[b]c] "
      "[--exclude=a[!x]b] [--exclude=a[^x]b] [--path=a?b] [--maxfiles=5]\n"
      "runner [--program=~/bin/report] [--params=$HOME]\n",
      real_calls);
  unlink(dir_.File("calls.log").c_str());

  // velmorjob --dry-run nightly | sh
  const std::string shell =
      "cd '" + dir_.path() + "' && '" + std::string(VELMORJOB_BINARY) + "' --dry-run nightly | sh";
  ASSERT_EQ(0, std::system(shell.c_str()));
  EXPECT_EQ(real_calls, Calls());
  EXPECT_FALSE(dir_.Exists("made"));
}

TEST_F(OperatorTest, VerboseShowsEachCommandAndHowItEnded) {
  Stub("runner", "echo runner speaks; exit 3");
  Config(kNightly);
  const TRun run = Run({"--verbose", "nightly"});
  EXPECT_EQ(3, run.status);
  EXPECT_EQ("", run.err);
  EXPECT_THAT(run.out, testing::StartsWith(kBanner));
  const std::vector<std::string> lines = Lines(run.out.substr(std::string(kBanner).size()));
  ASSERT_EQ(5u, lines.size()) << run.out;
  EXPECT_EQ("Step 1 \"./indexer\" starts: ./indexer  --maxfiles=500 --charset=3 --statistic=1",
            lines[0]);
  EXPECT_THAT(lines[1], MatchesRegex("Step 1 \"\\./indexer\" ended with exit status 0 after "
                                     "[0-9]+(\\.[0-9]+)?s"));
  EXPECT_EQ("Step 2 \"./runner\" starts: ./runner  --program=report", lines[2]);
  EXPECT_EQ("runner speaks", lines[3]);
  EXPECT_THAT(lines[4], MatchesRegex("Step 2 \"\\./runner\" ended with exit status 3 after "
                                     "[0-9]+(\\.[0-9]+)?s"));
  EXPECT_EQ("indexer [--maxfiles=500] [--charset=3] [--statistic=1]\nrunner [--program=report]\n",
            Calls());
}

TEST_F(OperatorTest, VerboseNamesTheSignalThatKilledAStep) {
  Stub("indexer", "kill -INT $$");
  Config(kNightly);
  const TRun run = Run({"nightly", "--verbose"});
  EXPECT_EQ(130, run.status);
  const std::vector<std::string> lines = Lines(run.out.substr(std::string(kBanner).size()));
  ASSERT_EQ(2u, lines.size()) << run.out;
  // The shell reports the step's death by SIGINT either as the signal or as
  // status 130, depending on whether it ran the step in a child of its own.
  EXPECT_THAT(
      lines[1],
      MatchesRegex("Step 1 \"\\./indexer\" (was killed by signal 2 \\(Interrupt\\)|ended with exit "
                   "status 130) after [0-9.]+s"));
  EXPECT_EQ("indexer [--maxfiles=500] [--charset=3] [--statistic=1]\n", Calls());
}

TEST_F(OperatorTest, CheckReportsEveryProblemOfEverySection) {
  Config(
      "stray text before any job\n"  // 1: outside every section, not read
      "[Job a]\n"                    // 2
      "MaxFiles 1\n"                 // 3: before the first step
      "[Index]\n"                    // 4
      "MaxFiles 2\n"                 // 5
      "maxfiles 3\n"                 // 6: lower-case key
      "\n"                           // 7: empty line
      "[Job \n"                      // 8: malformed, ends the section
      "Bogus outside\n"              // 9: no section, not read
      "[Job b]\n"                    // 10
      "[Runner]\n"                   // 11
      "Filename x\n"                 // 12
      "URL http://a/\n"              // 13: other step kind
      "[Job ]\n"                     // 14: malformed
      "[Job a]\n"                    // 15
      "[Runner]\n"                   // 16
      "Params");                     // 17: key without blank, last line
  Expect(Run({"--check"}),
         std::string(kBanner) +
             "Error at line 3:\nMaxFiles 1\n"
             "search.conf:3: error: setting before the first step header of job \"a\"; a "
             "setting belongs to the [Index] or [Runner] header above it\n"
             "Error at line 6:\nmaxfiles 3\n"
             "search.conf:6: error: unknown key \"maxfiles\" for an Index step; did you mean "
             "\"MaxFiles\"?\n"
             "Error at line 7:\n\n"
             "search.conf:7: error: empty line in the section of job \"a\": empty lines end "
             "nothing and are not allowed there; a section runs to the next line that begins "
             "\"[Job \"\n"
             "Error at line 8:\n[Job \n"
             "search.conf:8: error: job header \"[Job \" has no closing \"]\"\n"
             "Error at line 13:\nURL http://a/\n"
             "search.conf:13: error: \"URL\" is an Index setting, not a Runner setting\n"
             "Error at line 14:\n[Job ]\n"
             "search.conf:14: error: job header \"[Job ]\" has no name\n"
             "search.conf:15: warning: job \"a\" is defined again; a run reads this section "
             "only because the one at line 2 has errors\n"
             // The last line has no line end: the explanation begins a line.
             "Error at line 17:\nParams\n"
             "search.conf:17: error: key \"Params\" has no value\n"
             "Checked 3 jobs and 3 steps: 7 errors, 1 warning.\n",
         2);
  EXPECT_FALSE(dir_.Exists("calls.log"));
}

TEST_F(OperatorTest, CheckOfACleanFileSaysSo) {
  Config(kNightly);
  Expect(Run({"--check"}), std::string(kBanner) + "Checked 2 jobs and 3 steps: no errors.\n", 0);
  Config("[Job one]\n[Index]\n");
  Expect(Run({"--check", "one"}), std::string(kBanner) + "Checked 1 job and 1 step: no errors.\n",
         0);
  Config("# nothing here\n");
  Expect(Run({"--check"}), std::string(kBanner) + "Checked 0 jobs and 0 steps: no errors.\n", 0);
}

TEST_F(OperatorTest, CheckWithAJobNameReportsItWhenMissing) {
  Config(kNightly);
  Expect(
      Run({"--check", "monthly"}),
      std::string(kBanner) +
          "Job \"monthly\" not found in your config file.\nChecked 2 jobs and 3 steps: 1 error.\n",
      2);
  Expect(Run({"--check", "--config=absent"}),
         std::string(kBanner) + "Config file [absent] not found.\n", 2);
  mkdir(dir_.File("conf.d").c_str(), 0755);
  Expect(Run({"--check", "--config=conf.d"}),
         std::string(kBanner) + "Config file [conf.d] could not be read: Is a directory\n", 2);
}

TEST_F(OperatorTest, CheckReportsTheLineNumbersOfARealRun) {
  // Each job holds one error; a long comment and a long setting make the
  // counted lines differ from the lines an editor shows.
  const std::string config = "#" + std::string(600, 'c') +
                             "\n"
                             "[Job a]\n[Index]\nURL " +
                             std::string(260, 'u') +
                             "\n"
                             "[Job b]\n# only a comment\n[Index]\n"
                             "[Job c]\n[Runner]\nFilename x\n\n"
                             "[Job d]\n[Index]\nSleep";
  Config(config);
  const TRun check = Run({"--check"});
  EXPECT_EQ(2, check.status);
  for (const char* job : {"a", "b", "c", "d"}) {
    SCOPED_TRACE(job);
    const TRun run = Run({job});
    EXPECT_EQ(2, run.status);
    const std::string message = run.out.substr(std::string(kBanner).size());
    ASSERT_THAT(message, testing::StartsWith("Error at line "));
    EXPECT_THAT(check.out, testing::HasSubstr(message));
  }
  EXPECT_THAT(check.out, testing::EndsWith("Checked 4 jobs and 4 steps: 4 errors.\n"));
}

TEST_F(OperatorTest, ListPrintsEachJobNameOnceInFileOrder) {
  Config(
      "[Job weekly]\n[Index]\n[Job nightly]\n[Job ]\n[Job broken\n[Job weekly]\n"
      "[job lower]\n[Job  spaced]\n[Job last]");
  Expect(Run({"--list"}), "weekly\nnightly\n spaced\nlast\n", 0);
  Expect(Run({"--list", "ignored-job-name"}), "weekly\nnightly\n spaced\nlast\n", 0);
  Config("[Job other]\n", "other.conf");
  Expect(Run({"--config=other.conf", "--list"}), "other\n", 0);
  Expect(Run({"--list", "--config=absent"}), "Config file [absent] not found.\n", 2);
}

TEST_F(OperatorTest, HelpAndVersionNeedNoJobName) {
  const TRun help = Run({"--help"});
  EXPECT_EQ(0, help.status);
  EXPECT_EQ("", help.err);
  EXPECT_THAT(help.out,
              testing::StartsWith("Use: velmorjob [--config=filename] [options] Jobname\n"));
  for (const char* option : {"--config=filename",
                             "--dry-run",
                             "--verbose",
                             "--quiet",
                             "--timeout=DURATION",
                             "--kill-after=DURATION",
                             "--job-timeout=DURATION",
                             "--retries=N",
                             "--retry-delay=DURATION",
                             "--retry-on=LIST",
                             "--from-step=N",
                             "--exit-on-error",
                             "--lock[=FILE]",
                             "--lock-wait=DURATION",
                             "--report=FILE",
                             "--metrics=FILE",
                             "--keep-output=SIZE",
                             "--on-start=COMMAND",
                             "--on-success=COMMAND",
                             "--on-failure=COMMAND",
                             "--check",
                             "--list",
                             "--help",
                             "--version"}) {
    EXPECT_THAT(help.out, testing::HasSubstr("\n  " + std::string(option) + " ")) << option;
  }
  // Every line fits a terminal of 80 columns.
  for (const std::string& line : Lines(help.out)) EXPECT_LT(line.size(), 80u) << line;
  const std::string version = kBanner + BuildLine();
  Expect(Run({"--version"}), version, 0);
  Expect(Run({"nightly", "--version"}), version, 0);
  // When several are given: --help, then --version, then --list, then --check.
  Config(kNightly);
  Expect(Run({"--list", "--help"}), help.out, 0);
  Expect(Run({"--list", "--version"}), version, 0);
  Expect(Run({"--check", "--list"}), "nightly\nweekly\n", 0);
  EXPECT_FALSE(dir_.Exists("calls.log"));
}

TEST_F(OperatorTest, CheckStartsEachJobWithoutAStep) {
  // Job a ends with a step; the setting right after job b's header belongs
  // to no step of b.
  Config("[Job a]\n[Index]\n[Job b]\nMaxFiles 5\n[Index]\n");
  const TRun run = Run({"--check"});
  EXPECT_EQ(2, run.status);
  EXPECT_THAT(run.out, testing::HasSubstr("Error at line 4:\nMaxFiles 5\n"));
}

TEST_F(OperatorTest, CheckReadsNoSettingAfterAMalformedHeader) {
  // The malformed header ends job a: the setting after it is no one's.
  Config("[Job a]\n[Index]\n[Job \nBogus 5\n");
  const TRun run = Run({"--check"});
  EXPECT_EQ(2, run.status);
  EXPECT_THAT(run.out, testing::HasSubstr("Error at line 3:\n[Job \n"));
  EXPECT_THAT(run.out, testing::Not(testing::HasSubstr("Bogus")));
}

TEST_F(OperatorTest, ListTellsJobsApartByNameNotByLine) {
  Config("[Job a]\n[Job a] old\n[Job b]\n[Job a]\n");
  Expect(Run({"--list"}), "a\nb\n", 0);
}

}  // namespace

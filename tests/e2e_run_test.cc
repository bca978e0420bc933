// End-to-end runs of the built program: lookup, job reading, translation,
// step runs, messages and exit statuses.

#include <cstdlib>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "e2e_harness.h"

namespace {

class RunTest : public E2eTest {
 protected:
  // Like Expect, for a run whose step died of a signal: the shell that ran the
  // step may report that on the standard error it shares with us.
  void ExpectAfterSignal(const TRun& run, const std::string& out, int status) {
    EXPECT_EQ(out, run.out);
    EXPECT_EQ(status, run.status);
    EXPECT_THAT(run.err, testing::MatchesRegex("(|Terminated\n|Quit( \\(core dumped\\))?\n)"));
  }
};

TEST_F(RunTest, RunsTheJobsStepsInOrderWithTheirOptions) {
  Config(kNightly);
  Expect(Run({"nightly"}), kBanner, 0);
  EXPECT_EQ("indexer [--maxfiles=500] [--charset=3] [--statistic=1]\nrunner [--program=report]\n",
            Calls());
}

TEST_F(RunTest, NoArgumentsPrintsTheUsage) {
  Config(kNightly);
  Expect(Run({}),
         std::string(kBanner) +
             "Use: velmorjob [--config=filename] Jobname\n See manual for details.\n",
         1);
  EXPECT_EQ("", Calls());
}

TEST_F(RunTest, CommandLineCases) {
  Config(kNightly);
  Config("[Job other]\n[Runner]\nFilename other\n", "other.conf");
  const struct {
    std::vector<std::string> args;
    std::string out;
    int status;
    std::string calls;
  } cases[] = {
      {{"--config=other.conf"}, "Job name has not been specified", 1, ""},
      {{"-v", "-whatever"}, "Job name has not been specified", 1, ""},
      {{"--", "weekly"}, "", 0, "indexer [--maxfiles=9]\n"},
      {{"--config=", "nightly"}, "Config file [] not found.\n", 2, ""},
      {{"--config=absent.conf", "nightly"}, "Config file [absent.conf] not found.\n", 2, ""},
      {{"-v", "weekly"}, "", 0, "indexer [--maxfiles=9]\n"},
      {{"nightly", "weekly"}, "", 0, "indexer [--maxfiles=9]\n"},
      {{"other", "--config=other.conf"}, "", 0, "runner [--program=other]\n"},
      {{""}, "Job \"\" not found in your config file.\n", 2, ""},
      {{"night"}, "Job \"night\" not found in your config file.\n", 2, ""},
      {{"Nightly"}, "Job \"Nightly\" not found in your config file.\n", 2, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    dir_.Write("calls.log", "");
    Expect(Run(c.args), kBanner + c.out, c.status);
    EXPECT_EQ(c.calls, Calls());
  }
}

TEST_F(RunTest, UnknownOptionIsAnErrorAndNothingIsReadOrRun) {
  Config(kNightly);
  const std::string usage =
      "Use: velmorjob [--config=filename] Jobname\n See manual for details.\n";
  const struct {
    std::vector<std::string> args;
    std::string told;
  } cases[] = {
      {{"--dryrun", "nightly"}, "--dryrun"},
      {{"--config", "search.conf", "nightly"}, "--config"},
      {{"nightly", "--Verbose"}, "--Verbose"},
      // Even beside the options that need no job, and whatever the order.
      {{"--list", "--lsit"}, "--lsit"},
      {{"--help", "--x"}, "--x"},
      // An unreadable file is not even opened.
      {{"--config=absent", "--bogus", "nightly"}, "--bogus"},
      // The name of an option that takes a value, with more after it, is
      // not that option.
      {{"--reports=r.json", "nightly"}, "--reports=r.json"},
      {{"--timeouts=5", "nightly"}, "--timeouts=5"},
      {{"--lockfile", "nightly"}, "--lockfile"},
      {{"--on-starts=x", "nightly"}, "--on-starts=x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    Expect(Run(c.args), kBanner + "Unknown option \"" + c.told + "\"\n" + usage, 1);
  }
  // A dry run tells it on standard error: its output goes to a shell.
  Expect(Run({"--dry-run", "--checkk", "nightly"}), "",
         kBanner + "Unknown option \"--checkk\"\n" + usage, 1);
  EXPECT_FALSE(dir_.Exists("calls.log"));
  EXPECT_FALSE(dir_.Exists("=r.json"));
}

TEST_F(RunTest, MalformedJobHeadersAreReportedAndScanningGoesOn) {
  Config(
      "# comment\n"
      "[Job ]\n"
      "[Job broken\n"
      "[Job other]\n"
      "[Index]\n"
      "[Job nightly]\n"
      "[Index]\n"
      "MaxFiles 5\n");
  Expect(Run({"nightly"}),
         std::string(kBanner) + "Error at line 2:\n[Job ]\nError at line 3:\n[Job broken\n", 2);
  EXPECT_EQ("indexer [--maxfiles=5]\n", Calls());
  // A malformed last header, with and without its line end, is reported
  // once: the read that finds the end of the file holds no line.
  for (const char* last : {"[Job \n", "[Job "}) {
    SCOPED_TRACE(last);
    Config(std::string("[Job other]\n") + last);
    Expect(Run({"nightly"}),
           std::string(kBanner) + "Error at line 2:\n" + last +
               "Job \"nightly\" not found in your config file.\n",
           2);
  }
}

TEST_F(RunTest, LinesThatAreNotJobHeadersAreNotFound) {
  Config(
      "[job nightly]\n[Index]\n [Job nightly]\n[Index]\n[Job\tnightly]\n[Index]\n[Job nightly "
      "]\n[Index]\n");
  Expect(Run({"nightly"}),
         std::string(kBanner) + "Job \"nightly\" not found in your config file.\n", 2);
  EXPECT_EQ("", Calls());
}

TEST_F(RunTest, CommentSignInsideAHeaderNameMakesItMalformed) {
  Config("[Job night#ly]\n[Index]\n");
  Expect(Run({"night#ly"}),
         std::string(kBanner) +
             "Error at line 1:\n[Job nightJob \"night#ly\" not found in your config file.\n",
         2);
}

TEST_F(RunTest, JobNameWithABracketIsNeverFound) {
  Config("[Job a]b]\n[Index]\n");
  Expect(Run({"a]b"}), std::string(kBanner) + "Job \"a]b\" not found in your config file.\n", 2);
  EXPECT_EQ("", Calls());
}

TEST_F(RunTest, OnlyTheFirstCleanSectionOfAJobRuns) {
  Config("[Job nightly]\n[Index]\nMaxFiles 1\n[Job nightly]\n[Index]\nMaxFiles 2\n");
  Expect(Run({"nightly"}), kBanner, 0);
  EXPECT_EQ("indexer [--maxfiles=1]\n", Calls());
}

TEST_F(RunTest, ErrorInTheFirstSectionHandsTheSecondToTheJobReader) {
  Config(
      "[Job nightly]\n"
      "[Index]\n"
      "Bogus 1\n"
      "[Job ]\n"
      "[Job nightly]\n"
      "[Runner]\n"
      "Filename second\n");
  Expect(Run({"nightly"}),
         std::string(kBanner) + "Error at line 3:\nBogus 1\nError at line 4:\n[Job ]\n", 2);
  EXPECT_EQ("runner [--program=second]\n", Calls());
}

TEST_F(RunTest, JobsWithoutStepsRunNothing) {
  for (const char* config :
       {"[Job nightly]", "[Job nightly]\n", "[Job nightly]\n[Job other]\n[Index]\n"}) {
    SCOPED_TRACE(config);
    Config(config);
    Expect(Run({"nightly"}), kBanner, 0);
    EXPECT_EQ("", Calls());
  }
}

TEST_F(RunTest, BadLinesInTheSectionAreReportedAndNothingRuns) {
  const struct {
    const char* what;
    std::string section;  // follows "[Job nightly]\n" on line 1
    std::string message;
  } cases[] = {
      {"empty line after the header", "\n[Index]\n", "Error at line 2:\n\n"},
      {"comment-only line after the header", "# note\n[Index]\n", "Error at line 2:\n"},
      {"setting before the first step", "MaxFiles 5\n[Index]\n", "Error at line 2:\nMaxFiles 5\n"},
      {"empty line before the next job", "[Index]\nMaxFiles 5\n\n[Job x]\n",
       "Error at line 4:\n\n"},
      {"blank line inside a step", "[Index]\n \t\nMaxFiles 5\n", "Error at line 3:\n \t\n"},
      {"bad setting at the end", "[Index]\nMaxFiles 5\n[Runner]\nFilename r\nUrl x\n",
       "Error at line 6:\nUrl x\n"},
      {"setting of the other step kind", "[Runner]\nMaxFiles 5\n",
       "Error at line 3:\nMaxFiles 5\n"},
      {"lower-case key", "[Index]\nmaxfiles 5\n", "Error at line 3:\nmaxfiles 5\n"},
      {"key without value", "[Index]\nMaxFiles   # none\n", "Error at line 3:\nMaxFiles   "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Config("[Job nightly]\n" + c.section);
    Expect(Run({"nightly"}), kBanner + c.message, 2);
    EXPECT_EQ("", Calls());
  }
}

TEST_F(RunTest, BracketLinesThatNameNoStepArePassedOver) {
  Config(
      "[Job nightly]\n[Index]\nMaxFiles 5\n[job x]\n[Job]\n[index]\nSleep 1\n[Indexer]\nSleep 2\n");
  Expect(Run({"nightly"}), kBanner, 0);
  EXPECT_EQ("indexer [--maxfiles=5] [--sleep=1]\nindexer [--sleep=2]\n", Calls());
}

TEST_F(RunTest, EachStepHeaderIsAStepOfItsOwn) {
  Config(
      "[Job nightly]\n[Index]\nMaxFiles 1\n[Runner]\nFilename a\n[Index]\nMaxFiles 2\n[Runner]\n");
  Expect(Run({"nightly"}), kBanner, 0);
  EXPECT_EQ("indexer [--maxfiles=1]\nrunner [--program=a]\nindexer [--maxfiles=2]\nrunner\n",
            Calls());
}

TEST_F(RunTest, MalformedHeaderEndsTheSectionBeforeTheLinesAfterIt) {
  // Read as a setting of the Index step, the line after the malformed
  // header would change the indexer's options.
  Config("[Job nightly]\n[Index]\nMaxFiles 5\n[Job \nSleep 1\n");
  Expect(Run({"nightly"}), kBanner, 0);
  EXPECT_EQ("indexer [--maxfiles=5]\n", Calls());
}

TEST_F(RunTest, MalformedHeaderOnTheLastLineIsReportedOnce) {
  Config("[Job other]\n[Index]\n[Job ");
  Expect(Run({"nightly"}),
         kBanner + "Error at line 3:\n[Job Job \"nightly\" not found in your config file.\n", 2);
}

TEST_F(RunTest, MalformedHeaderAfterTheSectionEndsItSilently) {
  Config("[Job nightly]\n[Index]\nMaxFiles 5\n[Job \n[Job ]\n");
  Expect(Run({"nightly"}), kBanner, 0);
  EXPECT_EQ("indexer [--maxfiles=5]\n", Calls());
}

TEST_F(RunTest, LongLinesArriveInPiecesThatAreCountedAsLines) {
  // Line 2 is 301 characters: a piece of 254 and one of 48, so the lines
  // after it are numbered one higher than in an editor.
  Config("[Job other]\n#" + std::string(300, 'c') + "\n[Job nightly]\n[Index]\nBogus\n");
  Expect(Run({"nightly"}), std::string(kBanner) + "Error at line 6:\nBogus\n", 2);

  // The second piece of a long setting is a line of its own.
  Config("[Job nightly]\n[Index]\nURL " + std::string(296, 'u') + "\n");
  Expect(Run({"nightly"}), kBanner + ("Error at line 4:\n" + std::string(46, 'u') + "\n"), 2);
  EXPECT_EQ("", Calls());
}

TEST_F(RunTest, LastLineWithoutALineEndCounts) {
  const struct {
    const char* what;
    const char* config;
    std::string out;
    int status;
    const char* calls;
  } cases[] = {
      {"setting", "[Job nightly]\n[Index]\nMaxFiles 5", "", 0, "indexer [--maxfiles=5]\n"},
      {"step header", "[Job nightly]\n[Index]\nMaxFiles 5\n[Runner]", "", 0,
       "indexer [--maxfiles=5]\nrunner\n"},
      {"bad line", "[Job nightly]\n[Index]\nBogus", "Error at line 3:\nBogus", 2, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    dir_.Write("calls.log", "");
    Config(c.config);
    Expect(Run({"nightly"}), kBanner + c.out, c.status);
    EXPECT_EQ(c.calls, Calls());
  }
}

TEST_F(RunTest, OptionTextMayReach2047CharactersButNotPassThem) {
  // Eight settings of 249 characters each, then one that brings the option
  // text to exactly 2047 or one past it.
  std::string settings;
  for (int i = 0; i < 8; ++i) settings += "Sleep " + std::string(240, 's') + "\n";
  Config("[Job nightly]\n[Index]\n" + settings + "Sleep " + std::string(46, 'e') + "\n");
  Expect(Run({"nightly"}), kBanner, 0);
  EXPECT_EQ(2047u + std::string("indexer\n").size() + 9 * 2, Calls().size());

  dir_.Write("calls.log", "");
  Config("[Job nightly]\n[Index]\n" + settings + "Sleep " + std::string(47, 'e') + "\n");
  Expect(Run({"nightly"}), kBanner + ("Error at line 11:\nSleep " + std::string(47, 'e') + "\n"),
         2);
  EXPECT_EQ("", Calls());
}

TEST_F(RunTest, ExitStatusTellsHowTheStepsEnded) {
  const struct {
    const char* what;
    const char* indexer;  // body of the indexer stub
    const char* extra;    // lines before the job
    std::string out;
    int status;
  } cases[] = {
      {"all steps succeed", "", "", "", 0},
      {"a step fails", "exit 4", "", "", 3},
      {"a step is killed", "kill -TERM $$", "", "", 3},
      {"a step fails after a configuration error", "exit 4", "[Job ]\n",
       "Error at line 1:\n[Job ]\n", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    dir_.Write("calls.log", "");
    Stub("indexer", c.indexer);
    Config(std::string(c.extra) + "[Job nightly]\n[Index]\n[Runner]\n");
    ExpectAfterSignal(Run({"nightly"}), kBanner + c.out, c.status);
    // The steps after a failed one still run.
    EXPECT_EQ("indexer\nrunner\n", Calls());
  }
}

TEST_F(RunTest, MissingStepProgramIsAFailedStep) {
  Config("[Job nightly]\n[Index]\n[Runner]\n");
  unlink(dir_.File("indexer").c_str());
  const TRun run = Run({"nightly"});
  EXPECT_EQ(kBanner, run.out);
  EXPECT_EQ(3, run.status);
  EXPECT_EQ("runner\n", Calls());
}

TEST_F(RunTest, InterruptedStepStopsTheJob) {
  const struct {
    const char* indexer;
    int status;
  } cases[] = {
      {"kill -INT $$", 130},
      {"kill -QUIT $$", 131},
      {"exit 130", 130},
      {"exit 131", 131},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.indexer);
    dir_.Write("calls.log", "");
    Stub("indexer", c.indexer);
    Config("[Job nightly]\n[Index]\n[Runner]\n");
    ExpectAfterSignal(Run({"nightly"}), kBanner, c.status);
    EXPECT_EQ("indexer\n", Calls());
  }
}

TEST_F(RunTest, ValuesReachTheStepExactlyAsWrittenAndRunNothingElse) {
  Config(
      "[Job nightly]\n"
      "[Index]\n"
      "URL http://host/search?q=1&page=2\n"
      "Exclude $(touch${IFS}made1)\n"
      "Exclude `touch${IFS}made2`\n"
      "Exclude ;touch${IFS}made3;\n"
      "Exclude |touch${IFS}made4\n"
      "Exclude &&touch${IFS}made5\n"
      "Exclude >made6\n"
      "Exclude <calls.log\n"
      "Exclude *\n"
      "Exclude ~\n"
      "Exclude $HOME\n"
      "Exclude it's\n"
      "Exclude \"q\"\\\n"
      "[Runner]\n"
      "Params $(touch${IFS}made7)\n");
  Expect(Run({"nightly"}), kBanner, 0);
  EXPECT_EQ(
      "indexer [--url=http://host/search?q=1&page=2] [--exclude=$(touch${IFS}made1)] "
      "[--exclude=`touch${IFS}made2`] [--exclude=;touch${IFS}made3;] [--exclude=|touch${IFS}made4] "
      "[--exclude=&&touch${IFS}made5] [--exclude=>made6] [--exclude=<calls.log] [--exclude=*] "
      "[--exclude=~] [--exclude=$HOME] [--exclude=it's] [--exclude=\"q\"\\]\n"
      "runner [--params=$(touch${IFS}made7)]\n",
      Calls());
  for (const char* made : {"made1", "made2", "made3", "made4", "made5", "made6", "made7"}) {
    EXPECT_FALSE(dir_.Exists(made)) << made;
  }
}

TEST_F(RunTest, OwnOutputComesBeforeTheStepsOutput) {
  Stub("indexer", "echo indexer speaks");
  Stub("runner", "echo runner speaks");
  Config("[Job ]\n[Job nightly]\n[Index]\n[Runner]\n");
  Expect(Run({"nightly"}),
         std::string(kBanner) + "Error at line 1:\n[Job ]\nindexer speaks\nrunner speaks\n", 2);
}

TEST_F(RunTest, StepsGetTheEnvironmentVelmorjobWasGiven) {
  // A variable of the caller's, and PATH, reach each step unchanged; and
  // no variable of the hooks' does.
  struct TVariable {
    explicit TVariable(const char* value) { setenv("VELMORJOB_TEST_VALUE", value, 1); }
    ~TVariable() { unsetenv("VELMORJOB_TEST_VALUE"); }
  } variable("a b=c");
  Stub("indexer", "echo \"[$VELMORJOB_TEST_VALUE] [${VELMORJOB_JOB-unset}]\" >> seen");
  Stub("runner", "echo \"[$VELMORJOB_TEST_VALUE] [$PATH]\" >> seen");
  Config(kNightly);
  Expect(Run({"nightly"}), kBanner, 0);
  EXPECT_EQ("[a b=c] [unset]\n[a b=c] [" + std::string(std::getenv("PATH")) + "]\n",
            dir_.Read("seen"));
}

TEST_F(RunTest, UnreadableConfigurationEndsCleanly) {
  dir_.Write("calls.log", "");
  mkdir(dir_.File("conf.d").c_str(), 0755);
  Expect(Run({"--config=conf.d", "nightly"}),
         std::string(kBanner) + "Config file [conf.d] could not be read: Is a directory\n", 2);
  EXPECT_EQ("", Calls());
}

}  // namespace

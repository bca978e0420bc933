// End-to-end runs of --check over files with one kind of mistake each: the
// reason or warning it prints, and that a run and a dry run of the same
// file print what they always did, with the line numbers --check gives.

#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "e2e_harness.h"

namespace {

using CheckTest = E2eTest;

struct TReported {
  std::string number;   // N of "Error at line N:"
  std::string message;  // the message with the line, as printed
};

// The "Error at line N:" messages in a run's output, each with the line
// printed after it: up to the next message or the end of the output.
std::vector<TReported> Reported(const std::string& out) {
  static const std::string kError = "Error at line ";
  std::vector<TReported> reported;
  std::size_t at = out.find(kError);
  while (at != std::string::npos) {
    const std::size_t next = out.find(kError, at + 1);
    const std::size_t number = at + kError.size();
    reported.push_back({out.substr(number, out.find(':', number) - number),
                        out.substr(at, next == std::string::npos ? next : next - at)});
    at = next;
  }
  return reported;
}

struct TCheckCase {
  const char* what;
  std::string config;
  std::string check;  // what --check prints after the banner
  int check_status;
  std::string run;  // what a run of the job a prints after the banner
  int status;       // of the run and of the dry run
  // What --dry-run a prints: the commands when the job holds no error, and
  // otherwise, on standard error, the messages.
  std::string dry;
};

// Settings whose options come to 2010 characters, and one more that would
// take them to 2264.
std::string NearlyFullStep() {
  const std::string v(240, 'v');
  return "URL " + v + "\nExclude " + v + "\nLanguage " + v + "\nStartWord " + v + "\nAFrom " + v +
         "\nATo " + v + "\nPath " + v + "\nProxyServer " + v + "\n";
}

std::vector<TCheckCase> Cases() {
  const std::string long_setting = "ProxyLogin " + std::string(240, 'v') + "\n";
  return {
      // Errors, each with the reason that follows it.
      {"unknown key that resembles a key of the step", "[Job a]\n[Index]\nmaxfiles 500\n",
       R"(Error at line 3:
maxfiles 500
search.conf:3: error: unknown key "maxfiles" for an Index step; did you mean "MaxFiles"?
Checked 1 job and 1 step: 1 error.
)",
       2, "Error at line 3:\nmaxfiles 500\n", 2, "Error at line 3:\nmaxfiles 500\n"},
      {"unknown key", "[Job a]\n[Runner]\nProgram x\n",
       R"(Error at line 3:
Program x
search.conf:3: error: unknown key "Program" for a Runner step
Checked 1 job and 1 step: 1 error.
)",
       2, "Error at line 3:\nProgram x\n", 2, "Error at line 3:\nProgram x\n"},
      {"key of the other step kind", "[Job a]\n[Index]\nFilename report\n",
       R"(Error at line 3:
Filename report
search.conf:3: error: "Filename" is a Runner setting, not an Index setting
Checked 1 job and 1 step: 1 error.
)",
       2, "Error at line 3:\nFilename report\n", 2, "Error at line 3:\nFilename report\n"},
      {"value not accepted, with the one meant", "[Job a]\n[Index]\nShowURL yes\n",
       R"(Error at line 3:
ShowURL yes
search.conf:3: error: "ShowURL" takes Yes or No, not "yes"; did you mean "Yes"?
Checked 1 job and 1 step: 1 error.
)",
       2, "Error at line 3:\nShowURL yes\n", 2, "Error at line 3:\nShowURL yes\n"},
      {"value not accepted", "[Job a]\n[Index]\nStatistic Maybe\n",
       R"(Error at line 3:
Statistic Maybe
search.conf:3: error: "Statistic" takes No, Append or Overwrite, not "Maybe"
Checked 1 job and 1 step: 1 error.
)",
       2, "Error at line 3:\nStatistic Maybe\n", 2, "Error at line 3:\nStatistic Maybe\n"},
      {"value missing", "[Job a]\n[Index]\nMaxFiles\n",
       R"(Error at line 3:
MaxFiles
search.conf:3: error: key "MaxFiles" has no value
Checked 1 job and 1 step: 1 error.
)",
       2, "Error at line 3:\nMaxFiles\n", 2, "Error at line 3:\nMaxFiles\n"},
      // The line has no line end, so one comes before the reason.
      {"value missing on the last line", "[Job a]\n[Index]\nSleep",
       R"(Error at line 3:
Sleep
search.conf:3: error: key "Sleep" has no value
Checked 1 job and 1 step: 1 error.
)",
       2, "Error at line 3:\nSleep", 2, "Error at line 3:\nSleep"},
      {"value cut off by a comment", "[Job a]\n[Index]\nSleep#5\n",
       R"(Error at line 3:
Sleep
search.conf:3: error: key "Sleep" has no value; a "#" starts a comment, even right after a key or in a value
Checked 1 job and 1 step: 1 error.
)",
       2, "Error at line 3:\nSleep", 2, "Error at line 3:\nSleep"},
      {"setting before the first step header", "[Job a]\nMaxFiles 1\n[Index]\n",
       R"(Error at line 2:
MaxFiles 1
search.conf:2: error: setting before the first step header of job "a"; a setting belongs to the [Index] or [Runner] header above it
Checked 1 job and 1 step: 1 error.
)",
       2, "Error at line 2:\nMaxFiles 1\n", 2, "Error at line 2:\nMaxFiles 1\n"},
      {"empty line before the first step header", "[Job a]\n\n[Index]\n",
       R"(Error at line 2:

search.conf:2: error: empty line in the section of job "a", before its first step header: empty lines end nothing and are not allowed there; a section runs to the next line that begins "[Job "
Checked 1 job and 1 step: 1 error.
)",
       2, "Error at line 2:\n\n", 2, "Error at line 2:\n\n"},
      {"line of blanks in a step", "[Job a]\n[Index]\n \t\n",
       "Error at line 3:\n \t\n"
       R"(search.conf:3: error: line of blanks in the section of job "a": empty lines end nothing and are not allowed there; a section runs to the next line that begins "[Job "
Checked 1 job and 1 step: 1 error.
)",
       2, "Error at line 3:\n \t\n", 2, "Error at line 3:\n \t\n"},
      {"empty line before the next job", "[Job a]\n[Index]\nMaxFiles 5\n\n[Job b]\n[Index]\n",
       R"(Error at line 4:

search.conf:4: error: empty line in the section of job "a": empty lines end nothing and are not allowed there; a section runs to the next line that begins "[Job "
Checked 2 jobs and 2 steps: 1 error.
)",
       2, "Error at line 4:\n\n", 2, "Error at line 4:\n\n"},
      {"line holding only a comment", "[Job a]\n[Index]\n# five files\nMaxFiles 5\n",
       R"(Error at line 3:
search.conf:3: error: line holding only a comment in the section of job "a": it reads as an empty line, and empty lines end nothing and are not allowed there; a section runs to the next line that begins "[Job "
Checked 1 job and 1 step: 1 error.
)",
       2, "Error at line 3:\n", 2, "Error at line 3:\n"},
      {"options past 2047 characters", "[Job a]\n[Index]\n" + NearlyFullStep() + long_setting,
       "Error at line 11:\n" + long_setting +
           "search.conf:11: error: with this setting the options of this Index step would be "
           "2264 characters long; a step's options may total at most 2047\n"
           "Checked 1 job and 1 step: 1 error.\n",
       2, "Error at line 11:\n" + long_setting, 2, "Error at line 11:\n" + long_setting},
      {"second piece of a long line", "[Job a]\n[Index]\nURL " + std::string(260, 'u') + "\n",
       R"(Error at line 4:
uuuuuuuuuu
search.conf:4: error: this is piece 2 of a line longer than 254 bytes: long lines are read in pieces of 254 bytes, each read as a line of its own
Checked 1 job and 1 step: 1 error.
)",
       2, "Error at line 4:\nuuuuuuuuuu\n", 2, "Error at line 4:\nuuuuuuuuuu\n"},
      // Malformed job headers are reported by a run too, which then goes on
      // to run the job.
      {"job header without a name", "[Job ]\n[Job a]\n[Index]\nMaxFiles 5\n",
       R"(Error at line 1:
[Job ]
search.conf:1: error: job header "[Job ]" has no name
Checked 1 job and 1 step: 1 error.
)",
       2, "Error at line 1:\n[Job ]\n", 2, "Error at line 1:\n[Job ]\n"},
      {"job header without a closing bracket", "[Job a\n[Job a]\n[Index]\n",
       R"(Error at line 1:
[Job a
search.conf:1: error: job header "[Job a" has no closing "]"
Checked 1 job and 1 step: 1 error.
)",
       2, "Error at line 1:\n[Job a\n", 2, "Error at line 1:\n[Job a\n"},
      {"job header cut by a comment", "[Job #1]\n[Job a]\n[Index]\n",
       R"(Error at line 1:
[Job 
search.conf:1: error: job header "[Job " has no closing "]"; a "#" starts a comment, so the header ends before it
Checked 1 job and 1 step: 1 error.
)",
       2, "Error at line 1:\n[Job ", 2, "Error at line 1:\n[Job "},

      // Warnings: the job runs as it did.
      {"words after the value", "[Job a]\n[Runner]\nFilename a b c\n",
       R"(search.conf:3: warning: words after the value "a" are ignored: "b c"
Checked 1 job and 1 step: no errors, 1 warning.
)",
       0, "", 0, "./runner  --program=a\n"},
      {"quote marks around words", "[Job a]\n[Runner]\nParams \"--x y\"\n",
       R"(search.conf:3: warning: words after the value "\"--x" are ignored: "y\""; quote marks do not group words in this file
Checked 1 job and 1 step: no errors, 1 warning.
)",
       0, "", 0, "./runner  --params='\"--x'\n"},
      {"quote mark in the value alone", "[Job a]\n[Runner]\nFilename \"my report\n",
       R"(search.conf:3: warning: words after the value "\"my" are ignored: "report"; quote marks do not group words in this file
Checked 1 job and 1 step: no errors, 1 warning.
)",
       0, "", 0, "./runner  --program='\"my'\n"},
      {"job defined again", "[Job a]\n[Index]\n[Job a]\n[Runner]\n",
       R"(search.conf:3: warning: job "a" is defined again; a run uses its section at line 1 and never reads this one
Checked 2 jobs and 2 steps: no errors, 1 warning.
)",
       0, "", 0, "./indexer \n"},
      {"job defined again after a section with an error",
       "[Job a]\n[Index]\nBogus 1\n[Job a]\n[Runner]\n",
       R"(Error at line 3:
Bogus 1
search.conf:3: error: unknown key "Bogus" for an Index step
search.conf:4: warning: job "a" is defined again; a run reads this section only because the one at line 1 has errors
Checked 2 jobs and 2 steps: 1 error, 1 warning.
)",
       2, "Error at line 3:\nBogus 1\n", 2, "Error at line 3:\nBogus 1\n"},
      {"text after the step name", "[Job a]\n[Indexer]\nMaxFiles 5\n[Runner] main\n",
       R"(search.conf:2: warning: step header "[Indexer]" is read as an Index step; what follows the step name, "er]", is ignored
search.conf:4: warning: step header "[Runner] main" is read as a Runner step; what follows the step name, "] main", is ignored
Checked 1 job and 2 steps: no errors, 2 warnings.
)",
       0, "", 0, "./indexer  --maxfiles=5\n./runner \n"},
      {"key set twice in one step",
       "[Job a]\n[Index]\nMaxFiles 5\nURL x\nMaxFiles 6\n[Index]\nMaxFiles 7\n",
       R"(search.conf:5: warning: key "MaxFiles" is set again in this step (first at line 3); both options are passed
Checked 1 job and 2 steps: no errors, 1 warning.
)",
       0, "", 0, "./indexer  --maxfiles=5 --url=x --maxfiles=6\n./indexer  --maxfiles=7\n"},
      {"bracketed line that names no step kind", "[Job a]\n[Index]\nMaxFiles 5\n[index]\nSleep 1\n",
       R"(search.conf:4: warning: "[index]" names no step kind and is passed over; the settings after it go to the Index step at line 2; did you mean "[Index]"?
Checked 1 job and 1 step: no errors, 1 warning.
)",
       0, "", 0, "./indexer  --maxfiles=5 --sleep=1\n"},
      {"job header in the wrong case", "[Job a]\n[Runner]\n[job b]\n[Index]\nURL x\n",
       R"(search.conf:3: warning: "[job b]" is no job header, which begins with exactly "[Job ", so it does not end the section; it names no step kind either and is passed over; the settings after it go to the Runner step at line 2
Checked 1 job and 2 steps: no errors, 1 warning.
)",
       0, "", 0, "./runner \n./indexer  --url=x\n"},

      // Sections without steps: a run of the job runs nothing. The warning
      // comes when the section ends, after what is said of its lines.
      {"job without steps", "[Job a]\n[Job b]\n[Index]\n",
       R"(search.conf:1: warning: job "a" has no steps; a run of it runs nothing
Checked 2 jobs and 1 step: no errors, 1 warning.
)",
       0, "", 0, ""},
      {"job without steps on the last line, without a line end", "[Job b]\n[Index]\n[Job a]",
       R"(search.conf:3: warning: job "a" has no steps; a run of it runs nothing
Checked 2 jobs and 1 step: no errors, 1 warning.
)",
       0, "", 0, ""},
      {"step on the last line, without a line end", "[Job a]\n[Runner]",
       "Checked 1 job and 1 step: no errors.\n", 0, "", 0, "./runner \n"},
      {"job whose bracketed line names no step kind", "[Job a]\n[index]\nMaxFiles 5\n",
       R"(search.conf:2: warning: "[index]" names no step kind and is passed over; did you mean "[Index]"?
Error at line 3:
MaxFiles 5
search.conf:3: error: setting before the first step header of job "a"; a setting belongs to the [Index] or [Runner] header above it
search.conf:1: warning: job "a" has no steps; a run of it runs nothing
Checked 1 job and 0 steps: 1 error, 2 warnings.
)",
       2, "Error at line 3:\nMaxFiles 5\n", 2, "Error at line 3:\nMaxFiles 5\n"},
      {"job without steps before a malformed header", "[Job a]\n[Job \n[Job b]\n[Index]\n",
       R"(search.conf:1: warning: job "a" has no steps; a run of it runs nothing
Error at line 2:
[Job 
search.conf:2: error: job header "[Job " has no closing "]"
Checked 2 jobs and 1 step: 1 error, 1 warning.
)",
       // A run stops reading at the end of the job it runs.
       2, "", 0, ""},
      {"job defined again after a section without steps", "[Job a]\n[Job a]\n[Index]\n",
       R"(search.conf:1: warning: job "a" has no steps; a run of it runs nothing
search.conf:2: warning: job "a" is defined again; a run uses its section at line 1 and never reads this one
Checked 2 jobs and 1 step: no errors, 2 warnings.
)",
       0, "", 0, ""},
      // A run never reads the second section: the job has its step.
      {"job defined again without steps", "[Job a]\n[Index]\n[Job a]\n",
       R"(search.conf:3: warning: job "a" is defined again; a run uses its section at line 1 and never reads this one
Checked 2 jobs and 1 step: no errors, 1 warning.
)",
       0, "", 0, "./indexer \n"},
      {"job defined again without steps after a section with an error",
       "[Job a]\n[Index]\nBogus 1\n[Job a]\n",
       R"(Error at line 3:
Bogus 1
search.conf:3: error: unknown key "Bogus" for an Index step
search.conf:4: warning: job "a" is defined again; a run reads this section only because the one at line 1 has errors
search.conf:4: warning: job "a" has no steps; a run of it runs nothing
Checked 2 jobs and 1 step: 1 error, 2 warnings.
)",
       2, "Error at line 3:\nBogus 1\n", 2, "Error at line 3:\nBogus 1\n"},

      // --check reads on after the error a run stops at.
      {"several mistakes in one step",
       "[Job a]\n[Index]\nMaxFiles 5 x\nMaxFiles 6\nBogus 1\nShowURL yes\n",
       R"(search.conf:3: warning: words after the value "5" are ignored: "x"
search.conf:4: warning: key "MaxFiles" is set again in this step (first at line 3); both options are passed
Error at line 5:
Bogus 1
search.conf:5: error: unknown key "Bogus" for an Index step
Error at line 6:
ShowURL yes
search.conf:6: error: "ShowURL" takes Yes or No, not "yes"; did you mean "Yes"?
Checked 1 job and 1 step: 2 errors, 2 warnings.
)",
       2, "Error at line 5:\nBogus 1\n", 2, "Error at line 5:\nBogus 1\n"},
      {"clean file", "[Job a]\n[Index]\nMaxFiles 5\n", "Checked 1 job and 1 step: no errors.\n", 0,
       "", 0, "./indexer  --maxfiles=5\n"},
  };
}

TEST_F(CheckTest, ExplainsEachMistakeWhileARunPrintsWhatItAlwaysDid) {
  for (const TCheckCase& c : Cases()) {
    SCOPED_TRACE(c.what);
    Config(c.config);
    const TRun check = Run({"--check"});
    Expect(check, kBanner + c.check, c.check_status);
    // Under a wrapper such as valgrind only --check runs: a run and a dry
    // run of these files take paths that the other tests take under it, and
    // the stages without the wrapper compare their output.
    if (Wrapped()) continue;
    const TRun run = Run({"a"});
    Expect(run, kBanner + c.run, c.status);
    if (c.status == 0) {
      Expect(Run({"--dry-run", "a"}), c.dry, c.status);
    } else {
      Expect(Run({"--dry-run", "a"}), "", c.dry, c.status);
    }
    // Every line a run reports is reported by --check under the same
    // number, and the reason follows it on a line of its own.
    for (const TReported& reported : Reported(run.out)) {
      const std::string& message = reported.message;
      const std::string line_end = message.back() == '\n' ? "" : "\n";
      EXPECT_THAT(check.out, testing::HasSubstr(message + line_end +
                                                "search.conf:" + reported.number + ": error: "))
          << message;
    }
  }
}

TEST_F(CheckTest, NamesTheFileAsItWasGiven) {
  Config("[Job a]\n[Index]\nBogus 1\nMaxFiles 5 x\n", "jobs.conf");
  Expect(Run({"--check", "--config=./jobs.conf"}),
         kBanner +
             "Error at line 3:\nBogus 1\n"
             "./jobs.conf:3: error: unknown key \"Bogus\" for an Index step\n"
             "./jobs.conf:4: warning: words after the value \"5\" are ignored: \"x\"\n"
             "Checked 1 job and 1 step: 1 error, 1 warning.\n",
         2);
}

TEST_F(CheckTest, LineNumbersCountThePiecesOfLongLinesAsARunDoes) {
  // A 600-byte comment outside any section is three lines to a run.
  Config("#" + std::string(600, 'c') + "\n[Job a]\n[Index]\n" + "Sleep 1\n" +
         std::string(300, 'x') + "\n");
  const TRun run = Run({"a"});
  EXPECT_EQ(kBanner + "Error at line 7:\n" + std::string(254, 'x'), run.out);
  const TRun check = Run({"--check"});
  EXPECT_THAT(check.out, testing::HasSubstr("Error at line 7:\n" + std::string(254, 'x') +
                                            "\nsearch.conf:7: error: key \"" +
                                            std::string(60, 'x') + "\"... has no value\n"));
  // The rest of the line is its second piece.
  EXPECT_THAT(check.out, testing::HasSubstr("Error at line 8:\n" + std::string(46, 'x') +
                                            "\nsearch.conf:8: error: this is piece 2 of a line"));
}

// Sets the file mode creation mask, which the programs the test starts
// inherit, for as long as it lives.
class TUmask {
 public:
  explicit TUmask(mode_t mask) : before_(umask(mask)) {}
  ~TUmask() { umask(before_); }
  TUmask(const TUmask&) = delete;
  TUmask& operator=(const TUmask&) = delete;

 private:
  mode_t before_;
};

const char kWritable[] =
    ": warning: writable by others: anyone who can write it can run commands as you\n";

struct TModesCase {
  const char* what;
  mode_t umask;
  mode_t config;
  mode_t dir;
  mode_t indexer;
  mode_t runner;
  std::string content;
  std::string check;  // what --check prints after the banner
};

TEST_F(CheckTest, WarnsOfFilesThatOthersCanWrite) {
  const std::string both = "[Job a]\n[Index]\n[Runner]\n";
  const std::string clean = "Checked 1 job and 2 steps: no errors.\n";
  const auto warned = [](const std::string& lines, int count) {
    return lines + "Checked 1 job and 2 steps: no errors, " + std::to_string(count) + " warning" +
           (count == 1 ? "" : "s") + ".\n";
  };
  const std::vector<TModesCase> cases = {
      {"usual modes, nothing masked", 0, 0644, 0755, 0755, 0755, both, clean},
      {"usual modes, the group's write masked", 002, 0644, 0755, 0755, 0755, both, clean},
      {"the owner's alone", 022, 0600, 0700, 0700, 0700, both, clean},
      {"file group-writable", 077, 0664, 0755, 0755, 0755, both,
       warned("search.conf" + std::string(kWritable), 1)},
      {"file world-writable", 002, 0646, 0755, 0755, 0755, both,
       warned("search.conf" + std::string(kWritable), 1)},
      {"directory group-writable", 077, 0644, 0775, 0755, 0755, both,
       warned("." + std::string(kWritable), 1)},
      {"directory world-writable", 002, 0644, 0757, 0755, 0755, both,
       warned("." + std::string(kWritable), 1)},
      // Others can put a missing program there.
      {"directory world-writable with the sticky bit", 002, 0644, 01777, 0755, 0755, both,
       warned("." + std::string(kWritable), 1)},
      {"indexer group-writable", 077, 0644, 0755, 0775, 0755, both,
       warned("./indexer" + std::string(kWritable), 1)},
      {"runner world-writable", 002, 0644, 0755, 0755, 0757, both,
       warned("./runner" + std::string(kWritable), 1)},
      {"all of them", 077, 0666, 0777, 0777, 0777, both,
       warned("search.conf" + std::string(kWritable) + "." + kWritable + "./indexer" + kWritable +
                  "./runner" + kWritable,
              4)},
      // Only the programs of the step kinds that the file uses count.
      {"runner writable, Index steps alone", 002, 0644, 0755, 0755, 0777,
       "[Job a]\n[Index]\n[Index]\n", clean},
      {"both writable, Runner steps alone", 002, 0644, 0755, 0777, 0777,
       "[Job a]\n[Runner]\n[Runner]\n", warned("./runner" + std::string(kWritable), 1)},
      // Even in a section that a run never reads: the file is edited, too.
      {"runner writable, used in a section defined again", 002, 0644, 0755, 0777, 0777,
       "[Job a]\n[Job a]\n[Runner]\n",
       "search.conf:1: warning: job \"a\" has no steps; a run of it runs nothing\n"
       "search.conf:2: warning: job \"a\" is defined again; a run uses its section at line 1 "
       "and never reads this one\n"
       "./runner" +
           std::string(kWritable) + "Checked 2 jobs and 1 step: no errors, 3 warnings.\n"},
  };
  for (const TModesCase& c : cases) {
    SCOPED_TRACE(c.what);
    const TUmask mask(c.umask);
    Config(c.content);
    ASSERT_EQ(0, chmod(dir_.File("search.conf").c_str(), c.config));
    ASSERT_EQ(0, chmod(dir_.path().c_str(), c.dir));
    ASSERT_EQ(0, chmod(dir_.File("indexer").c_str(), c.indexer));
    ASSERT_EQ(0, chmod(dir_.File("runner").c_str(), c.runner));
    Expect(Run({"--check"}), kBanner + c.check, 0);
  }
}

TEST_F(CheckTest, WarnsOfFilesAfterEveryOtherMessage) {
  const TUmask mask(002);
  Config("[Job a]\n[Index]\nBogus 1\n", "jobs.conf");
  ASSERT_EQ(0, chmod(dir_.File("jobs.conf").c_str(), 0666));
  ASSERT_EQ(0, chmod(dir_.File("indexer").c_str(), 0777));
  // The configuration file is named as it was given.
  Expect(Run({"--check", "--config=./jobs.conf", "b"}),
         kBanner +
             "Error at line 3:\nBogus 1\n"
             "./jobs.conf:3: error: unknown key \"Bogus\" for an Index step\n"
             "Job \"b\" not found in your config file.\n"
             "./jobs.conf" +
             kWritable + "./indexer" + kWritable +
             "Checked 1 job and 1 step: 2 errors, 2 warnings.\n",
         2);
  // A run says nothing of them.
  Expect(Run({"--dry-run", "--config=./jobs.conf", "a"}), "", "Error at line 3:\nBogus 1\n", 2);
}

TEST_F(CheckTest, LooksAtTheProgramThatALinkNamesAndNotAtAMissingOne) {
  const TUmask mask(0);
  ASSERT_EQ(0, chmod(dir_.path().c_str(), 0755));
  ASSERT_EQ(0, mkdir(dir_.File("bin").c_str(), 0755));
  dir_.Write("bin/indexer", "#!/bin/sh\n", true);
  dir_.Write("bin/open", "#!/bin/sh\n", true);
  ASSERT_EQ(0, chmod(dir_.File("bin/open").c_str(), 0777));
  Config("[Job a]\n[Index]\n[Runner]\n");
  ASSERT_EQ(0, unlink(dir_.File("indexer").c_str()));
  ASSERT_EQ(0, symlink("bin/indexer", dir_.File("indexer").c_str()));
  // A run would say that ./runner cannot be started.
  ASSERT_EQ(0, unlink(dir_.File("runner").c_str()));
  Expect(Run({"--check"}), kBanner + "Checked 1 job and 2 steps: no errors.\n", 0);
  ASSERT_EQ(0, unlink(dir_.File("indexer").c_str()));
  ASSERT_EQ(0, symlink("bin/open", dir_.File("indexer").c_str()));
  Expect(Run({"--check"}),
         kBanner + "./indexer" + kWritable + "Checked 1 job and 2 steps: no errors, 1 warning.\n",
         0);
}

TEST_F(CheckTest, WarnsOfFilesOwnedByAnotherUser) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can give files to another user";
  const TUmask mask(002);
  Config("[Job a]\n[Index]\n");
  ASSERT_EQ(0, chmod(dir_.path().c_str(), 0755));
  // Root's own files, as every other test has them, are trusted.
  Expect(Run({"--check"}), kBanner + "Checked 1 job and 1 step: no errors.\n", 0);
  const uid_t other = 1;
  ASSERT_EQ(0, chown(dir_.File("search.conf").c_str(), other, static_cast<gid_t>(-1)));
  ASSERT_EQ(0, chmod(dir_.File("search.conf").c_str(), 0666));
  ASSERT_EQ(0, chown(dir_.path().c_str(), other, static_cast<gid_t>(-1)));
  ASSERT_EQ(0, chown(dir_.File("indexer").c_str(), other, static_cast<gid_t>(-1)));
  ASSERT_EQ(0, chown(dir_.File("runner").c_str(), other, static_cast<gid_t>(-1)));
  const std::string owned =
      ": warning: owned by another user (uid 1): that user can run commands "
      "as you\n";
  // ./runner is no step's program here.
  Expect(Run({"--check"}),
         kBanner + "search.conf" + kWritable + "search.conf" + owned + "." + owned + "./indexer" +
             owned + "Checked 1 job and 1 step: no errors, 4 warnings.\n",
         0);
}

}  // namespace

// End-to-end runs of the options that tell someone how a run went: the
// hooks (--on-start, --on-success, --on-failure), the kept tail of each
// step's output (--keep-output) and a run that is silent unless something
// failed (--quiet).

#include <chrono>
#include <csignal>
#include <regex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "e2e_harness.h"

namespace {

using namespace std::chrono_literals;
using testing::HasSubstr;
using testing::MatchesRegex;

const std::vector<std::string> kHooks = {"--on-start=echo start >> hooks.log",
                                         "--on-success=echo success >> hooks.log",
                                         "--on-failure=echo failure >> hooks.log"};

std::vector<std::string> WithHooks(std::vector<std::string> args) {
  args.insert(args.begin(), kHooks.begin(), kHooks.end());
  return args;
}

// Every byte value, for output that must pass through unchanged.
std::string AllBytes(int times) {
  std::string bytes;
  for (int i = 0; i < times; ++i) {
    for (int c = 0; c < 256; ++c) bytes += static_cast<char>(c);
  }
  return bytes;
}

// A text as a regular expression that matches it alone.
std::string Literal(const std::string& text) {
  static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
  return std::regex_replace(text, special, R"(\$&)");
}

using NotifyTest = E2eTest;

TEST_F(NotifyTest, EachHookRunsAtItsMomentAndAtNoOther) {
  const struct {
    const char* what;
    const char* config;
    const char* indexer;
    std::string hooks;
    int status;
  } cases[] = {
      {"success", kNightly, "", "start\nsuccess\n", 0},
      {"a failed step", kNightly, "exit 1", "start\nfailure\n", 3},
      {"a bad line: nothing ran", "[Job nightly]\n[Index]\nBogus 1\n", "", "failure\n", 2},
      {"no such job", "[Job weekly]\n[Index]\n", "", "failure\n", 2},
      // Nothing ran, so there is nothing to tell.
      {"a job without steps", "[Job nightly]\n", "", "", 0},
      {"a job without steps, and another job after it", "[Job nightly]\n[Job weekly]\n[Index]\n",
       "", "", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    unlink(dir_.File("hooks.log").c_str());
    Config(c.config);
    Stub("indexer", c.indexer);
    EXPECT_EQ(c.status, Run(WithHooks({"nightly"})).status);
    EXPECT_EQ(c.hooks, dir_.Read("hooks.log"));
  }
}

TEST_F(NotifyTest, RunRefusedByTheLockRunsNoHookAndAStoppedRunRunsTheFailureHook) {
  Stub("indexer", "echo > started; while [ ! -e go ]; do sleep 0.02; done");
  Config(kNightly);
  const TStarted first = Start({"--lock", "nightly"});
  AwaitFile("started");
  const TRun refused = RunWithOutputTo(dir_.File("second.out"), WithHooks({"--lock", "nightly"}));
  EXPECT_EQ(75, refused.status);
  EXPECT_EQ("", dir_.Read("hooks.log"));
  dir_.Write("go", "");
  EXPECT_EQ(0, Finish(first).status);

  unlink(dir_.File("started").c_str());
  unlink(dir_.File("go").c_str());
  const TStarted stopped = Start(WithHooks({"--report=report.json", "nightly"}));
  AwaitFile("started");
  kill(stopped.pid, SIGTERM);
  EXPECT_EQ(143, Finish(stopped).status);
  EXPECT_EQ("start\nfailure\n", dir_.Read("hooks.log"));
}

TEST_F(NotifyTest, HookGetsTheRunsDetailsAndItsReportOnStandardInput) {
  Stub("runner", "exit 4");
  Config(kNightly);
  // The variables of the run alone, not those of the tests' own harness.
  const std::string variables =
      "env | grep -E '^VELMORJOB_(JOB|CONFIG|RUN_ID|STATUS|RESULT|FAILED_STEP|REPORT)=' | sort";
  const TRun run = Run({"--on-start=" + variables + " > start.env; cat > start.json",
                        "--on-failure=" + variables + " > failure.env; cat > failure.json",
                        "--report=report.json", "nightly"});
  EXPECT_EQ(3, run.status);
  Check("check-report", "start.json failure.json report.json");
  const std::string id = ReportQuery("report.json", "r['run_id']");
  EXPECT_THAT(id,
              MatchesRegex("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}"));
  const std::string fixed = "VELMORJOB_CONFIG=" + dir_.File("search.conf") +
                            "\nVELMORJOB_JOB=nightly\nVELMORJOB_REPORT=report.json\n"
                            "VELMORJOB_RUN_ID=" +
                            id + "\n";
  EXPECT_EQ(fixed.substr(0, fixed.find("VELMORJOB_JOB")) +
                "VELMORJOB_FAILED_STEP=2\nVELMORJOB_JOB=nightly\nVELMORJOB_REPORT=report.json\n"
                "VELMORJOB_RESULT=step-failed\nVELMORJOB_RUN_ID=" +
                id + "\nVELMORJOB_STATUS=3\n",
            dir_.Read("failure.env"));
  EXPECT_EQ(fixed.substr(0, fixed.find("VELMORJOB_JOB")) +
                "VELMORJOB_FAILED_STEP=\nVELMORJOB_JOB=nightly\nVELMORJOB_REPORT=report.json\n"
                "VELMORJOB_RESULT=\nVELMORJOB_RUN_ID=" +
                id + "\nVELMORJOB_STATUS=\n",
            dir_.Read("start.env"));
  // The failure hook reads the report --report wrote; the start hook, the
  // report so far.
  EXPECT_EQ(dir_.Read("report.json"), dir_.Read("failure.json"));
  EXPECT_EQ("None None 0 " + id, ReportQuery("start.json",
                                             "'%s %s %d %s' % (r['exit_status'], r['result'], "
                                             "len(r['steps']), r['run_id'])"));
}

TEST_F(NotifyTest, HookThatFailsOrReadsNothingChangesNothing) {
  Config(kNightly);
  Expect(Run({"--on-start=exit 7", "--on-success=kill -KILL $$", "nightly"}), kBanner,
         "velmorjob: --on-start command failed: exit status 7\n"
         "velmorjob: --on-success command failed: killed by SIGKILL\n",
         0);
  EXPECT_THAT(Calls(), HasSubstr("runner"));
  // A hook that is not there at all, and one that closes its input at once.
  Stub("runner", "exit 2");
  Expect(Run({"--on-start=exec <&-; true", "--on-failure=./no-such-hook", "nightly"}), kBanner,
         "sh: 1: ./no-such-hook: not found\n"
         "velmorjob: --on-failure command failed: exit status 127\n",
         3);
}

TEST_F(NotifyTest, HookThatHangsIsStoppedAfterItsTimeLimitWithAllItStarted) {
  Config("[Job nightly]\n[Index]\n");
  const auto started = std::chrono::steady_clock::now();
  const TRun run =
      Run({"--hook-timeout=1",
           "--on-success=echo $$ > hook.pid; sleep 300 & echo $! >> hook.pid; wait", "nightly"});
  EXPECT_EQ(kBanner, run.out);
  EXPECT_EQ(0, run.status);
  EXPECT_EQ("velmorjob: --on-success command failed: timed out\n", run.err);
  // Not before its limit, and at its limit, not the default one of a
  // minute.
  EXPECT_GE(std::chrono::steady_clock::now() - started, 1s);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 30s);
  for (const std::string& pid : {dir_.Read("hook.pid")}) {
    std::size_t at = 0;
    while (at < pid.size()) {
      const std::size_t end = pid.find('\n', at);
      const pid_t process = static_cast<pid_t>(std::stol(pid.substr(at, end - at)));
      EXPECT_NE(0, kill(process, 0)) << "process " << process << " of the hook still runs";
      at = end + 1;
    }
  }
}

TEST_F(NotifyTest, StopSignalDuringAHookReachesItAndTheFilesSaySo) {
  Stub("indexer", "exit 1");
  Config(kNightly);
  const TStarted run =
      Start({"--on-failure=trap 'echo TERM > hook.got; exit 1' TERM; echo > hooking; "
             "while :; do sleep 0.05; done",
             "--report=report.json", "nightly"});
  AwaitFile("hooking");
  kill(run.pid, SIGTERM);
  const TRun ended = Finish(run);
  EXPECT_EQ(143, ended.status);
  EXPECT_EQ("TERM\n", dir_.Read("hook.got"));
  EXPECT_EQ("143 stopped", ReportQuery("report.json", "'%s %s' % (r['exit_status'], r['result'])"));
  Check("check-report", "report.json");
}

TEST_F(NotifyTest, KeptOutputIsTheLastBytesOfBothStreamsInTheOrderTheyCame) {
  Config("[Job nightly]\n[Index]\n[Runner]\n");
  // More than is kept, from both streams, in turn; then less than is kept.
  Stub("indexer",
       "printf 'out-one '; sleep 0.1; printf 'err-one ' >&2; sleep 0.1; printf 'out-two\\n'");
  Stub("runner", "printf 'tiny\\377\\000\\001'");
  const TRun run = Run({"--keep-output=16", "--report=report.json", "nightly"});
  EXPECT_EQ(0, run.status);
  // Passed on as before, each stream to its own.
  EXPECT_EQ(kBanner + "out-one out-two\ntiny\377" + std::string("\0\1", 2), run.out);
  EXPECT_EQ("err-one ", run.err);
  Check("check-report", "report.json");
  EXPECT_EQ("['err-one out-two\\n', 'tiny\xEF\xBF\xBD\\x00\\x01'] [24, 7]",
            ReportQuery("report.json",
                        "'%s %s' % ([s['output_tail'] for s in r['steps']], "
                        "[s['output_bytes'] for s in r['steps']])"));
  // Without the option nothing is kept.
  Run({"--report=report.json", "nightly"});
  EXPECT_EQ("[None, None] [None, None]",
            ReportQuery("report.json",
                        "'%s %s' % ([s['output_tail'] for s in r['steps']], "
                        "[s['output_bytes'] for s in r['steps']])"));
}

TEST_F(NotifyTest, OutputPassedOnIsEveryByteUnchanged) {
  const std::string out = AllBytes(600);  // 150 KiB: more than a pipe holds
  const std::string err = AllBytes(300);
  dir_.Write("out.bin", out);
  dir_.Write("err.bin", err);
  Stub("indexer", "cat out.bin; cat err.bin >&2; cat out.bin");
  Config("[Job nightly]\n[Index]\n");
  const TRun run = Run({"--keep-output=1K", "nightly"});
  EXPECT_EQ(0, run.status);
  EXPECT_TRUE(kBanner + out + out == run.out) << "standard output changed";
  EXPECT_TRUE(err == run.err) << "standard error changed";
}

TEST_F(NotifyTest, QuietRunIsSilentWhenItSucceeds) {
  Stub("indexer", "echo chatty; echo noisy >&2");
  Config(kNightly);
  Expect(Run({"--quiet", "--on-success=exit 3", "nightly"}), "", "", 0);
  EXPECT_THAT(Calls(), HasSubstr("runner"));
}

// What --quiet keeps for itself is the output of failed steps; a report
// asked for beside it has every step's.
TEST_F(NotifyTest, QuietRunWithAReportKeepsEveryStepsOutputInTheReport) {
  Stub("indexer", "echo chatty");
  Config(kNightly);
  Expect(Run({"--quiet", "--report=report.json", "nightly"}), "", "", 0);
  EXPECT_EQ("chatty\n", ReportQuery("report.json", "r['steps'][0]['output_tail']"));
}

TEST_F(NotifyTest, QuietRunThatFailsTellsEverythingAndTheOutputOfEachFailedStep) {
  Stub("indexer", "echo chatty; echo failing >&2; exit 1");
  Stub("runner", "head -c 70000 /dev/zero | tr '\\0' x; echo; echo last line");
  Config(kNightly);
  const TRun run = Run({"--quiet", "--timeout=1h", "nightly"});
  EXPECT_EQ(3, run.status);
  EXPECT_EQ("", run.err);
  EXPECT_THAT(run.out,
              MatchesRegex(Literal(kBanner) +
                           "Step 1 \"\\./indexer\" failed: exit status 1 after [0-9.]+s\n" +
                           Literal("--- output of step 1 \"./indexer\" (15 bytes) ---\n"
                                   "chatty\nfailing\n")));
  // The runner succeeded: its output is not told.
  EXPECT_THAT(run.out, testing::Not(HasSubstr("last line")));
}

// One step's time reads the same in every line that tells it.
TEST_F(NotifyTest, AStepsTimeReadsTheSameUnderVerboseAndQuiet) {
  Stub("indexer", "sleep 0.05; exit 1");
  Config("[Job nightly]\n[Index]\n");
  const TRun run = Run({"--quiet", "--verbose", "nightly"});
  EXPECT_EQ(3, run.status);
  const std::regex verbose("ended with exit status 1 after ([0-9.]+s)\n");
  const std::regex quiet("failed: exit status 1 after ([0-9.]+s)\n");
  std::smatch first;
  std::smatch second;
  ASSERT_TRUE(std::regex_search(run.out, first, verbose)) << run.out;
  ASSERT_TRUE(std::regex_search(run.out, second, quiet)) << run.out;
  EXPECT_EQ(first[1].str(), second[1].str());
}

TEST_F(NotifyTest, QuietRunKeepsTheLastOfALongOutputAndSaysHowMuchThereWas) {
  Stub("indexer", "head -c 70000 /dev/zero | tr '\\0' x; printf 'the end'; exit 2");
  Config("[Job nightly]\n[Index]\n");
  const TRun run = Run({"--quiet", "--keep-output=10", "nightly"});
  EXPECT_EQ(3, run.status);
  EXPECT_THAT(run.out,
              MatchesRegex(Literal(kBanner) +
                           "Step 1 \"\\./indexer\" failed: exit status 2 after [0-9.]+s\n" +
                           Literal("--- output of step 1 \"./indexer\" (last 10 of "
                                   "70007 bytes) ---\nxxxthe end\n")));
}

TEST_F(NotifyTest, QuietRunWithAConfigurationErrorTellsItAsARunDoes) {
  Config("[Job nightly]\n[Index]\nBogus 1\n");
  Expect(Run({"--quiet", "nightly"}), kBanner + "Error at line 3:\nBogus 1\n", 2);
}

}  // namespace

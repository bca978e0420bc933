#include "e2e_harness.h"

#include "app/version.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

const std::string kBanner = std::string("\nVelmoran ver.") + kVersion + " [build " + kBuild +
                            "]\nCompiled Tue Jun 25 18:27:36 GMT 2002 under SunOS 5.8\n\n";

const char kNightly[] =
    "# nightly jobs\n"
    "[Job nightly]\n"
    "[Index]\n"
    "MaxFiles 500\n"
    "CharSet koi8-r   # trailing comment\n"
    "Statistic Append\n"
    "[Runner]\n"
    "Filename report\n"
    "[Job weekly]\n"
    "[Index]\n"
    "MaxFiles 9\n";

namespace {

std::string StubScript(const std::string& program, const std::string& body) {
  return "#!/bin/sh\n"
         "{ printf '%s' '" +
         program +
         "'; for a in \"$@\"; do printf ' [%s]' \"$a\"; done; "
         "printf '\\n'; } >> calls.log\n" +
         body + "\n";
}

// VELMORJOB_WRAPPER, split at spaces: a command to run the program under.
std::vector<std::string> WrapperWords() {
  std::vector<std::string> words;
  const char* wrapper = std::getenv("VELMORJOB_WRAPPER");
  if (wrapper == nullptr) return words;
  std::istringstream in(wrapper);
  std::string word;
  while (in >> word) words.push_back(word);
  return words;
}

}  // namespace

bool E2eTest::Wrapped() { return !WrapperWords().empty(); }

std::vector<std::string> E2eTest::RunEnvironment() const {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string variable(*entry);
    if (environment_.count(variable.substr(0, variable.find('='))) == 0) {
      entries.push_back(variable);
    }
  }
  for (const auto& [name, value] : environment_) {
    if (value) entries.push_back(name + "=" + *value);
  }
  return entries;
}

void E2eTest::Expect(const TRun& run, const std::string& out, int status) {
  Expect(run, out, "", status);
}

void E2eTest::Expect(const TRun& run, const std::string& out, const std::string& err, int status) {
  EXPECT_EQ(out, run.out);
  EXPECT_EQ(err, run.err);
  EXPECT_EQ(status, run.status);
}

void E2eTest::Check(const std::string& tool, const std::string& arguments) const {
  // The Debian modules the checkers need belong to /usr/bin/python3.
  const std::string command = "cd '" + dir_.path() + "' && /usr/bin/python3 '" +
                              VELMORJOB_SOURCE_DIR + "/tools/" + tool + "' " + arguments +
                              " > checker.out 2>&1";
  EXPECT_EQ(0, std::system(command.c_str())) << tool << " " << arguments << ":\n"
                                             << dir_.Read("checker.out");
}

std::string E2eTest::ReportQuery(const std::string& file, const std::string& expression) const {
  dir_.Write("query.py",
             "import json, sys\n"
             "r = json.load(open(sys.argv[1]))\n"
             "print(eval(sys.argv[2]), end='')\n");
  std::string quoted = "'";
  for (const char c : expression) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  quoted += "'";
  const std::string command = "cd '" + dir_.path() + "' && /usr/bin/python3 query.py '" + file +
                              "' " + quoted + " > query.out 2>&1";
  EXPECT_EQ(0, std::system(command.c_str())) << expression << ":\n" << dir_.Read("query.out");
  return dir_.Read("query.out");
}

void E2eTest::AwaitFile(const std::string& name) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!dir_.Exists(name) && std::chrono::steady_clock::now() < deadline) {
    usleep(5000);
  }
  ASSERT_TRUE(dir_.Exists(name)) << name << " never appeared";
  // A file written with echo may exist before its text is complete.
  usleep(20000);
}

void E2eTest::SetUp() {
  Stub("indexer", "");
  Stub("runner", "");
}

void E2eTest::Config(const std::string& content, const std::string& name) {
  dir_.Write(name, content);
}

void E2eTest::Stub(const std::string& program, const std::string& body) {
  dir_.Write(program, StubScript(program, body), true);
}

TRun E2eTest::Run(const std::vector<std::string>& args) {
  return RunWithOutputTo(output_.File("out"), args);
}

TRun E2eTest::RunWithOutputTo(const std::string& out, const std::vector<std::string>& args) {
  return Finish(StartWithOutputTo(out, args));
}

TStarted E2eTest::Start(const std::vector<std::string>& args) {
  return StartWithOutputTo(output_.File("out"), args);
}

TStarted E2eTest::StartWithOutputTo(const std::string& out, const std::vector<std::string>& args) {
  const int out_fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out_fd < 0) ADD_FAILURE() << "could not open " << out;
  TStarted started = StartWithOutputOn(out_fd, args);
  close(out_fd);
  started.out = out;
  return started;
}

TStarted E2eTest::StartWithOutputOn(int out_fd, const std::vector<std::string>& args,
                                    bool ignore_sigpipe) {
  std::vector<std::string> words = WrapperWords();
  words.push_back(VELMORJOB_BINARY);
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  std::vector<std::string> variables = RunEnvironment();
  std::vector<char*> envp;
  for (std::string& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);

  const std::string err = output_.File("err");
  const pid_t child = fork();
  if (child == 0) {
    const int err_fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int null_fd = open("/dev/null", O_RDONLY);
    if (out_fd < 0 || err_fd < 0 || null_fd < 0 || chdir(dir_.path().c_str()) != 0) _exit(120);
    dup2(null_fd, 0);
    dup2(out_fd, 1);
    dup2(err_fd, 2);
    signal(SIGPIPE, ignore_sigpipe ? SIG_IGN : SIG_DFL);
    environ = envp.data();
    execvp(argv[0], argv.data());
    _exit(121);
  }
  if (child < 0) ADD_FAILURE() << "could not start " << VELMORJOB_BINARY;
  return TStarted{child, ""};
}

TRun E2eTest::Finish(const TStarted& started) {
  TRun run;
  if (started.pid <= 0) return run;
  int status = 0;
  struct rusage usage = {};
  // A program that hangs fails its test here rather than at the test's
  // time limit, and is not left running.
  const auto deadline = std::chrono::steady_clock::now() + kRunTimeLimit;
  std::chrono::microseconds pause(500);
  pid_t waited;
  while ((waited = wait4(started.pid, &status, WNOHANG, &usage)) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(started.pid, SIGKILL);
      waited = wait4(started.pid, &status, 0, &usage);
      ADD_FAILURE() << VELMORJOB_BINARY << " still ran after " << kRunTimeLimit.count()
                    << " s and was killed";
      break;
    }
    usleep(static_cast<useconds_t>(pause.count()));
    pause = std::min(pause * 2, std::chrono::microseconds(20000));
  }
  if (waited != started.pid) {
    ADD_FAILURE() << "could not wait for " << VELMORJOB_BINARY;
    return run;
  }
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.max_rss_kb = usage.ru_maxrss;
  if (started.out == output_.File("out")) run.out = output_.Read("out");
  run.err = output_.Read("err");
  return run;
}

#include "job/step_runner.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>

#include "core/outcome.h"
#include "core/output.h"
#include "job/command_text.h"

TRunSettings runsettings;

namespace {

int RunThroughShell(const char* command) { return std::system(command); }

bool IsInterrupt(int signal_number) { return signal_number == SIGINT || signal_number == SIGQUIT; }

void PrintHowItEnded(const TServer& step, int status, double seconds) {
  if (status == -1) {
    std::printf("Step %s could not be started\n", step.program.c_str());
  } else if (WIFSIGNALED(status)) {
    std::printf("Step %s was killed by signal %d (%s) after %.3f s\n", step.program.c_str(),
                WTERMSIG(status), strsignal(WTERMSIG(status)), seconds);
  } else {
    std::printf("Step %s ended with exit status %d after %.3f s\n", step.program.c_str(),
                WIFEXITED(status) ? WEXITSTATUS(status) : status, seconds);
  }
}

}  // namespace

int InterruptSignal(int status) {
  if (status == -1) return 0;
  if (WIFSIGNALED(status) && IsInterrupt(WTERMSIG(status))) return WTERMSIG(status);
  if (WIFEXITED(status) && WEXITSTATUS(status) > 128 && IsInterrupt(WEXITSTATUS(status) - 128)) {
    return WEXITSTATUS(status) - 128;
  }
  return 0;
}

void RunSteps(const TServer* head) {
  int (*execute)(const char*) = runsettings.execute ? runsettings.execute : RunThroughShell;
  for (const TServer* step = head; step != nullptr; step = step->next.get()) {
    const std::string command = CommandText(*step);
    if (runsettings.dry_run) {
      std::printf("%s\n", command.c_str());
      continue;
    }
    if (runsettings.verbose) std::printf("%s\n", command.c_str());
    // The step writes to the same standard output: what was printed so far
    // must come before what it prints.
    FlushOutput();
    const auto start = std::chrono::steady_clock::now();
    const int status = execute(command.c_str());
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (status == -1) std::printf("Error executing \"%s\"\n", step->program.c_str());
    if (runsettings.verbose) PrintHowItEnded(*step, status, took.count());
    if (const int signal_number = InterruptSignal(status)) {
      outcome.interrupt_signal = signal_number;
      return;
    }
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) outcome.step_failed = true;
  }
}

#include "app/banner.h"

#include <string>

#include "app/version.h"
#include "core/exit_status.h"
#include "core/output.h"

namespace {
constexpr char kBuildDate[] = "Tue Jun 25 18:27:36 GMT 2002";
constexpr char kBuildSystem[] = "SunOS 5.8";
}  // namespace

void PrintBanner() {
  Say(std::string("\nVelmoran ver.") + kVersion + " [build " + kBuild + "]");
  Say(std::string("\nCompiled ") + kBuildDate + " under " + kBuildSystem + "\n\n");
}

void PrintUsage() { Say("Use: velmorjob [--config=filename] Jobname\n See manual for details.\n"); }

void PrintHelp() {
  Print(
      "Use: velmorjob [--config=filename] [options] Jobname\n"
      "  --config=filename     read the jobs from filename instead of search.conf\n"
      "  --dry-run             print each step's command instead of running it\n"
      "  --verbose             also print each step's command, how it ended and how\n"
      "                        long it took\n"
      "  --quiet               print nothing unless the run fails; then everything,\n"
      "                        and the output of each failed step\n"
      "  --timeout=DURATION    stop a step that runs longer (SIGTERM to its process\n"
      "                        group); DURATION is a number with an optional unit\n"
      "                        s, m, h or d, as in 90, 0.5s, 45m, 2h\n"
      "  --kill-after=DURATION send SIGKILL this long after SIGTERM if anything of the\n"
      "                        step still runs (default 30s)\n"
      "  --job-timeout=DURATION  stop the run once it has run this long\n"
      "  --retries=N           run a failed step again, up to N more times (0-100)\n"
      "  --retry-delay=DURATION  wait before the second attempt (default 30s), then\n"
      "                        twice as long before each later one\n"
      "  --retry-on=LIST       retry only these failures: exit statuses and the words\n"
      "                        timeout, signal and start, as in 75,timeout\n"
      "  --from-step=N         run the job's steps from step N on\n"
      "  --exit-on-error       run no further step after one failed\n"
      "  --lock[=FILE]         run only if no other run holds FILE locked (default\n"
      "                        .velmorjob.lock); status 75 if one does\n"
      "  --lock-wait=DURATION  wait this long for a lock another run holds\n"
      "  --report=FILE         write what happened to FILE as JSON\n"
      "  --metrics=FILE        write metrics to FILE for the Prometheus textfile\n"
      "                        collector\n"
      "  --keep-output=SIZE    keep the last SIZE bytes (K, M; up to 16M) of each\n"
      "                        step's output for the report and the hooks\n"
      "  --on-start=COMMAND    run COMMAND before the first step\n"
      "  --on-success=COMMAND  run COMMAND after a run that ended with status 0\n"
      "  --on-failure=COMMAND  run COMMAND after a run that ended otherwise (not 75)\n"
      "  --check               check every job in the configuration file; run nothing\n"
      "  --list                print the name of every job in the configuration file\n"
      "  --help                print this help\n"
      "  --version             print the version banner and how the program was built\n"
      "Any other argument that begins with -- is an error.\n");
  Print(ExitStatusHelp());
  Print("See velmorjob(1) and search.conf(5) for details.\n");
}

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
      "  --timeout=DURATION    stop a step that runs longer (SIGTERM to its process\n"
      "                        group); DURATION is a number with an optional unit\n"
      "                        s, m, h or d, as in 90, 0.5s, 45m, 2h\n"
      "  --kill-after=DURATION send SIGKILL this long after SIGTERM if anything of the\n"
      "                        step still runs (default 30s)\n"
      "  --exit-on-error       run no further step after one failed\n"
      "  --lock[=FILE]         run only if no other run holds FILE locked (default\n"
      "                        .velmorjob.lock); status 75 if one does\n"
      "  --report=FILE         write what happened to FILE as JSON\n"
      "  --metrics=FILE        write metrics to FILE for the Prometheus textfile\n"
      "                        collector\n"
      "  --check               check every job in the configuration file; run nothing\n"
      "  --list                print the name of every job in the configuration file\n"
      "  --help                print this help\n"
      "  --version             print the version banner\n"
      "Any other argument that begins with -- is an error.\n");
  Print(ExitStatusHelp());
  Print("See velmorjob(1) and search.conf(5) for details.\n");
}

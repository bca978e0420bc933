#include "app/banner.h"

#include <cstdio>

#include "app/version.h"

namespace {
constexpr char kBuildDate[] = "Tue Jun 25 18:27:36 GMT 2002";
constexpr char kBuildSystem[] = "SunOS 5.8";
}  // namespace

void PrintBanner() {
  std::printf("\nVelmoran ver.%s [build %s]", kVersion, kBuild);
  std::printf("\nCompiled %s under %s\n\n", kBuildDate, kBuildSystem);
}

void PrintUsage() {
  std::printf("Use: velmorjob [--config=filename] Jobname\n See manual for details.\n");
}

void PrintHelp() {
  std::printf(
      "Use: velmorjob [--config=filename] [options] Jobname\n"
      "  --config=filename  read the jobs from filename instead of search.conf\n"
      "  --dry-run          print each step's command instead of running it\n"
      "  --verbose          also print each step's command, how it ended and how long it took\n"
      "  --check            check every job in the configuration file; run nothing\n"
      "  --list             print the name of every job in the configuration file\n"
      "  --help             print this help\n"
      "  --version          print the version banner\n"
      "See velmorjob(1) and search.conf(5) for details.\n");
}

#include "app/banner.h"

#include <string>

#include "app/command_line.h"
#include "app/version.h"
#include "core/exit_status.h"
#include "core/output.h"

namespace {
constexpr char kBuildDate[] = "Tue Jun 25 18:27:36 GMT 2002";
constexpr char kBuildSystem[] = "SunOS 5.8";
}  // namespace

void PrintBanner() {
  Say(TPriority::kInfo, std::string("\nVelmoran ver.") + kVersion + " [build " + kBuild + "]");
  Say(TPriority::kInfo,
      std::string("\nCompiled ") + kBuildDate + " under " + kBuildSystem + "\n\n");
}

void PrintUsage() {
  Say(TPriority::kInfo, "Use: velmorjob [--config=filename] Jobname\n See manual for details.\n");
}

void PrintHelp() {
  Print("Use: velmorjob [--config=filename] [options] Jobname\n");
  Print(OptionHelp());
  Print("Any other argument that begins with -- is an error.\n");
  Print(ExitStatusHelp());
  Print("See velmorjob(1) and search.conf(5) for details.\n");
}

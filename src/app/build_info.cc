#include "app/build_info.h"

#include "app/build_date.h"
#include "app/version.h"

std::string BuildLine() {
  return std::string("velmorjob ") + kVersion + " (build " + kBuild + "), built " + kBuildDate +
         " with " + kCompiler + " for " + kTarget + "\n";
}

#include "app/list.h"

#include <string>
#include <unordered_set>

#include "app/config_file.h"
#include "core/job_header.h"
#include "core/output.h"
#include "core/read_state.h"

void ListJobs(const std::string& path) {
  if (!OpenConfig(path)) return;
  std::unordered_set<std::string> seen;
  long counter = 0;
  for (;;) {
    SkipLines('[', counter);
    if (ReadLine(counter) != TRead::kLine) break;
    const TJobHeader header = ParseJobHeader(str);
    if (header.kind != THeaderKind::kJob) continue;
    if (seen.emplace(header.name).second) {
      Print(std::string(header.name) + "\n");
    }
  }
  CloseConfig(path);
}

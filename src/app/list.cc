#include "app/list.h"

#include <string>
#include <unordered_set>

#include "app/config_file.h"
#include "core/output.h"
#include "core/read_state.h"
#include "job/section_scan.h"

void ListJobs(const std::string& path, TRunContext& run) {
  if (!OpenConfig(path, run)) return;
  std::unordered_set<std::string> seen;
  long counter = 0;
  for (;;) {
    SkipLines("[", counter);
    if (ReadLine(counter) != TRead::kLine) break;
    const TScannedLine line = ScanLine(str, false, nullptr);
    if (line.kind != TLineKind::kJobHeader) continue;
    if (seen.emplace(line.header.name).second) Print(std::string(line.header.name) + "\n");
  }
  CloseConfig(path, run);
}

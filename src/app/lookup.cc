#include "app/lookup.h"

#include <cstdio>

#include "app/config_file.h"
#include "core/job_header.h"
#include "core/outcome.h"
#include "core/read_state.h"
#include "job/read_job.h"

void RunJob(const std::string& path, const std::string& job) {
  if (!OpenConfig(path)) return;
  long counter = 0;
  bool found = false;
  while (!fp.Eof() && !fp.Error() && jobend == 0) {
    // Only a line that begins with '[' can be a job header.
    SkipLines('[', counter);
    ClearLine();
    if (ReadLine(counter) == TRead::kFailed) break;
    const TJobHeader header = ParseJobHeader(str);
    if (header.kind == THeaderKind::kJob) {
      if (header.name == job) {
        counter = ReadJob(counter);
        found = true;
      }
    } else if (header.kind == THeaderKind::kMalformed) {
      ReportLineError(counter);
    }
  }
  if (!CloseConfig(path)) return;
  if (!found) {
    std::printf("Job \"%s\" not found in your config file.\n", job.c_str());
    ++outcome.config_errors;
  }
}

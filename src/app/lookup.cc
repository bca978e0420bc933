#include "app/lookup.h"

#include "app/config_file.h"
#include "core/job_header.h"
#include "core/outcome.h"
#include "core/read_state.h"
#include "core/stop_signal.h"
#include "job/read_job.h"

void LookUpJob(const std::string& path, const std::string& job, const TRunJobSteps& run) {
  if (!OpenConfig(path)) return;
  long counter = 0;
  bool found = false;
  while (!fp.Eof() && !fp.Error() && jobend == 0 && StopSignal() == 0) {
    // Only a line that begins with '[' can be a job header.
    SkipLines('[', counter);
    ClearLine();
    const TRead read = ReadLine(counter);
    if (read == TRead::kFailed || read == TRead::kStopped) break;
    const TJobHeader header = ParseJobHeader(str);
    if (header.kind == THeaderKind::kJob) {
      if (header.name == job) {
        counter = ReadJob(counter, run);
        found = true;
      }
    } else if (header.kind == THeaderKind::kMalformed) {
      ReportLineError(counter);
    }
  }
  if (!CloseConfig(path)) return;
  // A run stopped by a signal did not read far enough to know.
  if (!found && StopSignal() == 0) ReportJobNotFound(job);
}

#include "app/lookup.h"

#include <string>

#include "app/config_file.h"
#include "check/explain.h"
#include "core/read_state.h"
#include "core/stop_signal.h"
#include "job/read_job.h"
#include "job/section_scan.h"

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
    const TScannedLine line = ScanLine(str, false, nullptr);
    if (line.kind == TLineKind::kJobHeader && line.header.name == job) {
      counter = ReadJob(counter, run);
      found = true;
    } else if (line.kind == TLineKind::kMalformedHeader) {
      std::string reason;
      ExplainLineError(reason, line, str, "", "", fp.Piece(), comment_cut);
      ReportLineError(counter, reason);
    }
  }
  if (!CloseConfig(path)) return;
  // A run stopped by a signal did not read far enough to know.
  if (!found && StopSignal() == 0) ReportJobNotFound(job);
}

#include "app/lookup.h"

#include <string>

#include "app/config_file.h"
#include "check/explain.h"
#include "core/read_state.h"
#include "core/stop_signal.h"
#include "job/read_job.h"
#include "job/section_scan.h"

void LookUpJob(const std::string& path, const std::string& job, TRunContext& run,
               const std::function<void(const TServer* head)>& run_steps) {
  if (!OpenConfig(path, run)) return;
  // A bad line is told with what --check says of it.
  const TJobSteps steps = {run_steps, [&](long counter, const TScannedLine& line,
                                          const std::string& name, const std::string& step) {
                             std::string reason;
                             ExplainLineError(reason, line, str, name, step, fp.Piece(),
                                              comment_cut);
                             run.ConfigError(LineError(counter, std::move(reason)));
                           }};
  long counter = 0;
  bool found = false;
  while (!fp.Eof() && !fp.Error() && jobend == 0 && StopSignal() == 0) {
    // Only a line that begins "[Job " can be a job header, and one that
    // names another job changes nothing.
    SkipLines("[Job ", counter);
    if (PassHeaderOfOtherJob(job, counter)) continue;
    ClearLine();
    const TRead read = ReadLine(counter);
    if (read == TRead::kFailed || read == TRead::kStopped) break;
    const TScannedLine line = ScanLine(str, false, nullptr);
    if (line.kind == TLineKind::kJobHeader && line.header.name == job) {
      counter = ReadJob(counter, steps);
      found = true;
    } else if (line.kind == TLineKind::kMalformedHeader) {
      steps.bad_line(counter, line, "", "");
    }
  }
  if (!CloseConfig(path, run)) return;
  // A run stopped by a signal did not read far enough to know.
  if (!found && StopSignal() == 0) ReportJobNotFound(job, run);
}

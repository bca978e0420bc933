#include "job/read_job.h"

#include <string>

#include "check/explain.h"
#include "core/read_state.h"
#include "job/section_scan.h"
#include "job/step_list.h"

long ReadJob(long counter, const TRunJobSteps& run) {
  // The header just read names the job, for what is said of a bad line.
  const std::string job(ParseJobHeader(str).name);
  TStepList steps;
  // The last line of the file counts even without a line end, so a line is
  // acted on whenever the read delivered one.
  TRead read = ReadLine(counter);
  for (; read == TRead::kLine; read = ReadLine(counter)) {
    const TScannedLine line = ScanLine(str, true, steps.last);
    if (EndsSection(line)) break;
    if (line.kind == TLineKind::kStepHeader) steps.Append(MakeStep(*line.step_kind));
    if (line.kind == TLineKind::kBadLine) {
      std::string reason;
      ExplainLineError(reason, line, str, job, steps.Empty() ? "" : steps.last->name, fp.Piece(),
                       comment_cut);
      ReportLineError(counter, reason);
      return counter;
    }
  }
  // A read error or a stop signal ends the section unread: nothing runs.
  if (read != TRead::kNothing && read != TRead::kLine) return counter;
  jobend = 1;
  run(steps.head.get());
  return counter;
}

#include "job/read_job.h"

#include <string>

#include "core/read_state.h"
#include "job/step_list.h"

long ReadJob(long counter, const TJobSteps& handlers) {
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
      handlers.bad_line(counter, line, job, steps.Empty() ? "" : steps.last->name);
      return counter;
    }
  }
  // A read error or a stop signal ends the section unread: nothing runs.
  if (read != TRead::kNothing && read != TRead::kLine) return counter;
  jobend = 1;
  handlers.run(steps.head.get());
  return counter;
}

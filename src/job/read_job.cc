#include "job/read_job.h"

#include "core/job_header.h"
#include "core/read_state.h"
#include "job/run_files.h"
#include "job/step_list.h"
#include "options/add_commad.h"

long ReadJob(long counter, const TRunJobSteps& run) {
  TStepList steps;
  // The last line of the file counts even without a line end, so a line is
  // acted on whenever the read delivered one.
  TRead read = ReadLine(counter);
  while (read == TRead::kLine && !StartsJobHeader(str)) {
    if (str[0] == '[') {
      for (const TRunFile* row = runfiles; row->step != nullptr; ++row) {
        if (NamesStep(str, *row)) steps.Append(MakeStep(*row));
      }
    } else if (steps.Empty() || AddCommad(str, steps.last) == 0) {
      ReportLineError(counter);
      return counter;
    }
    read = ReadLine(counter);
  }
  // A read error or a stop signal ends the section unread: nothing runs.
  if (read != TRead::kNothing && read != TRead::kLine) return counter;
  jobend = 1;
  run(steps.head.get());
  return counter;
}

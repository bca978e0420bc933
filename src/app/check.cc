#include "app/check.h"

#include <cstdio>

#include "app/config_file.h"
#include "core/job_header.h"
#include "core/outcome.h"
#include "core/read_state.h"
#include "job/run_files.h"
#include "job/step_list.h"
#include "options/add_commad.h"

namespace {

const char* Plural(long count) { return count == 1 ? "" : "s"; }

}  // namespace

void CheckConfig(const std::string& path, const std::optional<std::string>& job) {
  if (!OpenConfig(path)) return;
  long counter = 0;
  long jobs = 0;
  long steps = 0;
  bool found = false;
  bool in_section = false;
  // Only the most recent step takes settings, so one record serves for all:
  // checking allocates nothing per line, however long the file.
  TServer step;
  bool has_step = false;
  for (;;) {
    // Outside a section only a job header, which begins with '[', matters.
    if (!in_section) SkipLines('[', counter);
    if (ReadLine(counter) != TRead::kLine) break;
    const TJobHeader header = ParseJobHeader(str);
    if (header.kind != THeaderKind::kNone) {
      // Any line that begins "[Job " ends a section, well-formed or not.
      in_section = header.kind == THeaderKind::kJob;
      has_step = false;
      if (header.kind == THeaderKind::kMalformed) {
        ReportLineError(counter);
        continue;
      }
      ++jobs;
      if (job && header.name == *job) found = true;
    } else if (!in_section) {
      continue;
    } else if (str[0] == '[') {
      for (const TRunFile* row = runfiles; row->step != nullptr; ++row) {
        if (NamesStep(str, *row)) {
          ResetStep(step, *row);
          has_step = true;
          ++steps;
        }
      }
    } else if (!has_step || AddCommad(str, &step) == 0) {
      ReportLineError(counter);
    }
  }
  if (!CloseConfig(path)) return;
  if (job && !found) {
    std::printf("Job \"%s\" not found in your config file.\n", job->c_str());
    ++outcome.config_errors;
  }
  const long errors = outcome.config_errors;
  std::printf("Checked %ld job%s and %ld step%s: ", jobs, Plural(jobs), steps, Plural(steps));
  if (errors == 0) {
    std::printf("no errors.\n");
  } else {
    std::printf("%ld error%s.\n", errors, Plural(errors));
  }
}

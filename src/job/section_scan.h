#ifndef VELMORJOB_JOB_SECTION_SCAN_H_
#define VELMORJOB_JOB_SECTION_SCAN_H_

#include "core/job_header.h"
#include "core/server.h"
#include "job/run_files.h"
#include "options/setting_rules.h"

// What a line of the configuration file is, as a run reads it: the one
// reading of the file's format, which the run, the job reader, --check and
// --list all go by.
enum class TLineKind {
  kJobHeader,        // "[Job NAME]": begins the section of a job, ends the one before
  kMalformedHeader,  // begins "[Job " without a name closed by ']': an error; ends a section
  kOutside,          // any other line outside a section: not read
  kStepHeader,       // '[' and the name of a step kind: a new step of the section
  kNoStepKind,       // any other line that begins with '[' in a section: passed over
  kSetting,          // a setting, translated and appended to the step above it
  kBadLine,          // any other line of a section: an error, and nothing of the job runs
};

struct TScannedLine {
  TLineKind kind = TLineKind::kOutside;
  // kJobHeader, kMalformedHeader: the header; its name points into the line.
  TJobHeader header;
  // kStepHeader: the kind of step it names.
  const TRunFile* step_kind = nullptr;
  // kSetting, and kBadLine after a step header: how the line fared as a
  // setting of that step.
  TSettingVerdict verdict;
  // kBadLine: no step header came before it in the section.
  bool before_first_step = false;
};

// Says what the line is. Inside a section, `step` is the step that its
// settings go to, or null before the section's first step header; a
// setting line is translated by AddCommad and appended to that step's
// options. A line that begins "[Job " is a header wherever it stands, and
// ends the section it is in.
TScannedLine ScanLine(const char* line, bool in_section, TServer* step);

// Whether the line ends the section it stands in (and, for a well-formed
// header, begins the next).
inline bool EndsSection(const TScannedLine& line) {
  return line.kind == TLineKind::kJobHeader || line.kind == TLineKind::kMalformedHeader;
}

#endif  // VELMORJOB_JOB_SECTION_SCAN_H_

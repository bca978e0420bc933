#include "job/section_scan.h"

#include "options/add_commad.h"

TScannedLine ScanLine(const char* line, bool in_section, TServer* step) {
  TScannedLine scanned;
  scanned.header = ParseJobHeader(line);
  switch (scanned.header.kind) {
    case THeaderKind::kJob: scanned.kind = TLineKind::kJobHeader; return scanned;
    case THeaderKind::kMalformed: scanned.kind = TLineKind::kMalformedHeader; return scanned;
    case THeaderKind::kNone: break;
  }
  if (!in_section) return scanned;
  if (line[0] == '[') {
    // No step kind's name begins another's, so at most one row names it.
    for (const TRunFile* row = runfiles; row->step != nullptr; ++row) {
      if (NamesStep(line, *row)) {
        scanned.kind = TLineKind::kStepHeader;
        scanned.step_kind = row;
        return scanned;
      }
    }
    scanned.kind = TLineKind::kNoStepKind;
    return scanned;
  }
  if (step == nullptr) {
    scanned.kind = TLineKind::kBadLine;
    scanned.before_first_step = true;
    scanned.verdict.setting = SplitSetting(line);
    return scanned;
  }
  const bool translated = AddCommad(line, step, &scanned.verdict) != 0;
  scanned.kind = translated ? TLineKind::kSetting : TLineKind::kBadLine;
  return scanned;
}

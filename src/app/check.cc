#include "app/check.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/config_file.h"
#include "check/explain.h"
#include "check/permissions.h"
#include "core/job_header.h"
#include "core/output.h"
#include "core/stop_signal.h"
#include "core/read_state.h"
#include "job/run_files.h"
#include "job/section_scan.h"
#include "job/step_list.h"
#include "options/setting_rules.h"

namespace {

const char* Plural(long count) { return count == 1 ? "" : "s"; }

// What the check has seen of the sections of one job name.
struct TJobSections {
  long first_line = 0;  // the header of the first section
  long sections = 0;    // the sections read so far
  long used_line = 0;   // the header of the first one without errors, or 0
};

std::size_t StepKindCount() {
  std::size_t count = 0;
  while (runfiles[count].step != nullptr) ++count;
  return count;
}

// Reads the sections as the job reader would and says, for each line a run
// would report and each line that would surprise, what is wrong with it.
// Nothing it keeps grows with the file but the record of job names.
class TChecker {
 public:
  TChecker(const std::string& path, TRunContext& run)
      : path_(path), run_(run), key_lines_(RuleCount(), 0), kinds_used_(StepKindCount(), false) {}

  bool InSection() const { return section_ != nullptr; }
  // The step that the section's settings go to, if one has begun.
  TServer* Step() { return has_step_ ? &step_ : nullptr; }

  // Takes one line, scanned as a run reads it.
  void Line(long counter, const TScannedLine& line) {
    switch (line.kind) {
      case TLineKind::kJobHeader:
      case TLineKind::kMalformedHeader: JobHeader(counter, line); break;
      case TLineKind::kStepHeader: StepHeader(counter, *line.step_kind); break;
      case TLineKind::kNoStepKind: NoStepKind(counter); break;
      case TLineKind::kSetting: SettingWarnings(counter, line.verdict); break;
      case TLineKind::kBadLine: Error(counter, line); break;
      case TLineKind::kOutside: break;
    }
  }
  long jobs() const { return jobs_; }
  long steps() const { return steps_; }
  long warnings() const { return warnings_; }

  // Ends the section being read, if any: the first section of a name that
  // holds no error is the one a run uses. One without steps that a run reads
  // (none before it of the name was used) is warned of under its header's
  // number, after what was said of its lines.
  void EndSection() {
    if (section_ == nullptr) return;
    TJobSections& seen = section_->second;
    if (!has_step_ && seen.used_line == 0) {
      WarnNoSteps(Begin(), section_->first);
      Warning(section_line_);
    }
    if (seen.used_line == 0 && run_.outcome.config_errors == errors_before_section_) {
      seen.used_line = section_line_;
    }
    section_ = nullptr;
  }

  // Warns of the files a run trusts that others can change: the
  // configuration file (named as given), the working directory (".") and
  // the programs of the step kinds that the file's steps use, in the order
  // of the table of step kinds.
  void WarnOfTrustedFiles() {
    WarnOfFile(path_.c_str());
    WarnOfFile(".");
    for (std::size_t kind = 0; kind < kinds_used_.size(); ++kind) {
      if (kinds_used_[kind]) WarnOfFile(runfiles[kind].path);
    }
  }

 private:
  // A line that begins "[Job ": it ends the section before it.
  void JobHeader(long counter, const TScannedLine& line) {
    EndSection();
    if (line.kind == TLineKind::kMalformedHeader) {
      Error(counter, line);
      return;
    }
    const TJobHeader& header = line.header;
    ++jobs_;
    auto found = jobs_seen_.find(header.name);
    if (found == jobs_seen_.end()) {
      found = jobs_seen_.emplace(std::string(header.name), TJobSections()).first;
      found->second.first_line = counter;
    } else {
      const TJobSections& seen = found->second;
      WarnJobAgain(Begin(), header.name, seen.sections, seen.first_line, seen.used_line);
      Warning(counter);
    }
    ++found->second.sections;
    section_ = &*found;
    section_line_ = counter;
    errors_before_section_ = run_.outcome.config_errors;
    has_step_ = false;
  }

  // A step header: the settings after it go to a step of its kind.
  void StepHeader(long counter, const TRunFile& kind) {
    ResetStep(step_, kind);
    has_step_ = true;
    kinds_used_[static_cast<std::size_t>(&kind - runfiles)] = true;
    step_line_ = counter;
    std::fill(key_lines_.begin(), key_lines_.end(), 0);
    ++steps_;
    const std::string_view after = TextAfterStepName(str, kind.step);
    if (!after.empty() && after != "]") {
      WarnStepHeaderText(Begin(), str, kind.step);
      Warning(counter);
    }
  }

  // A line inside a section that begins with '[' and names no step kind.
  void NoStepKind(long counter) {
    WarnNoStepKind(Begin(), str, step_.name, has_step_ ? step_line_ : 0);
    Warning(counter);
  }
  // Empties the reason and hands it out to be written.
  std::string& Begin() {
    reason_.clear();
    return reason_;
  }

  void SettingWarnings(long counter, const TSettingVerdict& verdict) {
    if (!IgnoredWords(verdict.setting).empty()) {
      WarnIgnoredWords(Begin(), verdict.setting);
      Warning(counter);
    }
    long& first = key_lines_[KeyIndex(*verdict.rule)];
    if (first != 0) {
      WarnRepeatedKey(Begin(), verdict.setting.key, first);
      Warning(counter);
    } else {
      first = counter;
    }
  }

  // Reports the line as a run would, then the reason on a line of its own.
  void Error(long counter, const TScannedLine& line) {
    const std::string_view job = section_ != nullptr ? section_->first : std::string_view();
    ExplainLineError(Begin(), line, str, job, step_.name, fp.Piece(), comment_cut);
    run_.ConfigError(LineError(counter, reason_));
    const std::size_t length = std::strlen(str);
    if (length > 0 && str[length - 1] != '\n') Say(TPriority::kError, "\n");
    Print(counter, TPriority::kError);
  }

  void Warning(long counter) {
    ++warnings_;
    Print(counter, TPriority::kWarning);
  }

  void WarnOfFile(const char* path) {
    for (const std::string& text : FileWarnings(path)) {
      ++warnings_;
      Say(TPriority::kWarning, {path, ": warning: ", text, "\n"});
    }
  }

  // The reason, for an error or a warning.
  void Print(long counter, TPriority priority) {
    const char* severity = priority == TPriority::kError ? "error" : "warning";
    // Within a std::string's own room: no memory of its own for each line.
    char number[24];
    const int length = std::snprintf(number, sizeof number, "%ld", counter);
    Say(priority, {path_, ":", std::string_view(number, static_cast<std::size_t>(length)), ": ",
                   severity, ": ", reason_, "\n"});
  }

  const std::string& path_;
  TRunContext& run_;
  std::string reason_;
  long jobs_ = 0;
  long steps_ = 0;
  long warnings_ = 0;
  // Job names with what is known of their sections; std::less<> finds a
  // name without copying it.
  std::map<std::string, TJobSections, std::less<>> jobs_seen_;
  std::pair<const std::string, TJobSections>* section_ = nullptr;
  long section_line_ = 0;
  long errors_before_section_ = 0;
  // Only the most recent step takes settings, so one record serves for all:
  // checking allocates nothing per line, however long the file.
  TServer step_;
  bool has_step_ = false;
  long step_line_ = 0;
  // For each key of the table (by KeyIndex), the line where the step set it.
  std::vector<long> key_lines_;
  // For each step kind of the table, whether a step of the file is of it.
  std::vector<bool> kinds_used_;
};

void PrintSummary(const TChecker& checker, const TRunContext& run) {
  const long errors = run.outcome.config_errors;
  const long warnings = checker.warnings();
  std::string summary = "Checked " + std::to_string(checker.jobs()) + " job" +
                        Plural(checker.jobs()) + " and " + std::to_string(checker.steps()) +
                        " step" + Plural(checker.steps()) + ": ";
  if (errors == 0) {
    summary += "no errors";
  } else {
    summary += std::to_string(errors) + " error" + Plural(errors);
  }
  if (warnings > 0) summary += ", " + std::to_string(warnings) + " warning" + Plural(warnings);
  Say(TPriority::kInfo, summary + ".\n");
}

}  // namespace

void CheckConfig(const std::string& path, const std::optional<std::string>& job, TRunContext& run) {
  if (!OpenConfig(path, run)) return;
  TChecker checker(path, run);
  long counter = 0;
  bool found = false;
  for (;;) {
    // Outside a section only a job header, which begins with '[', matters.
    if (!checker.InSection()) SkipLines("[", counter);
    if (ReadLine(counter) != TRead::kLine) break;
    const TScannedLine line = ScanLine(str, checker.InSection(), checker.Step());
    checker.Line(counter, line);
    if (line.kind == TLineKind::kJobHeader && job && line.header.name == *job) found = true;
  }
  checker.EndSection();
  if (!CloseConfig(path, run)) return;
  // A check that was stopped has no summary: it did not see the whole file.
  if (StopSignal() != 0) return;
  if (job && !found) ReportJobNotFound(*job, run);
  checker.WarnOfTrustedFiles();
  PrintSummary(checker, run);
}

#ifndef VELMORJOB_CORE_JOB_HEADER_H_
#define VELMORJOB_CORE_JOB_HEADER_H_

#include <string_view>

// A job header is a line that begins with exactly "[Job "; the job's name
// runs from there to the first ']' and must not be empty.

enum class THeaderKind {
  kNone,       // not a job header
  kJob,        // a well-formed job header
  kMalformed,  // begins "[Job " but has no name closed by ']'
};

struct TJobHeader {
  THeaderKind kind = THeaderKind::kNone;
  std::string_view name;  // points into the line; set for kJob only
};

// Whether the line begins "[Job ", well-formed or not: such a line ends a
// job's section.
bool StartsJobHeader(const char* line);

// The header in the text of a line (a C string's text ends at its NUL).
TJobHeader ParseJobHeader(std::string_view line);

#endif  // VELMORJOB_CORE_JOB_HEADER_H_

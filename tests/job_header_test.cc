#include "core/job_header.h"

#include <gtest/gtest.h>

namespace {

struct THeaderCase {
  const char* line;
  THeaderKind kind;
  const char* name;
};

TEST(JobHeaderTest, ClassifiesLines) {
  const THeaderCase cases[] = {
      {"[Job nightly]\n", THeaderKind::kJob, "nightly"},
      {"[Job nightly] trailing text\n", THeaderKind::kJob, "nightly"},
      {"[Job  spaced]\n", THeaderKind::kJob, " spaced"},
      {"[Job a b]", THeaderKind::kJob, "a b"},
      {"[Job x]]\n", THeaderKind::kJob, "x"},
      {"[Job ]\n", THeaderKind::kMalformed, ""},
      {"[Job nightly\n", THeaderKind::kMalformed, ""},
      {"[Job ", THeaderKind::kMalformed, ""},
      {"[job nightly]\n", THeaderKind::kNone, ""},
      {" [Job nightly]\n", THeaderKind::kNone, ""},
      {"[Job\tnightly]\n", THeaderKind::kNone, ""},
      {"[Job]\n", THeaderKind::kNone, ""},
      {"[Index]\n", THeaderKind::kNone, ""},
      {"", THeaderKind::kNone, ""},
  };
  for (const THeaderCase& c : cases) {
    SCOPED_TRACE(c.line);
    const TJobHeader header = ParseJobHeader(c.line);
    EXPECT_EQ(c.kind, header.kind);
    EXPECT_EQ(c.name, header.name);
    EXPECT_EQ(c.kind != THeaderKind::kNone, StartsJobHeader(c.line));
  }
}

}  // namespace

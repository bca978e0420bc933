#include "core/output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/outcome.h"

bool FlushOutput() {
  errno = 0;
  const bool flushed = std::fflush(stdout) == 0;
  // A write that failed inside an earlier printf leaves only the error
  // indicator behind; its reason is gone by now.
  const int reason = !flushed && errno != 0 ? errno : EIO;
  if (flushed && !std::ferror(stdout)) return true;
  if (!outcome.output_failed) {
    std::fprintf(stderr, "velmorjob: cannot write output: %s\n", std::strerror(reason));
    outcome.output_failed = true;
  }
  return false;
}

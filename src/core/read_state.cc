#include "core/read_state.h"

#include <cstdio>
#include <cstring>

#include "core/outcome.h"

char str[kLineSize];
TLineReader fp;
bool comment_cut = false;
int jobend = 0;

TRead ReadLine(long& counter) {
  const bool got = fp.Gets(str, kLineSize);
  char* comment = std::strchr(str, '#');
  if (comment != nullptr) *comment = '\0';
  comment_cut = comment != nullptr;
  ++counter;
  if (got) return TRead::kLine;
  return fp.Error() ? TRead::kFailed : TRead::kNothing;
}

void SkipLines(char keep, long& counter) { counter += fp.Skip(keep, kLineSize); }

void ClearLine() {
  // Only the text up to the terminator is ever looked at, so a terminator at
  // the front empties the buffer as well as clearing all of it would.
  str[0] = '\0';
}

void ReportLineError(long counter) {
  std::printf("Error at line %ld:\n%s", counter, str);
  ++outcome.config_errors;
}

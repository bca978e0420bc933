#include "core/read_state.h"

#include <cstdio>
#include <cstring>

#include "core/outcome.h"

char str[kLineSize];
TLineReader fp;
int jobend = 0;

TRead ReadLine(int& counter) {
  const bool got = fp.Gets(str, kLineSize);
  if (char* comment = std::strchr(str, '#')) *comment = '\0';
  ++counter;
  if (got) return TRead::kLine;
  return fp.Error() ? TRead::kFailed : TRead::kNothing;
}

void SkipLines(char keep, int& counter) { counter += fp.Skip(keep, kLineSize); }

void ClearLine() {
  // Only the text up to the terminator is ever looked at, so a terminator at
  // the front empties the buffer as well as clearing all of it would.
  str[0] = '\0';
}

void ReportLineError(int counter) {
  std::printf("Error at line %d:\n%s", counter, str);
  ++outcome.config_errors;
}

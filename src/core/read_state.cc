#include "core/read_state.h"

#include <cstring>
#include <string>
#include <utility>

#include "core/stop_signal.h"

char str[kLineSize];
TLineReader fp;
bool comment_cut = false;
int jobend = 0;

TRead ReadLine(long& counter) {
  if (StopSignal() != 0) return TRead::kStopped;
  const bool got = fp.Gets(str, kLineSize);
  char* comment = std::strchr(str, '#');
  if (comment != nullptr) *comment = '\0';
  comment_cut = comment != nullptr;
  ++counter;
  if (got) return TRead::kLine;
  if (fp.Error()) return TRead::kFailed;
  return StopSignal() != 0 ? TRead::kStopped : TRead::kNothing;
}

void SkipLines(std::string_view keep, long& counter) { counter += fp.Skip(keep, kLineSize); }

void ClearLine() {
  // Only the text up to the terminator is ever looked at, so a terminator at
  // the front empties the buffer as well as clearing all of it would.
  str[0] = '\0';
}

TConfigMessage LineError(long counter, std::string reason) {
  return TConfigMessage{counter, "Error at line " + std::to_string(counter) + ":\n" + str,
                        std::move(reason)};
}

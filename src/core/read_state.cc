#include "core/read_state.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "core/job_header.h"
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

bool PassHeaderOfOtherJob(std::string_view job, long& counter) {
  const std::string_view piece = fp.Peek(kLineSize);
  // The text that ReadLine would leave in str: up to a NUL or a '#'.
  const std::string_view text = piece.substr(0, std::min(piece.find('\0'), piece.find('#')));
  const TJobHeader header = ParseJobHeader(text);
  if (header.kind != THeaderKind::kJob || header.name == job) return false;
  fp.Pass(piece);
  ++counter;
  return true;
}

void ClearLine() {
  // Only the text up to the terminator is ever looked at, so a terminator at
  // the front empties the buffer as well as clearing all of it would.
  str[0] = '\0';
}

TConfigMessage LineError(long counter, std::string reason) {
  return TConfigMessage{counter, "Error at line " + std::to_string(counter) + ":\n" + str,
                        std::move(reason)};
}

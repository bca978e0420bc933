#ifndef VELMORJOB_TESTS_STATUS_WORD_H_
#define VELMORJOB_TESTS_STATUS_WORD_H_

#include <string>

#include "core/exit_status.h"

// The result word the table of exit statuses gives a status, for records
// that tests fill by hand: the last row with the code (a failed step rather
// than the job's deadline, for 3), and the row of a stop signal for 128 + N.
inline std::string StatusWord(int status) {
  std::string word;
  for (const TExitStatus* row = kExitStatuses; row->result != nullptr; ++row) {
    if (row->code == status && row->code != kExitSignalBase) word = row->result;
  }
  if (!word.empty()) return word;
  for (const TExitStatus* row = kExitStatuses; row->result != nullptr; ++row) {
    if (row->code == kExitSignalBase && status > kExitSignalBase) return row->result;
  }
  return "";
}

#endif  // VELMORJOB_TESTS_STATUS_WORD_H_

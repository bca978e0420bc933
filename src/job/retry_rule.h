#ifndef VELMORJOB_JOB_RETRY_RULE_H_
#define VELMORJOB_JOB_RETRY_RULE_H_

#include <bitset>
#include <optional>
#include <string>
#include <string_view>

#include "core/step_result.h"

// The failures --retry-on names: exit statuses 1-255, and the words
// "timeout" (the step's time limit), "signal" (killed by a signal) and
// "start" (no shell could be started).
struct TRetryOn {
  std::bitset<256> statuses;
  bool timeout = false;
  bool signal = false;
  bool start = false;
};

// "75,timeout" and the like; nothing when the list is empty or holds
// anything else (a status out of range, an unknown word, an empty item).
std::optional<TRetryOn> ParseRetryOn(std::string_view list);

// The list as ParseRetryOn reads it: the exit statuses in order, then the
// words, "1,75,timeout".
std::string RetryOnText(const TRetryOn& on);

// When a failed step is run again.
struct TRetryRule {
  int retries = 0;               // further attempts after the first, at most
  double delay = 30;             // seconds before the second attempt, doubled for each later one
  std::optional<TRetryOn> only;  // --retry-on: only these failures

  // Whether a failure like this one is run again (attempts left aside).
  // Never one that the step was interrupted by at the terminal (Ctrl-C,
  // Ctrl-\, or the shell's 130 and 131 for them), one ended because
  // velmorjob was told to stop, or one the job's deadline ended.
  bool Retries(const TStepResult& result) const;
};

#endif  // VELMORJOB_JOB_RETRY_RULE_H_

#include "job/retry_rule.h"

#include <charconv>

namespace {

// The words of the list beside the exit statuses.
struct TRetryWord {
  const char* word;
  bool TRetryOn::*failure;
};

const TRetryWord kRetryWords[] = {
    {"timeout", &TRetryOn::timeout},
    {"signal", &TRetryOn::signal},
    {"start", &TRetryOn::start},
};

// Sets the failure the word names; false when it names none.
bool ReadWord(std::string_view item, TRetryOn& on) {
  for (const TRetryWord& word : kRetryWords) {
    if (item != word.word) continue;
    on.*word.failure = true;
    return true;
  }
  return false;
}

}  // namespace

std::optional<TRetryOn> ParseRetryOn(std::string_view list) {
  TRetryOn on;
  for (;;) {
    const std::size_t comma = list.find(',');
    const std::string_view item = list.substr(0, comma);
    if (!ReadWord(item, on)) {
      int status = 0;
      const auto read = std::from_chars(item.data(), item.data() + item.size(), status);
      if (item.empty() || read.ec != std::errc() || read.ptr != item.data() + item.size() ||
          item[0] == '+' || status < 1 || status > 255) {
        return std::nullopt;
      }
      on.statuses.set(static_cast<std::size_t>(status));
    }
    if (comma == std::string_view::npos) return on;
    list.remove_prefix(comma + 1);
  }
}

bool TRetryRule::Retries(const TStepResult& result) const {
  using TStop = TStepResult::TStop;
  if (!result.Failed() || result.Interrupt() != 0) return false;
  if (result.stopped == TStop::kStopSignal || result.stopped == TStop::kDeadline) return false;
  if (!only) return true;
  if (result.stopped == TStop::kTimeout) return only->timeout;
  switch (result.end) {
    case TStepResult::TEnd::kNotStarted: return only->start;
    case TStepResult::TEnd::kKilled: return only->signal;
    case TStepResult::TEnd::kExited: break;
  }
  return result.code >= 1 && result.code <= 255 && only->statuses.test(result.code);
}

std::string RetryOnText(const TRetryOn& on) {
  std::string text;
  for (std::size_t status = 1; status < on.statuses.size(); ++status) {
    if (on.statuses.test(status)) text += (text.empty() ? "" : ",") + std::to_string(status);
  }
  for (const TRetryWord& word : kRetryWords) {
    if (on.*word.failure) text += (text.empty() ? "" : ",") + std::string(word.word);
  }
  return text;
}

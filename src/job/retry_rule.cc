#include "job/retry_rule.h"

#include <charconv>

std::optional<TRetryOn> ParseRetryOn(std::string_view list) {
  TRetryOn on;
  for (;;) {
    const std::size_t comma = list.find(',');
    const std::string_view item = list.substr(0, comma);
    int status = 0;
    const auto read = std::from_chars(item.data(), item.data() + item.size(), status);
    if (item == "timeout") {
      on.timeout = true;
    } else if (item == "signal") {
      on.signal = true;
    } else if (item == "start") {
      on.start = true;
    } else if (!item.empty() && read.ec == std::errc() && read.ptr == item.data() + item.size() &&
               item[0] != '+' && status >= 1 && status <= 255) {
      on.statuses.set(static_cast<std::size_t>(status));
    } else {
      return std::nullopt;
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

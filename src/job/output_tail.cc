#include "job/output_tail.h"

#include <algorithm>

void TOutputTail::Append(std::string_view bytes) {
  bytes_ += bytes.size();
  if (limit_ == 0) return;
  if (bytes.size() >= limit_) {
    ring_.assign(bytes.substr(bytes.size() - limit_));
    begin_ = 0;
    return;
  }
  // Fill up to the limit first, then overwrite the oldest bytes.
  const std::size_t room = limit_ - ring_.size();
  const std::size_t appended = std::min(room, bytes.size());
  ring_.append(bytes.substr(0, appended));
  bytes.remove_prefix(appended);
  while (!bytes.empty()) {
    const std::size_t run = std::min(bytes.size(), limit_ - begin_);
    ring_.replace(begin_, run, bytes.substr(0, run));
    begin_ = (begin_ + run) % limit_;
    bytes.remove_prefix(run);
  }
}

std::string TOutputTail::Text() const {
  if (ring_.size() < limit_ || begin_ == 0) return ring_;
  return ring_.substr(begin_) + ring_.substr(0, begin_);
}

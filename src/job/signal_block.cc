#include "job/signal_block.h"

#include <algorithm>
#include <cerrno>
#include <ctime>

#include "core/stop_signal.h"

namespace {

// Longer waits are as good as none; this keeps the arithmetic finite.
constexpr double kLongestWait = 1e9;

timespec Timespec(TSteadyClock::duration wait) {
  if (wait < TSteadyClock::duration::zero()) wait = TSteadyClock::duration::zero();
  const auto whole = std::chrono::duration_cast<std::chrono::seconds>(wait);
  timespec result = {};
  result.tv_sec = static_cast<std::time_t>(whole.count());
  result.tv_nsec = static_cast<long>(std::chrono::nanoseconds(wait - whole).count());
  return result;
}

}  // namespace

TSteadyClock::duration Seconds(double seconds) {
  seconds = std::clamp(seconds, 0.0, kLongestWait);
  return std::chrono::duration_cast<TSteadyClock::duration>(std::chrono::duration<double>(seconds));
}

TBlockedSignals::TBlockedSignals() {
  sigset_t blocked = StopSignals();
  sigaddset(&blocked, SIGCHLD);
  sigaddset(&blocked, SIGTTOU);
  sigprocmask(SIG_BLOCK, &blocked, &old_);
}

TBlockedSignals::~TBlockedSignals() { sigprocmask(SIG_SETMASK, &old_, nullptr); }

bool TBlockedSignals::Wait(std::vector<pollfd>& fds,
                           std::optional<TSteadyClock::time_point> until) const {
  // Let in what this object blocked; SIGTTOU stays blocked.
  sigset_t during = old_;
  sigaddset(&during, SIGTTOU);
  timespec wait = {};
  if (until) wait = Timespec(*until - TSteadyClock::now());
  const int ready = ppoll(fds.data(), fds.size(), until ? &wait : nullptr, &during);
  return ready > 0;
}

#ifndef VELMORJOB_JOB_SIGNAL_BLOCK_H_
#define VELMORJOB_JOB_SIGNAL_BLOCK_H_

#include <chrono>
#include <csignal>
#include <optional>
#include <poll.h>
#include <vector>

using TSteadyClock = std::chrono::steady_clock;

// While a process of the run runs, or the run waits, the stop signals and
// SIGCHLD are blocked, and let in only inside the one call that waits
// (ppoll): none can come between looking at the state of things and
// waiting, and none is lost. SIGTTOU is blocked too, so that handing the
// terminal over from the background does not stop the program.
class TBlockedSignals {
 public:
  TBlockedSignals();
  ~TBlockedSignals();
  TBlockedSignals(const TBlockedSignals&) = delete;
  TBlockedSignals& operator=(const TBlockedSignals&) = delete;

  // The mask the program had before, which a child gets back before exec.
  const sigset_t& old() const { return old_; }

  // Waits until one of the descriptors is ready, a signal comes or the time
  // (if any) is reached, with the blocked signals let in meanwhile. Returns
  // whether a descriptor is ready; their revents are set.
  bool Wait(std::vector<pollfd>& fds, std::optional<TSteadyClock::time_point> until) const;

 private:
  sigset_t old_;
};

// A duration in seconds as the clock's, bounded so that a very long limit
// stays finite.
TSteadyClock::duration Seconds(double seconds);

#endif  // VELMORJOB_JOB_SIGNAL_BLOCK_H_

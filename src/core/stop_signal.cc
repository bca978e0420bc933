#include "core/stop_signal.h"

namespace {

volatile std::sig_atomic_t received = 0;
// The stop signals received and not yet passed on, one bit each (by their
// place in kStopSignals).
volatile std::sig_atomic_t pending = 0;
// Whether SIGPIPE was ignored when the program started.
bool sigpipe_was_ignored = false;
bool sigpipe_changed = false;

const int kStopSignals[] = {SIGTERM, SIGHUP, SIGINT, SIGQUIT};

int IndexOf(int signal_number) {
  for (std::size_t i = 0; i < sizeof kStopSignals / sizeof kStopSignals[0]; ++i) {
    if (kStopSignals[i] == signal_number) return static_cast<int>(i);
  }
  return -1;
}

// The handlers: they only note what came, which is safe in a handler.
void OnStopSignal(int signal_number) {
  if (received == 0) received = signal_number;
  const int index = IndexOf(signal_number);
  if (index >= 0) pending = pending | (1 << index);
}

void OnChildSignal(int) {}

void Catch(int signal_number, void (*handler)(int), int flags) {
  struct sigaction action = {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = flags;
  sigaction(signal_number, &action, nullptr);
}

bool Ignored(int signal_number) {
  struct sigaction action = {};
  return sigaction(signal_number, nullptr, &action) == 0 && action.sa_handler == SIG_IGN;
}

}  // namespace

sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int stop : kStopSignals) sigaddset(&set, stop);
  return set;
}

void InstallStopSignals() {
  received = 0;
  pending = 0;
  for (const int stop : kStopSignals) {
    // No SA_RESTART: a read that waits (on a pipe named as the
    // configuration file, say) is interrupted, so that the run stops at once.
    if (!Ignored(stop)) Catch(stop, OnStopSignal, 0);
  }
  // Even when the caller ignored SIGCHLD: the exit status of each step is
  // needed, and an ignored SIGCHLD would have its children reaped unseen.
  Catch(SIGCHLD, OnChildSignal, SA_RESTART);
}

void RecordStopSignal(int signal_number) {
  if (received == 0) received = signal_number;
}

int StopSignal() { return received; }

int TakePendingStopSignal() {
  for (std::size_t i = 0; i < sizeof kStopSignals / sizeof kStopSignals[0]; ++i) {
    if ((pending & (1 << i)) != 0) {
      pending = pending & ~(1 << i);
      return kStopSignals[i];
    }
  }
  return 0;
}

void IgnoreSigpipe() {
  if (!sigpipe_changed) sigpipe_was_ignored = Ignored(SIGPIPE);
  sigpipe_changed = true;
  Catch(SIGPIPE, SIG_IGN, 0);
}

void RestoreSigpipe() {
  if (!sigpipe_changed) return;
  struct sigaction action = {};
  action.sa_handler = sigpipe_was_ignored ? SIG_IGN : SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(SIGPIPE, &action, nullptr);
}

#include "core/stop_signal.h"

#include <cstdio>

namespace {

volatile std::sig_atomic_t received = 0;

struct TStopSignalName {
  int number;
  const char* name;
};

const TStopSignalName kStopSignals[] = {
    {SIGTERM, "SIGTERM"},
    {SIGHUP, "SIGHUP"},
    {SIGINT, "SIGINT"},
    {SIGQUIT, "SIGQUIT"},
};

extern "C" void OnStopSignal(int signal_number) {
  if (received == 0) received = signal_number;
}

extern "C" void OnChildSignal(int) {}

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
  for (const TStopSignalName& stop : kStopSignals) sigaddset(&set, stop.number);
  return set;
}

void InstallStopSignals() {
  received = 0;
  for (const TStopSignalName& stop : kStopSignals) {
    // No SA_RESTART: a read that waits (on a pipe named as the
    // configuration file, say) is interrupted, so that the run stops at once.
    if (!Ignored(stop.number)) Catch(stop.number, OnStopSignal, 0);
  }
  // Even when the caller ignored SIGCHLD: the exit status of each step is
  // needed, and an ignored SIGCHLD would have its children reaped unseen.
  Catch(SIGCHLD, OnChildSignal, SA_RESTART);
}

void RecordStopSignal(int signal_number) {
  if (received == 0) received = signal_number;
}

int StopSignal() { return received; }

const char* StopSignalName(int signal_number) {
  for (const TStopSignalName& stop : kStopSignals) {
    if (stop.number == signal_number) return stop.name;
  }
  static char other[32];
  std::snprintf(other, sizeof other, "signal %d", signal_number);
  return other;
}

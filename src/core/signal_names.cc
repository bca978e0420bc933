#include "core/signal_names.h"

#include <csignal>

namespace {

struct TSignalName {
  int number;
  const char* name;
  const char* meaning;
};

const TSignalName kSignalNames[] = {
    {SIGHUP, "SIGHUP", "Hangup"},
    {SIGINT, "SIGINT", "Interrupt"},
    {SIGQUIT, "SIGQUIT", "Quit"},
    {SIGILL, "SIGILL", "Illegal instruction"},
    {SIGTRAP, "SIGTRAP", "Trace/breakpoint trap"},
    {SIGABRT, "SIGABRT", "Aborted"},
    {SIGBUS, "SIGBUS", "Bus error"},
    {SIGFPE, "SIGFPE", "Floating point exception"},
    {SIGKILL, "SIGKILL", "Killed"},
    {SIGUSR1, "SIGUSR1", "User defined signal 1"},
    {SIGSEGV, "SIGSEGV", "Segmentation fault"},
    {SIGUSR2, "SIGUSR2", "User defined signal 2"},
    {SIGPIPE, "SIGPIPE", "Broken pipe"},
    {SIGALRM, "SIGALRM", "Alarm clock"},
    {SIGTERM, "SIGTERM", "Terminated"},
    {SIGCHLD, "SIGCHLD", "Child exited"},
    {SIGCONT, "SIGCONT", "Continued"},
    {SIGSTOP, "SIGSTOP", "Stopped (signal)"},
    {SIGTSTP, "SIGTSTP", "Stopped"},
    {SIGTTIN, "SIGTTIN", "Stopped (tty input)"},
    {SIGTTOU, "SIGTTOU", "Stopped (tty output)"},
    {SIGURG, "SIGURG", "Urgent I/O condition"},
    {SIGXCPU, "SIGXCPU", "CPU time limit exceeded"},
    {SIGXFSZ, "SIGXFSZ", "File size limit exceeded"},
    {SIGVTALRM, "SIGVTALRM", "Virtual timer expired"},
    {SIGPROF, "SIGPROF", "Profiling timer expired"},
    {SIGSYS, "SIGSYS", "Bad system call"},
};

const TSignalName* Find(int signal_number) {
  for (const TSignalName& signal : kSignalNames) {
    if (signal.number == signal_number) return &signal;
  }
  return nullptr;
}

}  // namespace

std::string SignalName(int signal_number) {
  const TSignalName* signal = Find(signal_number);
  return signal != nullptr ? signal->name : "signal " + std::to_string(signal_number);
}

std::string SignalMeaning(int signal_number) {
  const TSignalName* signal = Find(signal_number);
  return signal != nullptr ? signal->meaning : "signal " + std::to_string(signal_number);
}

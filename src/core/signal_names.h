#ifndef VELMORJOB_CORE_SIGNAL_NAMES_H_
#define VELMORJOB_CORE_SIGNAL_NAMES_H_

#include <string>

// The one table of signal names: every message, the report and the
// metrics name a signal from it.

// "SIGTERM" for SIGTERM, and so on for the signals of POSIX; "signal N" for
// any other.
std::string SignalName(int signal_number);

// What the signal means, as the C library says it: "Terminated" for
// SIGTERM, "Killed" for SIGKILL; "signal N" for a signal not in the table.
std::string SignalMeaning(int signal_number);

#endif  // VELMORJOB_CORE_SIGNAL_NAMES_H_

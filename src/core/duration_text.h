#ifndef VELMORJOB_CORE_DURATION_TEXT_H_
#define VELMORJOB_CORE_DURATION_TEXT_H_

#include <string>

// A duration for a message, in the units an operator reads at a glance:
// "0.25s" and "30s" below a minute, then the two largest units from
// days, hours, minutes and seconds, in whole seconds: "1m 30s", "2h 3m",
// "2h", "1d 4h".
std::string DurationWords(double seconds);

#endif  // VELMORJOB_CORE_DURATION_TEXT_H_

#ifndef VELMORJOB_APP_RUN_ID_H_
#define VELMORJOB_APP_RUN_ID_H_

#include <string>

// A new random 128-bit id for a run, as a version 4 UUID in lower case:
// "1b4e28ba-2fa1-41d2-883f-0016d3cca427".
std::string NewRunId();

#endif  // VELMORJOB_APP_RUN_ID_H_
